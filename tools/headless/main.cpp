// blastgrid-headless: the game without a display, driven over stdin/stdout.
//
//   blastgrid-headless WORKDIR [CONFIG]
//
// Runs the real start-up in WORKDIR (created if missing; CONFIG, if given, is
// copied there as config.ini first) over the in-memory gadget and audio
// backends, prints READY, then reads one command per line and answers on
// stdout. Between commands the game gets timer ticks at 70 Hz of real time,
// as the real program does. Every command acts through the event hook, the
// way buttons and menus do, so the protocol runs exactly as in the game.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/records.h"
#include "app/startup.h"
#include "minefield/block.h"
#include "minefield/game.h"
#include "net/net.h"
#include "minefield/text.h"
#include "platform/gui_memory.h"
#include "platform/sound.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

namespace {

using Clock = std::chrono::steady_clock;
const auto kTick = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(1000.0 / 70.0));
constexpr size_t kMaxLine = 64 * 1024;
constexpr long kMaxRunMs = 600000;

bg::MemoryGui* gGui = nullptr;
Clock::time_point gNextTick;

[[noreturn]] void Quit(int status) {
  std::fflush(stdout);
  // At once, like the real program's exit: no teardown of the game's globals.
  std::_Exit(status);
}

void Reply(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  if (std::fflush(stdout) != 0) Quit(1);  // the driver went away
}

void CheckWatches();

void Tick() {
  bg::Event ev;
  ev.id = bg::EVENT_TIMERTICK;
  bg::Hook(ev);
  CheckWatches();
}

// Ticks that are due; a late tick is not made up for, as with a real timer.
void TickIfDue() {
  const auto now = Clock::now();
  if (now < gNextTick) return;
  Tick();
  gNextTick += kTick;
  if (gNextTick < Clock::now()) gNextTick = Clock::now() + kTick;
}

void RunFor(long ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    if (now >= gNextTick) {
      TickIfDue();
      continue;
    }
    const auto wait = std::min(gNextTick, end) - now;
    const int waitMs = int(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    poll(nullptr, 0, std::max(waitMs, 1));
  }
}

void Send(int id, bg::Gadget* source, int data = 0, int x = 0, int y = 0) {
  bg::Event ev;
  ev.id = id;
  ev.source = source;
  ev.data = data;
  ev.x = x;
  ev.y = y;
  bg::Hook(ev);
}
void Action(bg::Gadget* g) { Send(bg::EVENT_GADGETACTION, g); }
void Menu(bg::Gadget* g) { Send(bg::EVENT_MENUACTION, g); }

// Keeps every answer on one line whatever the text holds.
std::string Escape(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 32 || c == 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

bool ToLong(std::string_view s, long& v, long lo, long hi) {
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && v >= lo && v <= hi;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == ' ') ++i;
    const size_t j = std::min(s.find(' ', i), s.size());
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

// Reads integer arguments 1..n of a command; false on any bad one.
bool Ints(const std::vector<std::string_view>& w, std::vector<long>& v, long lo, long hi) {
  v.clear();
  for (size_t i = 1; i < w.size(); ++i) {
    long x = 0;
    if (!ToLong(w[i], x, lo, hi)) return false;
    v.push_back(x);
  }
  return true;
}

std::string Items(bg::Gadget* g) {
  std::string out;
  for (int i = 0; i < gGui->CountItems(g); ++i) out += (i ? "|" : "") + Escape(gGui->ItemText(g, i));
  return out;
}


// Test-only timing for the latency benchmark: the CLOCK_MONOTONIC time (shared
// by every process on the machine) of the tick in which a watched block changed.
struct Watch {
  long id;
  char was;
};
std::vector<Watch> gWatches;
std::string gSeen;
constexpr size_t kMaxWatches = 4096;

void CheckWatches() {
  if (gWatches.empty()) return;
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const long long us = ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
  std::erase_if(gWatches, [&](const Watch& w) {
    if (const bg::TBlock* b = bg::gGame.FromID(int32_t(w.id)); b && bg::BlockChar(*b) == w.was) return false;
    gSeen += (gSeen.empty() ? "" : " ") + std::to_string(w.id) + ":" + std::to_string(us);
    return true;
  });
}

void Dump(const bg::Game& g) {
  using namespace bg;
  Reply("status " + std::to_string(TNet::NetStatus) + " " + std::to_string(g.GameStatus) + " " +
        std::to_string(g.BlockAW) + " " + std::to_string(g.BlockAH) + " " + std::to_string(g.Mines) + " " +
        std::to_string(g.rseed));
  std::string marks;
  for (int32_t id = 0; id < int32_t(g.Blocks.size()); ++id) {
    const TBlock& b = g.Blocks[size_t(id)];
    if (b.pid != 255 || b.fpid != 255)
      marks += (marks.empty() ? "" : ",") + std::to_string(id) + "=" + std::to_string(b.pid) + "/" +
               std::to_string(b.fpid);
  }
  Reply("board " + BoardText(g));
  Reply("marks " + marks);
  for (const TPlayer& p : g.Players) {
    const RGB& c = g.colours[p.id];
    Reply("player " + std::to_string(p.id) + " " + std::to_string(FindScore(g, p.id)) + " " + std::to_string(c[0]) +
          "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + " " + std::to_string(p.Left) + " " +
          Escape(p.name));
  }
  Reply("me " + (TNet::MyId >= 0 ? std::to_string(TNet::MyId) : std::string("-")));
  Reply("statustext " + Escape(MemoryGui::M(gMultiWindow)->status));
  Reply("wintext " + Escape(gGui->Text(gWinText)) + " | " + (gGui->Hidden(gWinWindow) ? "0" : "1"));
  Reply("list " + Items(gServerList));
  Reply("plist " + Items(gChatPList));
  Reply("console " + Escape(gGui->Text(gChatConsole)));
  Reply("END");
}

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", s);
  return buf;
}

void Stats() {
  for (const bg::SetupStats& s : bg::TheRecords().Stats().setups) {
    const bg::SetupKey& k = s.setup;
    Reply("setup " + std::to_string(k.width) + " " + std::to_string(k.height) + " " + std::to_string(k.mines) + " " +
          std::to_string(k.wrap) + " " + std::to_string(k.lethal) + " played " + std::to_string(s.played) + " won " +
          std::to_string(s.won) + " best " + Seconds(s.best) + " streak " + std::to_string(s.streak) + " longest " +
          std::to_string(s.longest));
  }
  Reply("END");
}

void Export(const std::string& file) {
  std::optional<bg::KeptGame> kept;
  if (const bg::KeptGame* last = bg::LastFinishedGame()) kept = *last;
  if (!kept) kept = bg::TheRecords().LastFinished();
  if (!kept) return Reply("ERR no finished game");
  std::string error;
  if (!bg::SaveReplayFile(file, *kept, error)) return Reply("ERR " + Escape(error));
  Reply("OK");
}

// A replay file played to its end, shown as `dump` shows the game; the game on the field is left alone.
void PlayFile(const std::string& file) {
  const bg::ReplayRead read = bg::LoadReplayFile(file);
  if (!read.game) return Reply("ERR " + Escape(read.error));
  Dump(bg::Replay(read.game->record));
}

void Click(long id, long button) {
  using namespace bg;
  if (!gGame.FromID(int32_t(id)) || button < 1 || button > 3) return Reply("ERR no such block or button");
  const Scale& s = gView.scale;
  const int x = int((gView.framex + DrawX(gGame, gView, int32_t(id)) + 12) * s.SCALEX + s.OriginX);
  const int y = int((gView.framey + DrawY(gGame, gView, int32_t(id)) + 12) * s.SCALEY + s.OriginY);
  Send(EVENT_MOUSEMOVE, gCan, 0, x, y);
  UpdateMouseBlock(gGame, gView);  // finds the block under the pointer, as a tick would
  if (gView.MouseBlock != id) return Reply("ERR pointer not over block " + std::to_string(id));
  // 1 left (pressed, then released), 2 right, 3 middle (a chord): as the canvas reports them.
  if (button == 1) Send(EVENT_MOUSEDOWN, gCan, 1);
  Send(EVENT_MOUSEUP, gCan, int(button));
  Reply("OK");
}

void Options(const std::vector<long>& v) {
  using namespace bg;
  Menu(menu_game_options);
  gGui->SetText(gOptionWidth, std::to_string(v[0]));
  gGui->SetText(gOptionHeight, std::to_string(v[1]));
  gGui->SetText(gOptionMines, std::to_string(v[2]));
  Action(gOptionOK);
  if (!gGui->Hidden(gOptionWindow)) {  // refused: leave it as a user would
    Action(gOptionCancel);
    return Reply("ERR options refused");
  }
  Reply("OK");
}

void Execute(std::string_view line) {
  using namespace bg;
  const std::vector<std::string_view> w = Words(line);
  if (w.empty()) return Reply("ERR empty command");
  const std::string_view cmd = w[0];
  std::vector<long> v;
  const auto simple = [&](auto&& act) {
    if (w.size() != 1) return Reply("ERR " + std::string(cmd) + " takes no arguments");
    act();
    Reply("OK");
  };

  if (cmd == "run") {
    if (w.size() != 2 || !Ints(w, v, 0, kMaxRunMs)) return Reply("ERR usage: run MS");
    RunFor(v[0]);
    Reply("OK");
  } else if (cmd == "set") {
    // The text is the rest of the line after the field, spaces kept.
    const std::string_view field = w.size() > 1 ? w[1] : std::string_view();
    const size_t at = w.size() > 1 ? size_t(field.data() - line.data()) + field.size() + 1 : line.size();
    const std::string text(at < line.size() ? line.substr(at) : std::string_view());
    if (field == "ip") {
      gGui->SetText(gDirectIP, text);
    } else if (field == "port") {
      gGui->SetText(gDirectPort, text);
    } else if (field == "name") {
      gGui->SetText(gSettingsName, text);
      Action(gSettingsName);
    } else if (field == "chat") {
      gGui->SetText(gChatInp, text);
    } else {
      return Reply("ERR usage: set ip|port|name|chat TEXT");
    }
    Reply("OK");
  } else if (cmd == "host") {
    simple([] { Action(gDirectHost); });
  } else if (cmd == "hostb") {
    simple([] { Action(gServerHost); });
  } else if (cmd == "connect") {
    simple([] { Action(gDirectConnect); });
  } else if (cmd == "disconnect") {
    simple([] { Action(gDisconnect); });
  } else if (cmd == "refresh") {
    simple([] { Action(gServerRefresh); });
  } else if (cmd == "newgame") {
    simple([] { Menu(menu_game_new); });
  } else if (cmd == "send") {
    simple([] { Action(gChatSend); });
  } else if (cmd == "colour") {
    if (w.size() != 4 || !Ints(w, v, 0, 255)) return Reply("ERR usage: colour R G B");
    gGui->nextColor = Colour{uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2])};
    Action(gSettingsColor);
    Reply("OK");
  } else if (cmd == "kick") {
    if (w.size() != 2 || !Ints(w, v, -1, 1 << 20)) return Reply("ERR usage: kick ROW");
    gGui->SelectItem(gChatPList, int(v[0]));
    Menu(menu_player_kick);
    Reply("OK");
  } else if (cmd == "join") {
    if (w.size() != 2 || !Ints(w, v, -1, 1 << 20)) return Reply("ERR usage: join ROW");
    gGui->SelectItem(gServerList, int(v[0]));
    Action(gServerJoin);
    Reply("OK");
  } else if (cmd == "lethal") {
    if (w.size() != 2 || !Ints(w, v, 0, 1)) return Reply("ERR usage: lethal 0|1");
    gGui->SetButtonState(gOptionBombL, v[0] == 1);
    Reply("OK");
  } else if (cmd == "options") {
    if (w.size() != 4 || !Ints(w, v, 0, 1 << 22)) return Reply("ERR usage: options W H M");
    Options(v);
  } else if (cmd == "click") {
    if (w.size() != 3 || !Ints(w, v, -1, 1L << 40)) return Reply("ERR usage: click ID BUTTON");
    Click(v[0], v[1]);
  } else if (cmd == "watch") {
    // "watch ID" arms; a bare "watch" reports and forgets the changes seen since.
    if (w.size() == 1) {
      Reply("seen " + gSeen);
      gSeen.clear();
      return;
    }
    if (w.size() != 2 || !Ints(w, v, 0, long(gGame.Blocks.size()) - 1)) return Reply("ERR usage: watch [ID]");
    if (gWatches.size() >= kMaxWatches) return Reply("ERR too many watches");
    gWatches.push_back({v[0], BlockChar(gGame.Blocks[size_t(v[0])])});
    Reply("OK");
  } else if (cmd == "dump") {
    if (w.size() != 1) return Reply("ERR dump takes no arguments");
    Dump(gGame);
  } else if (cmd == "stats") {
    if (w.size() != 1) return Reply("ERR stats takes no arguments");
    Stats();
  } else if (cmd == "export" || cmd == "replay") {
    // The file name is the rest of the line, spaces kept.
    const size_t at = line.find(' ');
    const std::string file = at == std::string_view::npos ? std::string() : std::string(line.substr(at + 1));
    if (file.empty()) return Reply("ERR usage: " + std::string(cmd) + " FILE");
    cmd == "export" ? Export(file) : PlayFile(file);
  } else if (cmd == "mines") {
    // Test-only knowledge: where the mines are once they are placed.
    std::string ids;
    for (size_t id = 0; id < gGame.Blocks.size(); ++id)
      if (gGame.Blocks[id].Value == -1) ids += (ids.empty() ? "" : ",") + std::to_string(id);
    Reply("mines " + ids);
  } else if (cmd == "quit") {
    Quit(0);
  } else {
    Reply("ERR unknown command: " + Escape(cmd));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: blastgrid-headless WORKDIR [CONFIG]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  if (chdir(argv[1]) != 0) {
    std::fprintf(stderr, "blastgrid-headless: cannot enter %s\n", argv[1]);
    return 1;
  }
  if (argc == 3 && !std::filesystem::copy_file(argv[2], "config.ini",
                                               std::filesystem::copy_options::overwrite_existing, ec)) {
    std::fprintf(stderr, "blastgrid-headless: cannot copy %s\n", argv[2]);
    return 1;
  }

  static bg::MemoryGui gui;
  static bg::MemoryAudio audio;
  gGui = &gui;
  bg::SetGui(&gui);
  bg::SetAudio(&audio);
  std::string error;
  if (!bg::Initialise(error, false)) {
    Reply("ERR start-up failed: " + Escape(error));
    return 1;
  }
  bg::gView.back.firstgame = false;
  Reply("READY");

  gNextTick = Clock::now() + kTick;
  std::string buf;
  bool discarding = false;  // inside an over-long line
  for (;;) {
    TickIfDue();
    const auto wait = gNextTick - Clock::now();
    const int waitMs = int(std::max<long>(0, long(std::chrono::ceil<std::chrono::milliseconds>(wait).count())));
    pollfd pfd{0, POLLIN, 0};
    if (poll(&pfd, 1, waitMs) <= 0) continue;
    char chunk[4096];
    const ssize_t n = read(0, chunk, sizeof chunk);
    if (n == 0) Quit(0);  // the driver closed our input
    if (n < 0) continue;
    buf.append(chunk, size_t(n));
    for (size_t nl; (nl = buf.find('\n')) != std::string::npos;) {
      std::string line = buf.substr(0, nl);
      buf.erase(0, nl + 1);
      if (discarding) {
        discarding = false;
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Execute(line);
    }
    if (buf.size() > kMaxLine) {
      buf.clear();
      if (!discarding) Reply("ERR line too long");
      discarding = true;
    }
  }
}
