// Real instances of the game playing together over 127.0.0.1, each its own
// process driven through the same buttons and menus a player uses.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "net/message.h"
#include "platform/socket.h"
#include "tests/support/scratch.h"
#include "tools/headless/instance.h"

namespace bg::multi {
namespace {

constexpr int kWaitMs = 5000;
using Group = std::vector<Instance*>;

// Polls until the condition holds or the deadline passes; the instances keep
// ticking on their own meanwhile.
bool Eventually(const std::function<bool()>& cond, int ms = kWaitMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (cond()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int RowWith(const std::vector<std::string>& rows, const std::string& part) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (Contains(rows[i], part)) return int(i);
  return -1;
}

std::string JoinLine(const std::string& name) { return " " + name + " has joined the game."; }

bool IsMine(const std::vector<int>& mines, int id) { return std::find(mines.begin(), mines.end(), id) != mines.end(); }

// Blocks still to clear: covered (flagged or not) and not mines.
std::vector<int> CoveredSafe(const State& s, const std::vector<int>& mines) {
  std::vector<int> ids;
  for (int id = 0; id < int(s.board.size()); ++id)
    if ((s.board[size_t(id)] == '.' || s.board[size_t(id)] == 'F') && !IsMine(mines, id)) ids.push_back(id);
  return ids;
}

std::string Click(int id, int button) { return "click " + std::to_string(id) + " " + std::to_string(button); }

// Every instance knows `count` players and which one it is.
bool SeePlayers(const Group& group, size_t count) {
  for (Instance* i : group) {
    const State s = i->Dump();
    if (s.parsed.size() != count || s.MyName().empty()) return false;
  }
  return true;
}

// The same field, the same marks and the same player records everywhere.
bool Synced(const Group& group, State* first = nullptr) {
  std::optional<State> ref;
  for (Instance* i : group) {
    State s = i->Dump();
    if (!s.ok || s.board.empty()) return false;
    if (!ref) {
      ref = std::move(s);
      continue;
    }
    if (s.board != ref->board || s.marks != ref->marks || s.players != ref->players || s.width != ref->width ||
        s.height != ref->height || s.game != ref->game || s.seed != ref->seed)
      return false;
  }
  if (first && ref) *first = *ref;
  return bool(ref);
}

// Waits until the group agrees; when it does not, names what differs.
::testing::AssertionResult Agree(const Group& group) {
  if (Eventually([&] { return Synced(group); })) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  const State ref = group.front()->Dump();
  for (Instance* i : group) {
    const State s = i->Dump();
    if (s.board != ref.board || s.marks != ref.marks || s.players != ref.players)
      failure << i->Label() << " vs " << group.front()->Label() << ":\n  board " << s.board << "\n     vs " << ref.board
              << "\n  marks " << s.marks << "\n     vs " << ref.marks << "\n  players " << s.players.size() << " vs "
              << ref.players.size() << "\n";
  }
  return failure;
}

class Multi : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);  // a dead child must fail a test, not end the run
    ASSERT_FALSE(dir_.path.empty());
  }

  void TearDown() override {
    if (HasFailure()) {
      for (auto& i : instances_) {
        const State s = i->Dump(1000);  // a hung instance must not eat the time limit
        std::string console = s.console.size() > 800 ? "..." + s.console.substr(s.console.size() - 800) : s.console;
        std::cout << "--- " << i->Label() << ": net " << s.net << " game " << s.game << " status \"" << s.statustext
                  << "\"\n    console:" << console << "\n    stderr: " << i->StderrText() << "\n";
      }
      if (list_) std::cout << "--- list server log:\n" << list_->LogText();
    }
    instances_.clear();
    list_.reset();
  }

  Instance& Spawn(const std::string& label, const std::string& config = "", const std::string& ns = "") {
    instances_.push_back(std::make_unique<Instance>(label, dir_.path + "/" + label, config, ns));
    return *instances_.back();
  }
  bool AllReady() const {
    return std::all_of(instances_.begin(), instances_.end(), [](const auto& i) { return i->Ready(); });
  }

  // A random high port for each attempt: a taken one shows as "Failed to host".
  static int PickPort() {
    static std::mt19937 rng(std::random_device{}() ^ unsigned(getpid()));
    return 20000 + int((unsigned(getpid()) * 7919u + rng()) % 40000u);
  }

  // A list server with a relay range; its config for the game.
  std::string StartList(const std::string& address = "127.0.0.1", const std::string& ns = "") {
    const int lo = PickPort();
    list_ = std::make_unique<ListServer>(
        dir_.path, std::vector<std::string>{"--bind", address, "--relay-ports", std::to_string(lo) + "-" + std::to_string(lo + 20)}, ns);
    return "[network]\nServerListIP=" + address + "\nServerListPort=" + std::to_string(list_->Port()) + "\n";
  }

  // Refreshes until the list shows the game, then joins it.
  static bool JoinListed(Instance& i, const std::string& game) {
    int row = -1;
    Eventually([&] {
      i.Cmd("refresh");
      i.Cmd("run 150");
      return (row = RowWith(i.Dump().list, game)) >= 0;
    });
    return row >= 0 && i.Cmd("join " + std::to_string(row)) == "OK";
  }

  // Hosts on a free port and returns it; 0 when hosting does not work at all.
  int HostGame(Instance& host, bool broadcast = false) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      const int port = PickPort();
      host.Cmd("set port " + std::to_string(port));
      host.Cmd(broadcast ? "hostb" : "host");
      const State s = host.Dump();
      if (s.net == 2) return port;
      if (!Contains(s.statustext, "Failed to host")) return 0;
    }
    return 0;
  }

  static void Connect(Instance& player, int port) {
    player.Cmd("set ip 127.0.0.1");
    player.Cmd("set port " + std::to_string(port));
    player.Cmd("connect");
  }

  // Host and players with these names, all in one game; returns the port or 0.
  int StartGame(const Group& group, const std::vector<std::string>& names) {
    for (size_t k = 0; k < group.size(); ++k)
      if (group[k]->Cmd("set name " + names[k]) != "OK") return 0;
    const int port = HostGame(*group[0]);
    if (port == 0) return 0;
    // One at a time, so the order of arrival (and with it names and ids) is fixed.
    for (size_t k = 1; k <= group.size(); ++k) {
      const Group joined(group.begin(), group.begin() + long(k));
      if (k > 1) Connect(*group[k - 1], port);
      if (!Eventually([&] { return SeePlayers(joined, k); })) return 0;
    }
    return port;
  }

  // The host starts a field of this size; waits until every instance has it.
  bool NewField(const Group& group, int w, int h, int mines, bool lethal) {
    Instance& host = *group[0];
    const long old = host.Dump().seed;
    if (host.Cmd(lethal ? "lethal 1" : "lethal 0") != "OK" ||
        host.Cmd("options " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(mines)) != "OK" ||
        host.Cmd("newgame") != "OK")
      return false;
    State s;
    return Eventually(
        [&] { return Synced(group, &s) && s.seed != old && s.width == w && s.height == h && s.mines == mines; });
  }

  // Mines are placed by the first reveal: make one if nobody has yet.
  std::vector<int> PlacedMines(const Group& group, Instance& clicker) {
    if (group[0]->Mines().empty()) {
      clicker.Cmd(Click(int(group[0]->Dump().board.size() / 2), 1));
      Eventually([&] {
        State s;
        return Synced(group, &s) && s.Revealed() > 0;
      });
    }
    return group[0]->Mines();
  }

  test::ScratchDir dir_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::unique_ptr<ListServer> list_;
};

TEST_F(Multi, HostTwoPlayersAndALateJoinerKeepOneBoard) {
  Instance& h = Spawn("host");
  Instance& a = Spawn("one");
  Instance& b = Spawn("two");
  ASSERT_TRUE(AllReady());
  const Group trio{&h, &a, &b};
  const int port = StartGame(trio, {"Ace", "Ace", "Ace"});
  ASSERT_NE(port, 0) << "host and two players did not come together";

  // One name asked for three times: told apart by a number; ids in order of arrival.
  const std::vector<std::string> names{"Ace", "Ace1", "Ace2"};
  for (size_t k = 0; k < trio.size(); ++k) {
    const State s = trio[k]->Dump();
    EXPECT_EQ(s.MyName(), names[k]) << trio[k]->Label();
    for (int id = 0; id < 3; ++id) {
      const PlayerLine* p = s.Find(names[size_t(id)]);
      ASSERT_NE(p, nullptr) << trio[k]->Label() << " lacks " << names[size_t(id)];
      EXPECT_EQ(p->id, id) << trio[k]->Label();
    }
  }

  // A field with room for many clicks: a big opening reveal asks for another one.
  std::vector<int> mines, safe;
  for (int attempt = 0; attempt < 4 && safe.size() < 12; ++attempt) {
    ASSERT_TRUE(NewField(trio, 12, 12, 30, false));
    mines = PlacedMines(trio, a);
    ASSERT_EQ(mines.size(), 30u);
    safe = CoveredSafe(h.Dump(), mines);
  }
  ASSERT_GE(safe.size(), 12u);
  EXPECT_EQ(a.Mines(), mines);
  EXPECT_EQ(b.Mines(), mines);

  // Many clicks from all three at once, without waiting for each other.
  std::shuffle(safe.begin(), safe.end(), std::mt19937(12345));
  for (int k = 0; k < 6; ++k) EXPECT_EQ(trio[size_t(k % 3)]->Cmd(Click(mines[size_t(k)], 2)), "OK");
  for (int k = 0; k < 8; ++k) EXPECT_EQ(trio[size_t(k % 3)]->Cmd(Click(safe[size_t(k)], 1)), "OK");
  // Two players on one block at the same moment: the host's order decides for all.
  EXPECT_EQ(a.Cmd(Click(safe[8], 2)), "OK");
  EXPECT_EQ(b.Cmd(Click(safe[8], 1)), "OK");
  EXPECT_EQ(h.Cmd(Click(safe[9], 2)), "OK");
  // Agreement alone could be the state before any click arrived: wait for their effects too.
  const auto applied = [&](const State& s) {
    for (int k = 0; k < 6; ++k)
      if (s.board[size_t(mines[size_t(k)])] != 'F') return false;
    for (int k = 0; k < 8; ++k)
      if (s.board[size_t(safe[size_t(k)])] == '.' || s.board[size_t(safe[size_t(k)])] == 'F') return false;
    return s.board[size_t(safe[9])] != '.';
  };
  ASSERT_TRUE(Eventually([&] {
    State s;
    return Synced(trio, &s) && applied(s);
  })) << "the clicks did not reach everyone";

  // A late joiner replays the log and ends up with the same everything.
  Instance& l = Spawn("late");
  ASSERT_TRUE(l.Ready());
  ASSERT_EQ(l.Cmd("set name Ace"), "OK");
  Connect(l, port);
  const Group all{&h, &a, &b, &l};
  ASSERT_TRUE(Eventually([&] { return SeePlayers(all, 4); }));
  ASSERT_TRUE(Agree(all)) << "the late joiner does not agree with the others";
  const State ls = l.Dump();
  EXPECT_EQ(ls.MyName(), "Ace3");
  ASSERT_NE(ls.Find("Ace3"), nullptr);
  EXPECT_EQ(ls.Find("Ace3")->id, 3);
  for (const std::string& name : names) EXPECT_TRUE(Contains(ls.console, JoinLine(name))) << name;
  for (Instance* i : trio) EXPECT_TRUE(Contains(i->Dump().console, JoinLine("Ace3"))) << i->Label();

  // All four clear the rest; a player's own flag holds their click, so each round shifts who clicks what.
  for (int round = 0; round < 4; ++round) {
    const State s = h.Dump();
    if (s.game == 2) break;
    const std::vector<int> todo = CoveredSafe(s, mines);
    for (size_t k = 0; k < todo.size(); ++k) all[(k + size_t(round)) % all.size()]->Cmd(Click(todo[k], 1));
    Eventually([&] { return Synced(all); }, 1500);
  }
  ASSERT_TRUE(Eventually([&] {
    State s;
    return Synced(all, &s) && s.game == 2;
  })) << "the cleared field did not end the game everywhere";
  const State end = h.Dump();
  EXPECT_TRUE(Contains(end.wintext, " has won!")) << end.wintext;
  for (Instance* i : all) {
    const State s = i->Dump();
    EXPECT_TRUE(Contains(s.console, "  Scores  ")) << i->Label();
    EXPECT_EQ(s.wintext, end.wintext) << i->Label();
    EXPECT_TRUE(s.winShown) << i->Label();
    // Each kept the shared game, the late joiner too: its replay ends on the same field.
    const std::string file = dir_.path + "/" + i->Label() + ".bgreplay";
    EXPECT_EQ(i->Cmd("export " + file), "OK");
    const State r = i->Dump(kCommandMs, "replay " + file);
    EXPECT_TRUE(r.ok && r.board == s.board && r.marks == s.marks && r.players == s.players) << i->Label();
  }
}

// Alone, through the driver: the statistics of a lost and a won game, the won one
// exported and played back, and files that are no replay refused without harm.
TEST_F(Multi, KeptGamesAloneThroughTheDriver) {
  Instance& p = Spawn("alone");
  ASSERT_TRUE(p.Ready());
  for (const char* c : {"lethal 1", "options 9 9 10", "newgame", "click 40 1"}) ASSERT_EQ(p.Cmd(c), "OK") << c;
  ASSERT_EQ(p.Cmd(Click(p.Mines()[0], 1)), "OK");
  ASSERT_EQ(p.Cmd("newgame"), "OK");
  ASSERT_EQ(p.Cmd(Click(40, 1)), "OK");
  const std::vector<int> mines = p.Mines();
  for (int id : CoveredSafe(p.Dump(), mines)) p.Cmd(Click(id, 1));
  const State won = p.Dump();
  ASSERT_EQ(won.game, 2);
  const std::vector<std::string> stats = p.Lines("stats");
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_TRUE(stats[0].starts_with("setup 9 9 10 1 1 played 2 won 1 best ") && stats[0].ends_with(" streak 1 longest 1"))
      << stats[0];
  const std::string file = dir_.path + "/won.bgreplay", junk = dir_.path + "/junk";
  ASSERT_EQ(p.Cmd("export " + file), "OK");
  const State r = p.Dump(kCommandMs, "replay " + file);
  EXPECT_TRUE(r.ok && r.board == won.board && r.game == 2 && r.seed == won.seed) << r.board;
  std::ofstream(junk) << "not a replay";
  EXPECT_EQ(p.Cmd("replay " + junk), "ERR Not a replay file");
  EXPECT_EQ(p.Dump().board, won.board);
}

TEST_F(Multi, ChatColourKickAndALostHost) {
  Instance& h = Spawn("host");
  Instance& a = Spawn("ann");
  Instance& b = Spawn("bob");
  ASSERT_TRUE(AllReady());
  const Group trio{&h, &a, &b};
  ASSERT_NE(StartGame(trio, {"Hal", "Ann", "Bob"}), 0) << "host and two players did not come together";

  ASSERT_EQ(a.Cmd("set chat hello there"), "OK");
  ASSERT_EQ(a.Cmd("send"), "OK");
  ASSERT_TRUE(Eventually([&] {
    return std::all_of(trio.begin(), trio.end(), [](Instance* i) { return Contains(i->Dump().console, "Ann: hello there"); });
  })) << "chat not relayed to everyone";

  ASSERT_EQ(a.Cmd("colour 1 2 3"), "OK");
  ASSERT_TRUE(Eventually([&] {
    return std::all_of(trio.begin(), trio.end(), [](Instance* i) {
      const State s = i->Dump();
      const PlayerLine* p = s.Find("Ann");
      return p && p->rgb == "1,2,3";
    });
  })) << "colour change not seen everywhere";

  const int row = RowWith(h.Dump().plist, "Bob");
  ASSERT_GE(row, 0);
  ASSERT_EQ(h.Cmd("kick " + std::to_string(row)), "OK");
  ASSERT_TRUE(Eventually([&] { return Contains(b.Dump().console, "You have been kicked from the game!"); }));
  for (Instance* i : {&h, &a}) {
    ASSERT_TRUE(Eventually([&] {
      const State s = i->Dump();
      return Contains(s.console, "Bob has left the game.") && RowWith(s.plist, "Bob [left]") >= 0;
    })) << i->Label() << " did not see Bob leave";
  }

  h.Quit();
  EXPECT_TRUE(Eventually([&] {
    const State s = a.Dump();
    return s.statustext == "Disconnected" && Contains(s.console, "Disconnected");
  })) << "the lost host went unnoticed";
}

TEST_F(Multi, APeerWithAHugeNameAndHugeLinesSpoilsTheGameForNobody) {
  Instance& h = Spawn("host");
  Instance& a = Spawn("ann");
  ASSERT_TRUE(AllReady());
  const int port = StartGame({&h, &a}, {"Hal", "Ann"});
  ASSERT_NE(port, 0) << "host and player did not come together";

  // Two hand-made peers ask for one 4,000-character name: cut, then numbered. The first
  // chats lines of every length a reader takes; "name: text" is cut to one line.
  TSocket peers[2];
  const auto send = [&](TSocket& peer, uint16_t id, const std::string& line, int extra) {
    MessageWriter w;
    w.MNew(id);
    w.MLine(line);
    for (int i = 0; i < extra; ++i) w.MByte(7);
    peer.Send(w.Bytes());
  };
  for (TSocket& peer : peers) {
    ASSERT_TRUE(peer.CreateTCP() && peer.Connect(HostIp("127.0.0.1"), uint16_t(port)));
    send(peer, 1, std::string(4000, 'Q'), 3);
  }
  const std::string q(kMaxNameChars, 'Q');
  ASSERT_TRUE(Eventually([&] { return SeePlayers({&h, &a}, 4); }));
  ASSERT_NE(a.Dump().Find(q + "1"), nullptr) << "numbered after the cut";
  for (const auto& [len, ch] : {std::pair<size_t, char>{10, 'a'}, {500, 'b'}, {4000, 'c'}, {kMaxLineChars, 'e'}}) {
    const std::string want = (q + ": " + std::string(len, ch)).substr(0, kMaxLineChars);
    send(peers[0], 5, std::string(len, ch), 0);
    EXPECT_TRUE(Eventually([&] { return Contains(h.Dump().console, want) && Contains(a.Dump().console, want); })) << len;
  }
  send(peers[0], 5, std::string(1 << 20, 'd'), 0);  // past every reader's limit: this peer alone is dropped
  EXPECT_TRUE(Eventually([&] {
    peers[0].Flush();
    return Contains(a.Dump().console, q + " has left the game.");
  }));

  // The others go on chatting, the host goes on hosting; a chat line is cut to the field's cap.
  ASSERT_EQ(a.Cmd("set chat " + std::string(kMaxChatChars + 100, 'y')), "OK");
  ASSERT_EQ(a.Cmd("send"), "OK");
  ASSERT_EQ(h.Cmd("set chat still here"), "OK");
  ASSERT_EQ(h.Cmd("send"), "OK");
  EXPECT_TRUE(Eventually([&] {
    const std::string ac = a.Dump().console, hc = h.Dump().console;
    return Contains(ac, "Hal: still here") && Contains(hc, "Ann: " + std::string(kMaxChatChars, 'y')) &&
           !Contains(hc, std::string(kMaxChatChars + 1, 'y'));
  }));
  EXPECT_EQ(h.Dump().net, 2);
  EXPECT_EQ(a.Dump().net, 1);

  // A late joiner, whose name field cuts a long name, still gets the whole game.
  Instance& l = Spawn("late");
  ASSERT_TRUE(l.Ready());
  ASSERT_EQ(l.Cmd("set name " + std::string(40, 'L')), "OK");
  Connect(l, port);
  const Group all{&h, &a, &l};
  ASSERT_TRUE(Eventually([&] { return SeePlayers(all, 5); }));
  ASSERT_TRUE(Agree(all)) << "the late joiner does not agree with the others";
  const State ls = l.Dump();
  EXPECT_EQ(ls.MyName(), std::string(kMaxNameChars, 'L'));
  for (const std::string& name : {std::string("Hal"), std::string("Ann"), q, q + "1"})
    EXPECT_TRUE(Contains(ls.console, JoinLine(name))) << name;
}

// The neighbours of a block on a wrapping field, each once.
std::vector<int> WrappedNeighbours(int id, int w, int h) {
  std::vector<int> out;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) {
      const int n = (id / h + dx + w) % w * h + (id % h + dy + h) % h;
      if (n != id && std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
    }
  return out;
}

TEST_F(Multi, AChordTravelsAsPlainRevealsAndLethalMinesEndTheGame) {
  Instance& h = Spawn("host");
  Instance& a = Spawn("ann");
  ASSERT_TRUE(AllReady());
  const Group duo{&h, &a};
  const int port = StartGame(duo, {"Hal", "Ann"});
  ASSERT_NE(port, 0) << "host and player did not come together";
  // A number with covered safe blocks around it (the field wraps, as by default).
  int target = -1;
  std::vector<int> mines, around;
  for (int attempt = 0; attempt < 6 && target < 0; ++attempt) {
    ASSERT_TRUE(NewField(duo, 10, 10, 20, true));
    mines = PlacedMines(duo, a);
    const State s = h.Dump();
    for (int id = 0; id < 100 && target < 0; ++id) {
      if (s.board[size_t(id)] < '1' || s.board[size_t(id)] > '8') continue;
      around = WrappedNeighbours(id, 10, 10);
      if (std::any_of(around.begin(), around.end(), [&](int n) { return s.board[size_t(n)] == '.' && !IsMine(mines, n); }))
        target = id;
    }
  }
  ASSERT_GE(target, 0) << "no field offered a number to chord";
  const int ann = a.Dump().Find("Ann")->id;
  const auto marked = [&](const State& s, int n, const std::string& how) {
    return Contains("," + s.marks, "," + std::to_string(n) + "=" + how);
  };

  // Ann flags the number's mines (+1 each, in her name), then chords it.
  std::vector<int> flagged, covered;
  const State before = h.Dump();
  for (int n : around) {
    if (IsMine(mines, n))
      flagged.push_back(n);
    else if (before.board[size_t(n)] == '.')
      covered.push_back(n);
  }
  for (int n : flagged) ASSERT_EQ(a.Cmd(Click(n, 2)), "OK");
  ASSERT_TRUE(Eventually([&] {
    State s;
    return Synced(duo, &s) && std::all_of(flagged.begin(), flagged.end(), [&](int n) {
      return marked(s, n, "255/" + std::to_string(ann));
    });
  }));
  ASSERT_EQ(a.Cmd(Click(target, 3)), "OK");
  State s;
  ASSERT_TRUE(Eventually([&] {
    return Synced(duo, &s) && std::none_of(covered.begin(), covered.end(), [&](int n) { return s.board[size_t(n)] == '.'; });
  })) << "the chord did not uncover the same neighbours everywhere";
  // Each arrived as Ann's own reveal: no mine went off, and her mark is on every one.
  for (int n : covered) {
    EXPECT_NE(s.board[size_t(n)], '*') << n;
    EXPECT_TRUE(marked(s, n, std::to_string(ann) + "/")) << n << " " << s.marks;
  }

  // Ann steps on a mine (-5) and is out; the game goes on for Hal until he steps on one too.
  std::vector<int> far;
  for (int m : mines)
    if (std::find(around.begin(), around.end(), m) == around.end()) far.push_back(m);
  ASSERT_EQ(a.Cmd(Click(far[0], 1)), "OK");
  ASSERT_TRUE(Eventually([&] { return Synced(duo, &s) && s.board[size_t(far[0])] == '*'; }));
  EXPECT_TRUE(h.Dump().game == 0 && a.Dump().game == 0);
  // Jo joins while the game runs: with Ann out, Hal's mine leaves Jo in, and the game goes on.
  Instance& jo = Spawn("jo");
  ASSERT_TRUE(jo.Ready() && jo.Cmd("set name Jo") == "OK");
  Connect(jo, port);
  Group all{&h, &a, &jo};
  ASSERT_TRUE(Eventually([&] { return SeePlayers(all, 3); }));
  ASSERT_TRUE(Agree(all)) << "Jo, joining a running game, does not agree with the others";
  ASSERT_EQ(h.Cmd(Click(far[1], 1)), "OK");
  ASSERT_TRUE(Eventually([&] { return Synced(all, &s) && s.board[size_t(far[1])] == '*'; }));
  EXPECT_EQ(s.game, 0) << "the game ended with Jo still in";
  ASSERT_EQ(jo.Cmd(Click(far[2], 1)), "OK");
  ASSERT_TRUE(Eventually([&] { return Synced(all, &s) && s.game == 2; })) << "the game did not end";
  for (Instance* i : duo) {
    s = i->Dump();
    EXPECT_TRUE(Contains(s.console, "  Scores  ")) << i->Label();
    EXPECT_TRUE(Contains(s.console, "Ann scored: " + std::to_string(int(flagged.size()) - 5))) << i->Label();
    EXPECT_TRUE(Contains(s.console, "Hal scored: -5")) << i->Label();
    EXPECT_EQ(s.wintext, "Ann has won!") << i->Label();
    EXPECT_TRUE(s.winShown) << i->Label();
  }
  // Each who joins now, one after the other, replays a game that is over, not one that goes on.
  for (const char* name : {"late1", "late2", "late3"}) {
    Instance& l = Spawn(name);
    ASSERT_TRUE(l.Ready());
    Connect(l, port);
    all.push_back(&l);
    ASSERT_TRUE(Eventually([&] { return SeePlayers(all, all.size()); })) << name;
    ASSERT_TRUE(Agree(all)) << name << " does not agree with the others";
    for (Instance* i : all) EXPECT_EQ(i->Dump().game, 2) << i->Label() << " after " << name;
    const State ls = l.Dump();  // every player is met before the scores
    EXPECT_NE(ls.console.find("  Scores  ", ls.console.find(JoinLine("Jo"))), std::string::npos) << ls.console;
    EXPECT_EQ(ls.wintext, "Ann has won!") << name;
  }
  // Its clicks change nobody's board, its own included.
  const std::string board = h.Dump().board;
  for (int button : {1, 2, 3}) ASSERT_EQ(all.back()->Cmd(Click(0, button)), "OK");
  ASSERT_TRUE(Agree(all));
  EXPECT_EQ(all.back()->Dump().board, board);
}

// A host that keeps no board at all relays three real players to the end of a game.
TEST_F(Multi, AHostWithoutABoardCarriesAGameToItsEnd) {
  std::unique_ptr<Process> host;
  int port = 0;
  std::string line;
  for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
    const int p = PickPort();
    host = std::make_unique<Process>(
        std::vector<std::string>{BG_HOST_PATH, std::to_string(p), "8", "8", "6", "1", "0"}, dir_.path + "/host.log");
    if (host->ReadLine(line, Clock::now() + std::chrono::milliseconds(kWaitMs)) && line == "HOSTING") port = p;
  }
  ASSERT_NE(port, 0) << "the host without a board did not start";
  Group group;
  for (const char* name : {"Pia", "Quin", "Rex"}) {
    Instance& i = Spawn(name);
    ASSERT_TRUE(i.Ready() && i.Cmd(std::string("set name ") + name) == "OK");
    Connect(i, port);
    group.push_back(&i);
    ASSERT_TRUE(Eventually([&] { return SeePlayers(group, group.size()); })) << name;
  }
  ASSERT_TRUE(Agree(group));
  // Take turns uncovering every safe block; the last one wins the game for everybody.
  const std::vector<int> mines = PlacedMines(group, *group[0]);
  State s = group[0]->Dump();
  for (size_t turn = 0; s.game != 2 && turn < 64; ++turn) {
    const std::vector<int> left = CoveredSafe(s, mines);
    ASSERT_FALSE(left.empty());
    ASSERT_EQ(group[turn % 3]->Cmd(Click(left.front(), 1)), "OK");
    ASSERT_TRUE(Eventually([&] { return Synced(group, &s) && s.board[size_t(left.front())] != '.'; }));
  }
  EXPECT_EQ(s.game, 2) << "the game did not end";
  ASSERT_TRUE(Agree(group));
  ASSERT_TRUE(host->WriteLine("record"));
  ASSERT_TRUE(host->ReadLine(line, Clock::now() + std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(line.substr(line.rfind(' ')), " 3") << line;
}

TEST_F(Multi, ListServerAnnouncesListsAndForgetsAGame) {
  const std::string config = StartList();
  ASSERT_NE(list_->Port(), 0) << list_->LogText();
  Instance& h = Spawn("host", config);
  Instance& j = Spawn("finder", config);
  ASSERT_TRUE(AllReady());
  ASSERT_EQ(h.Cmd("set name Lister"), "OK");
  ASSERT_EQ(j.Cmd("set name Finder"), "OK");
  ASSERT_NE(HostGame(h, true), 0) << "hosting failed";

  // Each refresh asks anew, so the announcement is seen once it has arrived.
  const auto listed = [&](bool wanted) {
    return Eventually([&] {
      j.Cmd("refresh");
      j.Cmd("run 150");
      const State s = j.Dump();
      return !s.list.empty() && (RowWith(s.list, "Lister") >= 0) == wanted;
    });
  };
  ASSERT_TRUE(listed(true)) << "the announced game is not listed";
  const int row = RowWith(j.Dump().list, "Lister");
  ASSERT_EQ(j.Cmd("join " + std::to_string(row)), "OK");
  ASSERT_TRUE(Eventually([&] { return SeePlayers({&h, &j}, 2); })) << "joining from the list failed";
  ASSERT_TRUE(Agree({&h, &j})) << "the player does not agree with the host";
  EXPECT_EQ(j.Dump().net, 1);
  EXPECT_FALSE(Contains(list_->LogText(), "relayed on port")) << "a host the server reaches is listed as it is";

  h.Quit();
  EXPECT_TRUE(listed(false)) << "the game outlived its host";
}

// Three network namespaces joined by veth pairs: a host's, a router's that
// masquerades it, and an "Internet" one; all gone with the object.
struct Nat {
  const std::string id = std::to_string(getpid()), host = "bgh" + id, router = "bgr" + id, inet = "bgi" + id;
  std::string why;
  explicit Nat(const std::string& log) {
    const std::string h = host, r = router, i = inet;
    const std::string script = "set -e; ip netns add " + h + "; ip netns add " + r + "; ip netns add " + i +
        "; ip link add eh netns " + h + " type veth peer name rh netns " + r +
        "; ip link add ei netns " + i + " type veth peer name ri netns " + r +
        "; ip -n " + h + " addr add 192.168.77.2/24 dev eh; ip -n " + r + " addr add 192.168.77.1/24 dev rh" +
        "; ip -n " + r + " addr add 198.51.100.2/24 dev ri; ip -n " + i + " addr add 198.51.100.1/24 dev ei" +
        "; for l in " + h + ":eh " + r + ":rh " + r + ":ri " + i + ":ei " + h + ":lo " + r + ":lo " + i + ":lo; do" +
        " ip -n ${l%:*} link set ${l#*:} up; done; ip -n " + h + " route add default via 192.168.77.1" +
        "; ip netns exec " + r + " sysctl -qw net.ipv4.ip_forward=1" +
        "; ip netns exec " + r + " iptables -t nat -A POSTROUTING -o ri -j MASQUERADE";
    if (std::system(("{ " + script + "; } >" + log + " 2>&1").c_str()) != 0) why = "setup failed: " + ReadText(log);
  }
  ~Nat() { std::system(("{ ip netns del " + host + "; ip netns del " + router + "; ip netns del " + inet + "; } 2>/dev/null").c_str()); }
};

// A host the list server cannot reach: behind a NAT router, or where namespaces
// cannot be made, on loopback announcing a port nobody listens on. Its players join by the list.
TEST_F(Multi, AHostBehindANatIsRelayedAndItsPlayersPlayAsEver) {
  Nat nat(dir_.path + "/nat.log");
  if (!nat.why.empty())
    std::cout << "No network namespaces here, so a host on loopback announces a closed port instead: " << nat.why << "\n";
  const bool natted = nat.why.empty();
  const std::string server = natted ? "198.51.100.1" : "127.0.0.1", inet = natted ? nat.inet : "";
  const std::string config = StartList(server, inet);
  ASSERT_NE(list_->Port(), 0) << list_->LogText();
  std::vector<std::string> argv{BG_HOST_PATH, std::to_string(PickPort()), "16", "16", "40", "1", "0", server,
                                std::to_string(list_->Port()), "Hal"};
  if (!natted) argv.push_back("unreachable");
  Process host(InNamespace(natted ? nat.host : "", argv), dir_.path + "/host.log");
  std::string line;
  const auto answer = [&] { return host.ReadLine(line, Clock::now() + std::chrono::milliseconds(kWaitMs)) ? line : ""; };
  ASSERT_EQ(answer(), "HOSTING");
  Group all;
  for (const char* name : {"Ann", "Bob"}) {
    Instance& i = Spawn(name, config, inet);
    ASSERT_TRUE(i.Ready() && i.Cmd(std::string("set name ") + name) == "OK" && JoinListed(i, "Hal")) << name;
    all.push_back(&i);
    ASSERT_TRUE(Eventually([&] { return SeePlayers(all, all.size()); })) << name;
  }
  EXPECT_TRUE(Contains(list_->LogText(), "not reachable") && Contains(list_->LogText(), "relayed on port"));
  Instance &a = *all[0], &b = *all[1];
  const std::vector<int> mines = PlacedMines(all, a);
  for (auto [i, cmd] : {std::pair{&a, "set chat through the relay"}, {&a, "send"}, {&b, "colour 1 2 3"}})
    ASSERT_EQ(i->Cmd(cmd), "OK") << cmd;
  Instance& late = Spawn("Cy", config, inet);
  ASSERT_TRUE(late.Ready() && JoinListed(late, "Hal"));
  all.push_back(&late);
  ASSERT_TRUE(Eventually([&] { return SeePlayers(all, 3); }));
  const std::vector<int> safe = CoveredSafe(a.Dump(), mines);
  ASSERT_GE(safe.size(), 1u);
  for (size_t k = 0; k < std::min<size_t>(safe.size(), 6); ++k) all[k % 3]->Cmd(Click(safe[k], 1));
  ASSERT_TRUE(Eventually([&] {
    State s;
    return Synced(all, &s) && s.board[size_t(safe[0])] != '.';
  })) << "the clicks did not reach everyone";
  for (Instance* i : all) {  // chat is not replayed to a late joiner; colours are
    const State s = i->Dump();
    EXPECT_TRUE((i == &late || Contains(s.console, "Ann: through the relay")) && s.Find("Bob")->rgb == "1,2,3") << i->Label();
  }
  ASSERT_TRUE(host.WriteLine("kick " + std::to_string(b.Dump().Find("Bob")->id)) && answer() == "OK");
  EXPECT_TRUE(Eventually([&] { return Contains(b.Dump().console, "You have been kicked from the game!"); }));
  EXPECT_TRUE(Eventually([&] { return Contains(a.Dump().console, "Bob has left the game."); }));

  // The host's list-server connection goes: so do its relays and their port.
  ASSERT_TRUE(host.WriteLine("unlist") && answer() == "OK");
  for (Instance* i : {&a, &late})
    EXPECT_TRUE(Eventually([&] { return i->Dump().statustext == "Disconnected"; })) << i->Label();
  EXPECT_TRUE(Eventually([&] { return Contains(list_->LogText(), "freed"); }));
}

}  // namespace
}  // namespace bg::multi
