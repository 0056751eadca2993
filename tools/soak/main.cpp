// blastgrid-soak: a host under long, partly hostile load on loopback.
//
//   blastgrid-soak [--seconds N | --minutes N] [options]   (see --help)
//
// The host runs in this process, ticking at 70 Hz, so its tick times and its
// memory (RSS) are measured directly. Against it: a few real instances
// (blastgrid-headless) clicking at random, one of them joining half-way; and,
// from a second process (this program with --load), raw peers that join and
// click, peers that join and never read, one peer sending garbage and one
// opening and closing connections. After the load ends and a settle period,
// every real instance's board and marks must equal the host's.
#include <linux/sockios.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/startup.h"
#include "minefield/block.h"
#include "minefield/game.h"
#include "net/net.h"
#include "minefield/text.h"
#include "net/host.h"
#include "platform/gui_memory.h"
#include "platform/socket.h"
#include "platform/sound.h"
#include "render/background.h"
#include "tools/headless/instance.h"
#include "tools/soak/load.h"

namespace {

using Clock = std::chrono::steady_clock;
using bg::multi::Instance;
using bg::multi::Process;
using bg::soak::LoadOptions;
using bg::soak::LoadStats;

struct Options {
  double seconds = 30;
  double window = 10;
  int players = 4;   // real instances from the start
  int late = 1;      // real instances that join half-way
  double playerRate = 5;  // clicks per second per real instance
  int width = 100, height = 100, mines = 1500;
  int lethal = 0;
  double settle = 3;
  double maxP99Ms = 0;        // 0: tick times are reported, not judged
  double maxRssGrowthMiB = 0;  // 0: memory is reported, not judged
  bool keep = false;
  LoadOptions load;
};

std::string SpamName(LoadOptions::Spam s) {
  return s == LoadOptions::Spam::Chat ? "chat" : s == LoadOptions::Spam::Click ? "click" : "colour";
}
LoadOptions::Spam SpamKind(const std::string& name) {
  return name == "chat" ? LoadOptions::Spam::Chat : name == "click" ? LoadOptions::Spam::Click : LoadOptions::Spam::Colour;
}

void Usage() {
  std::fprintf(stderr,
               "usage: blastgrid-soak [options]\n"
               "  --seconds N | --minutes N  how long the load lasts (30 s)\n"
               "  --window S                 seconds per reported window (10)\n"
               "  --players N --late N       real instances from the start (4) and joining half-way (1)\n"
               "  --player-rate R            clicks per second of each real instance (5)\n"
               "  --peers N --click-rate R   raw peers that join, click and read (45, 10 clicks/s each)\n"
               "  --silent N                 peers that join and never read (8)\n"
               "  --silent-rcvbuf B          their receive buffer (4096)\n"
               "  --garbage-kibps K          one peer sending garbage (1024 KiB/s; 0 none)\n"
               "  --spam colour|chat|click   one player whose messages are relayed to all (colour)\n"
               "  --spam-kibps K             its rate (256 KiB/s; 0 none)\n"
               "  --flood-rate R             connections opened and closed per second (20; 0 none)\n"
               "  --flood-max N              at most this many of them (50000)\n"
               "  --field WxHxM --lethal 0|1 the host's field (100x100x1500, not lethal)\n"
               "  --settle S                 quiet seconds before the boards are compared (3)\n"
               "  --max-p99-ms MS            the host's tick p99 that passes (0: report only)\n"
               "  --max-rss-growth-mib M     the host's RSS growth after the first window that passes\n"
               "                             (0: report only)\n"
               "  --seed N --keep            fixed randomness; keep the working directory\n"
               "Exit status 0 when every real instance's board and marks equal the host's, every\n"
               "peer could join, no well-behaved player was lost, and the bounds given hold.\n");
}

bool ParseArgs(int argc, char** argv, Options& o) {
  o.load.seed = uint32_t(std::random_device{}());
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto num = [&](double lo, double hi, double& out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      const double v = std::strtod(argv[++i], &end);
      if (!end || *end || v < lo || v > hi) return false;
      out = v;
      return true;
    };
    double v = 0;
    // Every loop here is bounded in time and count: the ceilings keep them so.
    if (a == "--seconds" && num(1, 3600, v)) {
      o.seconds = v;
    } else if (a == "--minutes" && num(0.1, 60, v)) {
      o.seconds = v * 60;
    } else if (a == "--window" && num(1, 600, v)) {
      o.window = v;
    } else if (a == "--players" && num(1, 8, v)) {
      o.players = int(v);
    } else if (a == "--late" && num(0, 4, v)) {
      o.late = int(v);
    } else if (a == "--player-rate" && num(0, 50, v)) {
      o.playerRate = v;
    } else if (a == "--peers" && num(0, 150, v)) {
      o.load.peers = int(v);
    } else if (a == "--click-rate" && num(0, 100, v)) {
      o.load.clickRate = v;
    } else if (a == "--silent" && num(0, 50, v)) {
      o.load.silent = int(v);
    } else if (a == "--silent-rcvbuf" && num(0, 1 << 24, v)) {
      o.load.silentRcvBuf = int(v);
    } else if (a == "--garbage-kibps" && num(0, 1 << 20, v)) {
      o.load.garbageKiBps = v;
    } else if (a == "--spam-kibps" && num(0, 1 << 16, v)) {
      o.load.spamKiBps = v;
    } else if (a == "--spam" && i + 1 < argc && SpamName(SpamKind(argv[i + 1])) == argv[i + 1]) {
      o.load.spam = SpamKind(argv[++i]);
    } else if (a == "--flood-rate" && num(0, 1000, v)) {
      o.load.floodRate = v;
    } else if (a == "--flood-max" && num(0, 1e6, v)) {
      o.load.floodMax = long(v);
    } else if (a == "--lethal" && num(0, 1, v)) {
      o.lethal = int(v);
    } else if (a == "--settle" && num(0, 60, v)) {
      o.settle = v;
    } else if (a == "--max-p99-ms" && num(0, 1e6, v)) {
      o.maxP99Ms = v;
    } else if (a == "--max-rss-growth-mib" && num(0, 1e6, v)) {
      o.maxRssGrowthMiB = v;
    } else if (a == "--seed" && num(0, 4294967295.0, v)) {
      o.load.seed = uint32_t(v);
    } else if (a == "--field" && i + 1 < argc &&
               std::sscanf(argv[++i], "%dx%dx%d", &o.width, &o.height, &o.mines) == 3 &&
               bg::GameSetupValid(o.width, o.height, o.mines)) {
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      return false;
    }
  }
  o.load.seconds = o.seconds;
  o.load.width = o.width;
  o.load.height = o.height;
  return true;
}

// The --load child: its own options travel on the command line.
std::vector<std::string> LoadArgs(const std::string& self, const Options& o) {
  const LoadOptions& l = o.load;
  return {self,
          "--load",
          std::to_string(l.port),
          std::to_string(l.seconds),
          std::to_string(l.width),
          std::to_string(l.height),
          std::to_string(l.peers),
          std::to_string(l.clickRate),
          std::to_string(l.silent),
          std::to_string(l.silentRcvBuf),
          std::to_string(l.garbageKiBps),
          std::to_string(l.floodRate),
          std::to_string(l.spamKiBps),
          SpamName(l.spam),
          std::to_string(l.floodMax),
          std::to_string(l.seed)};
}

int LoadMain(int argc, char** argv) {
  if (argc != 16) return 2;
  LoadOptions l;
  l.port = std::atoi(argv[2]);
  l.seconds = std::atof(argv[3]);
  l.width = std::atoi(argv[4]);
  l.height = std::atoi(argv[5]);
  l.peers = std::atoi(argv[6]);
  l.clickRate = std::atof(argv[7]);
  l.silent = std::atoi(argv[8]);
  l.silentRcvBuf = std::atoi(argv[9]);
  l.garbageKiBps = std::atof(argv[10]);
  l.floodRate = std::atof(argv[11]);
  l.spamKiBps = std::atof(argv[12]);
  l.spam = SpamKind(argv[13]);
  l.floodMax = std::atol(argv[14]);
  l.seed = uint32_t(std::strtoul(argv[15], nullptr, 10));
  const LoadStats s = bg::soak::RunLoad(l);
  std::printf("%s\n", bg::soak::ToLine(s).c_str());
  std::fflush(stdout);
  return 0;
}

double RssMiB() {
  std::ifstream f("/proc/self/statm");
  long size = 0, resident = 0;
  f >> size >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Pct(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void HostView(std::string& board, std::string& marks) {
  // The same characters as the headless driver's dump, so boards compare as text.
  board = bg::BoardText(bg::gGame);
  marks.clear();
  for (size_t id = 0; id < bg::gGame.Blocks.size(); ++id) {
    const bg::TBlock& b = bg::gGame.Blocks[id];
    if (b.pid == 255 && b.fpid == 255) continue;
    if (!marks.empty()) marks += ',';
    marks += std::to_string(id);
    marks += '=';
    marks += std::to_string(b.pid);
    marks += '/';
    marks += std::to_string(b.fpid);
  }
}

// The names the soak gives its well-behaved players: raw peers, real instances.
bool WellBehaved(const std::string& name) {
  for (const char* prefix : {"raw", "h", "late"}) {
    const size_t n = std::strlen(prefix);
    if (name.size() > n && name.compare(0, n, prefix) == 0 &&
        std::all_of(name.begin() + long(n), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return true;
  }
  return false;
}

// What the driver thread and the ticking host share.
struct Shared {
  std::mutex m;
  std::condition_variable cv;
  bool wantView = false, haveView = false;
  std::string board, marks;
  std::atomic<bool> stopClicking{false};
  std::atomic<bool> done{false};
  // Results, written by the driver thread before done.
  int compared = 0, identical = 0;
  std::vector<std::string> notes;
  long clicks = 0, clickErrors = 0;
  bool haveLoad = false;
  LoadStats load;
};

void Note(Shared& sh, const std::string& text) {
  std::lock_guard<std::mutex> lock(sh.m);
  sh.notes.push_back(text);
  std::fprintf(stderr, "soak: %s\n", text.c_str());
}

bool Joined(Instance& i) {
  for (int k = 0; k < 100; ++k) {
    const bg::multi::State s = i.Dump();
    if (s.ok && s.net == 1 && !s.MyName().empty() && !s.board.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::unique_ptr<Instance> StartPlayer(const std::string& label, const std::string& dir, int port, Shared& sh) {
  auto i = std::make_unique<Instance>(label, dir + "/" + label);
  if (!i->Ready() || i->Cmd("set name " + label) != "OK" || i->Cmd("set ip 127.0.0.1") != "OK" ||
      i->Cmd("set port " + std::to_string(port)) != "OK" || i->Cmd("connect") != "OK" || !Joined(*i)) {
    Note(sh, label + " did not join: " + i->StderrText());
    return nullptr;
  }
  return i;
}

// Where the cells differ, briefly.
std::string Difference(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
  size_t n = 0, first = 0;
  for (size_t k = a.size(); k-- > 0;)
    if (a[k] != b[k]) ++n, first = k;
  return std::to_string(n) + " cells differ, first at " + std::to_string(first);
}

// Drives the real instances and the load process; runs beside the ticking host.
void Driver(const Options& o, const std::string& self, const std::string& dir, Clock::time_point start,
            Shared& sh) {
  Process load(LoadArgs(self, o), dir + "/load.stderr");
  std::vector<std::unique_ptr<Instance>> players;
  for (int k = 0; k < o.players; ++k)
    if (auto p = StartPlayer(std::string(1, 'h') += std::to_string(k + 1), dir, o.load.port, sh))
      players.push_back(std::move(p));

  std::mt19937 rng(o.load.seed ^ 0x5eedu);
  const int blocks = o.width * o.height;
  const auto half = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds / 2));
  int lateStarted = 0;
  size_t turn = 0;
  auto next = Clock::now();
  while (!sh.stopClicking) {
    if (lateStarted < o.late && Clock::now() >= half) {
      // Joins with the log of a long game to replay, while the load goes on.
      const std::string label = "late" + std::to_string(++lateStarted);
      const auto t0 = Clock::now();
      if (auto p = StartPlayer(label, dir, o.load.port, sh)) {
        Note(sh, label + " joined at " + std::to_string(int(SecondsSince(start))) + " s in " +
                     std::to_string(int(SecondsSince(t0) * 1000)) + " ms");
        players.push_back(std::move(p));
      }
      next = Clock::now();
    }
    if (players.empty() || o.playerRate <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    std::this_thread::sleep_until(next);
    next += std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / (o.playerRate * double(players.size()))));
    if (next < Clock::now()) next = Clock::now();
    Instance& p = *players[turn++ % players.size()];
    const std::string answer = p.Cmd("click " + std::to_string(rng() % unsigned(blocks)) + (rng() % 10 < 7 ? " 1" : " 2"));
    ++sh.clicks;
    if (answer != "OK") {
      if (sh.clickErrors++ < 5) Note(sh, p.Label() + " click: " + answer);
    }
  }

  // The load process ends at the same time; its figures come as one line.
  std::string line;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (load.ReadLine(line, deadline))
    if (bg::soak::FromLine(line, sh.load)) {
      sh.haveLoad = true;
      break;
    }
  load.Stop(2000);
  if (!sh.haveLoad) Note(sh, "the load process gave no figures: " + bg::multi::ReadText(dir + "/load.stderr"));

  std::this_thread::sleep_for(std::chrono::duration<double>(o.settle));
  {
    std::unique_lock<std::mutex> lock(sh.m);
    sh.wantView = true;
    sh.cv.wait_for(lock, std::chrono::seconds(10), [&] { return sh.haveView; });
  }
  for (auto& p : players) {
    bg::multi::State s = p->Dump();
    ++sh.compared;
    if (s.ok && s.board == sh.board && s.marks == sh.marks) {
      ++sh.identical;
      continue;
    }
    std::string why = !s.ok ? "no dump" : s.board != sh.board ? "board: " + Difference(s.board, sh.board) : "marks differ";
    // Once more after a pause: tells a late message from a lasting split.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    s = p->Dump();
    const bool later = s.ok && s.board == sh.board && s.marks == sh.marks;
    Note(sh, p->Label() + " differs from the host (" + why + ")" + (later ? ", same 2 s later" : ", still 2 s later"));
  }
  for (auto& p : players) p->Quit();
  sh.done = true;
}

struct Window {
  std::vector<double> ms;
  long late = 0;
};

int SoakMain(Options& o, const std::string& self) {
  char tmpl[] = "/tmp/bg-soak-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string dir = tmpl;
  const std::string hostDir = dir + "/host";
  std::filesystem::create_directories(hostDir);
  if (chdir(hostDir.c_str()) != 0) return 2;
  {
    std::ofstream f("config.ini", std::ios::binary);
    f << "[settings]\r\nBombkill=" << o.lethal << "\r\nSound=0\r\n[minefield]\r\nWidth=" << o.width
      << "\r\nHeight=" << o.height << "\r\nMines=" << o.mines << "\r\n[network]\r\nName=Host\r\n";
  }
  static bg::MemoryGui gui;
  static bg::MemoryAudio audio;
  bg::SetGui(&gui);
  bg::SetAudio(&audio);
  std::string error;
  if (!bg::Initialise(error, false)) {
    std::fprintf(stderr, "soak: start-up failed: %s\n", error.c_str());
    return 2;
  }
  bg::gView.back.firstgame = false;
  bg::Event tick;
  tick.id = bg::EVENT_TIMERTICK;
  for (int attempt = 0; attempt < 5 && bg::TNet::NetStatus != 2; ++attempt) {
    bg::TSocket probe;
    if (!probe.CreateTCP() || !probe.Bind(0, bg::HostIp("127.0.0.1"))) continue;
    o.load.port = probe.LocalPort();
    probe.Close();
    gui.SetText(bg::gDirectPort, std::to_string(o.load.port));
    bg::Event ev;
    ev.id = bg::EVENT_GADGETACTION;
    ev.source = bg::gDirectHost;
    bg::Hook(ev);
  }
  if (bg::TNet::NetStatus != 2) {
    std::fprintf(stderr, "soak: hosting failed\n");
    return 2;
  }
  std::printf("soak: host on 127.0.0.1:%d, field %dx%d/%d, %s; %d+%d real players, %d peers at %.1f clicks/s, "
              "%d never reading, garbage %.0f KiB/s, %s spam %.0f KiB/s, %.0f connects/s; %.0f s\n",
              o.load.port, o.width, o.height, o.mines, o.lethal ? "lethal" : "not lethal", o.players, o.late,
              o.load.peers, o.load.clickRate, o.load.silent, o.load.garbageKiBps, SpamName(o.load.spam).c_str(),
              o.load.spamKiBps, o.load.floodRate, o.seconds);
  std::fflush(stdout);

  Shared sh;
  const auto start = Clock::now();
  std::thread driver(Driver, std::cref(o), self, dir, start, std::ref(sh));

  const auto kTick = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(1000.0 / 70.0));
  const auto loadEnd = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
  const auto hardEnd = loadEnd + std::chrono::seconds(90) + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.settle));
  Window win;
  std::vector<double> all;
  std::vector<std::pair<double, double>> rss;  // (seconds, MiB) at each window's end
  const double rssStart = RssMiB();
  double nextWindow = o.window;
  int games = 1;
  Clock::time_point overSince{};
  struct Silent {
    double joined = -1, dropped = -1;
    size_t maxQueued = 0;
  };
  std::map<std::string, Silent> silent;
  std::map<std::string, double> lost;  // well-behaved players the host dropped, and when
  // Players nobody here named: the garbage peer's frames that parsed as a join.
  std::set<std::string> others;
  std::set<std::string> othersLeft;
  size_t maxClients = 0;
  long lateTicks = 0;

  int peakKernelQueue = 0, sndBuf = 0;
  const auto report = [&](double t) {
    const double r = RssMiB();
    // What the system holds for the never-reading peers, before the host's own queue grows.
    for (bg::HostPlayer& hp : bg::Hosting().players) {
      bg::HostPlayer* p = &hp;
      if (p->name.rfind("silent", 0) != 0 || !p->client || !p->client->tcpsock.IsOpen()) continue;
      int q = 0, b = 0;
      socklen_t len = sizeof b;
      if (ioctl(p->client->tcpsock.Fd(), SIOCOUTQ, &q) == 0) peakKernelQueue = std::max(peakKernelQueue, q);
      if (getsockopt(p->client->tcpsock.Fd(), SOL_SOCKET, SO_SNDBUF, &b, &len) == 0) sndBuf = std::max(sndBuf, b);
    }
    rss.emplace_back(t, r);
    int dropped = 0;
    for (const auto& [name, s] : silent) dropped += s.dropped >= 0;
    std::printf("[%5.0fs] ticks %4zu  p50 %6.3f ms  p99 %6.3f ms  max %7.3f ms  late %3ld  rss %6.1f MiB  "
                "conns %3zu  players %3zu  silent dropped %d/%zu  log %6zu  console %5zu KiB  games %d\n",
                t, win.ms.size(), Pct(win.ms, 0.5), Pct(win.ms, 0.99),
                win.ms.empty() ? 0 : *std::max_element(win.ms.begin(), win.ms.end()), win.late, r,
                bg::TNet::Clients.size(), bg::Hosting().players.size(), dropped, silent.size(), bg::Hosting().record.events.size(),
                gui.Text(bg::gChatConsole).size() / 1024, games);
    std::fflush(stdout);
    win = Window();
  };

  auto next = start;
  while (!sh.done && Clock::now() < hardEnd) {
    next += kTick;
    std::this_thread::sleep_until(next);
    const auto t0 = Clock::now();
    // A tick more than 5 ms behind its time: the host could not keep up (or was not given a core).
    if (t0 - next > std::chrono::milliseconds(5)) ++lateTicks, ++win.late;
    bg::Hook(tick);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const double t = SecondsSince(start);
    const bool loading = t0 < loadEnd;
    if (loading) {
      win.ms.push_back(ms);
      all.push_back(ms);
    }
    if (next < Clock::now() - kTick) next = Clock::now();  // a late tick is not made up for

    // Who is there and who was dropped; by name, as ids are reused after a new game.
    maxClients = std::max(maxClients, bg::TNet::Clients.size());
    // Only while the load lasts: at its end every peer leaves of its own accord.
    for (bg::HostPlayer& hp : bg::Hosting().players) {
      bg::HostPlayer* p = &hp;
      if (!loading) break;
      if (p->name.rfind("silent", 0) == 0) {
        Silent& s = silent[p->name];
        if (s.joined < 0) s.joined = t;
        if (p->Left && s.dropped < 0) s.dropped = t;
        if (p->client) s.maxQueued = std::max(s.maxQueued, p->client->tcpsock.Queued());
      } else if (p->name == "spammer") {
        // Hostile, but it reads: not expected to be dropped, not counted either way.
      } else if (WellBehaved(p->name) || p->name == "Host") {
        if (p->Left && !lost.count(p->name)) lost[p->name] = t;
      } else {
        others.insert(p->name);
        if (p->Left) othersLeft.insert(p->name);
      }
    }
    // A finished field is followed by a new one while the load lasts.
    if (bg::gGame.GameStatus == 2 && loading && !sh.stopClicking) {
      if (overSince == Clock::time_point{}) overSince = t0;
      if (t0 - overSince > std::chrono::seconds(1)) {
        bg::Event ev;
        ev.id = bg::EVENT_MENUACTION;
        ev.source = bg::menu_game_new;
        bg::Hook(ev);
        ++games;
        overSince = {};
      }
    }
    if (!loading && !sh.stopClicking) {
      if (!win.ms.empty()) report(o.seconds);
      sh.stopClicking = true;
    }
    if (loading && t >= nextWindow) {
      report(nextWindow);
      nextWindow += o.window;
    }
    {
      std::lock_guard<std::mutex> lock(sh.m);
      if (sh.wantView && !sh.haveView) {
        HostView(sh.board, sh.marks);
        sh.haveView = true;
        sh.cv.notify_all();
      }
    }
  }
  sh.stopClicking = true;
  driver.join();

  const double p50 = Pct(all, 0.5), p99 = Pct(all, 0.99), mx = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
  const double rssEnd = RssMiB();
  const double rssFirst = rss.empty() ? rssStart : rss.front().second;
  std::printf("host tick over the run: %zu ticks  p50 %.3f ms  p99 %.3f ms  max %.3f ms  late ticks %ld\n", all.size(), p50,
              p99, mx, lateTicks);
  std::printf("host rss: %.1f MiB before load, %.1f MiB after the first window, %.1f MiB at the end (%+.1f MiB)\n",
              rssStart, rssFirst, rssEnd, rssEnd - rssFirst);
  int dropped = 0;
  std::string when;
  for (const auto& [name, s] : silent) {
    if (s.dropped >= 0) ++dropped;
    char buf[160];
    if (s.dropped >= 0)
      std::snprintf(buf, sizeof buf, " %s@%.1fs", name.c_str(), s.dropped);
    else
      std::snprintf(buf, sizeof buf, " %s kept (queue peak %zu B)", name.c_str(), s.maxQueued);
    when += buf;
  }
  std::printf("never-reading peers: %zu joined, %d dropped by the host;%s\n", silent.size(), dropped, when.c_str());
  std::printf("  kernel send queue towards one of them: peak %d KiB (SO_SNDBUF %d KiB)\n", peakKernelQueue / 1024,
              sndBuf / 1024);
  {
    int coveredSafe = 0, flagged = 0;
    for (const bg::TBlock& b : bg::gGame.Blocks) {
      coveredSafe += !b.Revealed && b.Value != -1;
      flagged += b.flag != 0;
    }
    std::printf("host field at the end: game %d, %d covered safe blocks (the win counter says %d), %d flagged\n",
                int(bg::gGame.GameStatus), coveredSafe, bg::gGame.coveredSafe, flagged);
  }
  std::printf("well-behaved players dropped by the host: %zu", lost.size());
  for (const auto& [name, t] : lost) std::printf(" %s@%.1fs", name.c_str(), t);
  std::printf("\nplayers made by garbage frames: %zu joined, %zu dropped", others.size(), othersLeft.size());
  std::printf("\nmost connections at once: %zu; games played: %d; real-instance clicks: %ld (%ld refused)\n", maxClients,
              games, sh.clicks, sh.clickErrors);
  if (sh.haveLoad)
    std::printf("load: %s\n", bg::soak::ToLine(sh.load).c_str() + 5);
  const bool boardsOk = sh.compared == o.players + o.late && sh.identical == sh.compared;
  std::printf("boards identical to the host: %d of %d real instances (%s)%s\n", sh.identical, o.players + o.late,
              boardsOk ? "yes" : "NO",
              sh.compared < o.players + o.late
                  ? (", " + std::to_string(o.players + o.late - sh.compared) + " never got into the game").c_str()
                  : "");
  for (const std::string& n : sh.notes) std::printf("  note: %s\n", n.c_str());
  const bool tickOk = o.maxP99Ms <= 0 || p99 <= o.maxP99Ms;
  const bool memoryOk = o.maxRssGrowthMiB <= 0 || rssEnd - rssFirst <= o.maxRssGrowthMiB;
  // Peers that could not even join mean the host turned players away.
  const bool loadOk = sh.haveLoad && sh.load.joined == o.load.peers + o.load.silent;
  const bool pass = boardsOk && tickOk && memoryOk && lost.empty() && loadOk && !all.empty();
  std::printf("soak %s: boards %s, well-behaved lost %zu, peers joined %ld of %d, tick p99 %.3f ms%s, rss %+.1f MiB%s\n",
              pass ? "PASSED" : "FAILED", boardsOk ? "identical" : "DIFFER", lost.size(), sh.load.joined,
              o.load.peers + o.load.silent, p99,
              o.maxP99Ms <= 0 ? "" : (tickOk ? " (within bound)" : " (OVER BOUND)"), rssEnd - rssFirst,
              o.maxRssGrowthMiB <= 0 ? "" : (memoryOk ? " (within bound)" : " (OVER BOUND)"));
  std::fflush(stdout);
  if (!o.keep) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  } else {
    std::printf("kept %s\n", dir.c_str());
  }
  // At once, like the game's own exit: the globals' teardown is not what is measured here.
  std::fflush(stdout);
  std::_Exit(pass ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc > 1 && std::strcmp(argv[1], "--load") == 0) return LoadMain(argc, argv);
  Options o;
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    Usage();
    return 0;
  }
  if (!ParseArgs(argc, argv, o)) {
    Usage();
    return 2;
  }
  std::error_code ec;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec) return 2;
  return SoakMain(o, self);
}
