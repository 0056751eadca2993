// The host and player message handling over real loopback sockets: this
// process runs the game (as host or player) and raw sockets play the peers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <limits>
#include <map>
#include <random>
#include <thread>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "minefield/game.h"
#include "minefield/record.h"
#include "minefield/text.h"
#include "net/host.h"
#include "net/message.h"
#include "net/net.h"
#include "net/protocol.h"
#include "net/serverlist.h"
#include "platform/clock.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

struct Msg {
  uint16_t id;
  std::string text;
  std::vector<int64_t> nums;
};

// A peer speaking the wire format by hand.
struct Peer {
  TSocket sock;
  FrameReader reader;
  std::vector<Msg> got;
  bool Open(uint16_t port) { return sock.CreateTCP() && sock.Connect(HostIp("127.0.0.1"), port, 2000); }
  void Send(const MessageWriter& w) { sock.Send(w.Bytes()); }
  void SendRaw(const std::vector<uint8_t>& bytes) { sock.Send(bytes); }
  // Reads whatever arrived, decoding the host's messages by their field layout:
  // l line, b byte, i int, f float.
  void Poll() {
    static const std::map<uint16_t, std::string> kLayout = {
        {2, "lbbbb"}, {4, "lbbbb"}, {3, "b"}, {5, "l"}, {7, ""}, {41, "iiibbif"}, {50, "ibb"}};
    std::vector<uint8_t> block;
    sock.RecvAvail(block, 1 << 20);
    reader.Feed(block, [this](uint16_t id, FieldReader& r) {
      const auto layout = kLayout.find(id);
      if (layout == kLayout.end()) return Parse::Unknown;
      Msg m{id, {}, {}};
      for (char kind : layout->second) {
        if (kind == 'l') m.text = r.ReadLine();
        else m.nums.push_back(kind == 'b' ? r.ReadByte() : kind == 'i' ? r.ReadInt() : int64_t(r.ReadFloat()));
      }
      if (!r.Ok()) return Parse::NeedMore;
      got.push_back(m);
      return Parse::Done;
    });
  }
  std::vector<Msg> Of(uint16_t id) const {
    std::vector<Msg> out;
    for (const Msg& m : got)
      if (m.id == id) out.push_back(m);
    return out;
  }
};

// A message from its fields: int32_t as an int, uint8_t as a byte, text as a line.
void Put(MessageWriter& w, int32_t v) { w.MInt(v); }
void Put(MessageWriter& w, uint8_t v) { w.MByte(v); }
void Put(MessageWriter& w, const std::string& v) { w.MLine(v); }
template <class... Fields>
MessageWriter Make(uint16_t id, const Fields&... fields) {
  MessageWriter w;
  w.MNew(id);
  (Put(w, fields), ...);
  return w;
}
MessageWriter Join(const std::string& name) { return Make(1, name, uint8_t(9), uint8_t(8), uint8_t(7)); }
MessageWriter ClickMsg(int32_t id, uint8_t button) { return Make(50, id, button); }
MessageWriter ChatMsg(const std::string& text) { return Make(5, text); }

// The clicks the host has recorded for the current game.
size_t Moves() {
  const auto& ev = Hosting().record.events;
  return size_t(std::count_if(ev.begin(), ev.end(), [](const RecordEvent& e) { return e.kind == RecordEvent::MOVE; }));
}
HostPlayer* Named(const std::string& name) {
  for (HostPlayer& p : Hosting().players)
    if (p.name == name) return &p;
  return nullptr;
}

// A port for the game to host on: random and high, tried again when taken, so no
// port is ever closed by the test and then reused.
uint16_t RandomPort() {
  static std::mt19937 rng(std::random_device{}() ^ unsigned(getpid()));
  return uint16_t(20000 + rng() % 40000);
}

struct Protocol : ::testing::Test {
  test::TempDir dir;
  test::World world;
  uint16_t port = 0;
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) world.Send(EVENT_TIMERTICK, nullptr);
  }
  // Ticks the game and polls the peers until `done`, for at most five seconds.
  template <class Done>
  bool Until(std::vector<Peer*> peers, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      Tick();
      for (Peer* p : peers) p->Poll();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // let the loopback deliver
    }
    return false;
  }
  void HostAs(const std::string& name) {
    gOptions.oName = name;
    for (int attempt = 0; attempt < 5 && TNet::NetStatus != 2; ++attempt) {
      port = RandomPort();
      world.gui.SetText(gDirectPort, std::to_string(port));
      world.Send(EVENT_GADGETACTION, gDirectHost);
    }
    ASSERT_EQ(MemoryGui::M(gMultiWindow)->status, "Hosting");
    ASSERT_TRUE(Until({}, [] { return TNet::MyId >= 0; }));
  }
  // Hosts and lets one peer join under this name.
  void Joined(Peer& p, const std::string& name) {
    ASSERT_TRUE(p.Open(port));
    p.Send(Join(name));
    ASSERT_TRUE(Until({&p}, [&] { return !p.Of(4).empty(); })) << name << " got no answer";
  }
  // Hosts as H and lets the peer `a` join as A.
  void HostWithA() {
    HostAs("H");
    Joined(a, "A");
  }
  Peer a;
};

}  // namespace

// Names made unique, ids in order of arrival, late joiners, lost hosts and the answer to a
// join are played out between real instances in test_multi.
TEST_F(Protocol, ClicksAreRelayedInOneOrderAndOnlyValidOnesLogged) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  int noDelay = 0;
  socklen_t len = sizeof noDelay;
  EXPECT_TRUE(::getsockopt(TNet::Clientsock.Fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &len) == 0 && noDelay == 1)
      << "small messages must leave at once";
  ASSERT_EQ(Moves(), 1u);  // the opening reveal, in nobody's name
  const auto& ev = Hosting().record.events;
  EXPECT_EQ(std::find_if(ev.begin(), ev.end(), [](const RecordEvent& e) { return e.kind == RecordEvent::MOVE; })->player,
            kNoPlayer);
  const int32_t blocks = gGame.Count();
  a.Send(ClickMsg(blocks, 1));  // one past the field
  a.Send(ClickMsg(-1, 1));
  a.Send(ClickMsg(3, 7));  // not a button
  int32_t covered = -1;
  for (int32_t id = 0; id < blocks; ++id)
    if (!gGame.Blocks[size_t(id)].Revealed) covered = id;
  ASSERT_NE(covered, -1);
  const TBlock& c = gGame.Blocks[size_t(covered)];
  // A click cut into single bytes over several ticks still arrives whole.
  const MessageWriter flag = ClickMsg(covered, 2);
  for (uint8_t byte : flag.Bytes()) {
    a.SendRaw({byte});
    Tick();
  }
  ASSERT_TRUE(Until({&a}, [&] { return a.Of(50).size() >= 2; }));
  Tick(5);
  ASSERT_EQ(Moves(), 2u);
  EXPECT_EQ(a.Of(50).back().nums, (std::vector<int64_t>{covered, 2, 1}));
  EXPECT_EQ(c.flag, 1);  // the host's own board applied it with the player's record
  EXPECT_EQ(c.fpid, 1);
  // The host's own clicks go through its server too: nothing changes before they come back.
  SendClick(gGame, covered, 2);
  ASSERT_TRUE(Until({&a}, [&] { return a.Of(50).size() == 3; }));
  Tick(5);
  EXPECT_EQ(c.flag, 1);  // another player's flag stays
  EXPECT_EQ(Moves(), 3u);
}

// Chat, colour changes and kicks are played out between real instances in test_multi.
TEST_F(Protocol, HostileOrUnwelcomeConnectionsAreDroppedAlone) {
  HostAs("H");
  Peer bad, good, early;
  ASSERT_TRUE(early.Open(port));  // accepted, not joined yet: hears of nobody
  Joined(good, "G");
  Joined(bad, "X");
  bad.Send(Make(5, std::string(5000, 'a')));  // a line far longer than any name or chat line
  ASSERT_TRUE(Until({&good}, [&] { return !good.Of(3).empty(); }));
  EXPECT_EQ(good.Of(3)[0].nums[0], 2);
  good.Send(ClickMsg(5, 2));
  ASSERT_TRUE(Until({&good}, [&] { return good.Of(50).size() >= 2; }));
  early.Send(Join("E"));
  ASSERT_TRUE(Until({&early}, [&] { return !early.Of(4).empty(); }));
  std::vector<std::string> names;
  for (const Msg& m : early.Of(2)) names.push_back(m.text);
  EXPECT_EQ(names, (std::vector<std::string>{"H", "G", "X"}));  // each once
  // A connection that never asks to join is closed after ten seconds.
  Peer silent;
  ASSERT_TRUE(silent.Open(port));
  const size_t before = TNet::Clients.size();
  ASSERT_TRUE(Until({}, [&] { return TNet::Clients.size() == before + 1; }));
  test::SetClock(MilliSecs() + 10001);
  Tick(2);
  EXPECT_EQ(TNet::Clients.size(), before);
  test::UseRealClock();
  // Every id taken: a join is refused and the connection closed.
  for (int i = 4; i < 255; ++i) Hosting().players.push_back({"x" + std::to_string(i), RGB{}, uint8_t(i), nullptr, false});
  Peer full;
  ASSERT_TRUE(full.Open(port));
  full.Send(Join("Z"));
  ASSERT_TRUE(Until({}, [&] { return !full.sock.Connected(); }));
  full.Poll();
  EXPECT_TRUE(full.Of(4).empty());
  EXPECT_FALSE(Named("Z"));
}

TEST_F(Protocol, ClickAndChatFloodsAreCut) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  MessageWriter flood;
  for (int i = 0; i < 500; ++i) {
    flood.MNew(50);
    flood.MInt(i % 63);
    flood.MByte(2);
    flood.MNew(5);
    flood.MLine("spam");
  }
  a.Send(flood);
  ASSERT_TRUE(Until({&a}, [&] { return Moves() >= 1u + 60; }));
  Tick(10);
  EXPECT_LE(Moves(), 1u + 60 + 30);  // the burst, plus what time refilled
  a.Poll();
  EXPECT_LE(a.Of(5).size(), 10u + 2);
}

TEST_F(Protocol, PlayerSideChecksGameSetupsAndIgnoresUnknownBlocksAndPlayers) {
  TNet::NetStatus = 1;
  auto setup = [](int32_t w, int32_t h, int32_t m, int32_t seed, float time = 2.5f) {
    MessageWriter g = Make(41, w, h, m, uint8_t(1), uint8_t(1), seed);
    g.MFloat(time);
    return g;
  };
  MessageWriter ok = setup(12, 7, 10, 770);
  ok.MNew(45), ok.MInt(777);  // a new seed before the first uncovering: the one the mines and the record use
  for (int i = 0; i < 3; ++i) ok.MNew(2), ok.MLine("Dup" + std::to_string(i)), ok.MBytes(std::vector<uint8_t>{1, 2, 3, 9});
  for (auto [id, player] : {std::pair{40, 255}, {-1, 255}, {84, 255}, {41, 17}}) {
    ok.MNew(50);
    ok.MInt(id);
    ok.MByte(1);
    ok.MByte(uint8_t(player));
  }
  Game& g = gGame;
  ClientReceive(g, ok.Bytes());
  EXPECT_EQ(g.BlockAW, 12);
  EXPECT_EQ(g.rseed, 777);
  EXPECT_EQ(PlayedRecord().setup.seed, 777);
  EXPECT_EQ(BoardText(Replay(PlayedRecord())), BoardText(g));
  EXPECT_FLOAT_EQ(g.GameTime, 2.5f);
  EXPECT_EQ(g.Blocks[40].Revealed, 1);
  ASSERT_EQ(g.Players.size(), 1u);  // one id, one player: the last announcement holds
  EXPECT_EQ(g.Players[0].name, "Dup2");
  const int revealed = g.revealed;
  for (auto bad : {setup(0, 5, 1, 1), setup(70000, 70000, 1, 2), setup(9, 9, 69, 3), setup(-4, -4, -100, 4)}) {
    ClientReceive(g, bad.Bytes());
    EXPECT_EQ(g.BlockAW, 12);
    EXPECT_EQ(g.rseed, 777);
  }
  EXPECT_EQ(g.revealed, revealed);
  // A game time no clock can show starts at 0 (it would overflow the winner's time).
  for (float time : {-1.0f, 5.6e10f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    ClientReceive(g, setup(12, 7, 10, 778, time).Bytes());
    EXPECT_EQ(g.GameTime, 0.0f) << time;
  }
  TNet::NetStatus = 0;
}

TEST_F(Protocol, NewGameOnTheHostChecksTheSetupAndNeverSendsSeedMinusOne) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  a.Send(ClickMsg(3, 2));
  ASSERT_TRUE(Until({&a}, [&] { return Moves() == 2; }));
  gOptions.oMines = 69;  // too many: nothing is sent and the log stays
  world.Send(EVENT_MENUACTION, menu_game_new);
  Tick(10);
  a.Poll();
  EXPECT_EQ(a.Of(41).size(), 1u);
  EXPECT_EQ(Moves(), 2u);
  gOptions.oMines = 10;
  test::SetClock(-1);  // a seed of -1 would tell every player to use their own clock
  world.Send(EVENT_MENUACTION, menu_game_new);
  ASSERT_TRUE(Until({&a}, [&] { return a.Of(41).size() == 2; }));
  EXPECT_NE(a.Of(41)[1].nums[5], -1);
  EXPECT_NE(gGame.rseed, -1);
  ASSERT_EQ(Moves(), 1u);  // a new log that starts with the opening reveal
  EXPECT_EQ(a.Of(50).back().nums[2], 255);
}

TEST_F(Protocol, APeerMisalignedByGarbageOrCutFramesIsHeardAgainAtItsNextSend) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  TNetClient* c = Named("A")->client;
  const MessageWriter click = ClickMsg(5, 2), chat = ChatMsg("lost");
  const MessageWriter unknown = Make(77, uint8_t(1), uint8_t(2), uint8_t(3));
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"1001 garbage bytes", std::vector<uint8_t>(1001, 'g')},
      {"a truncated click", {click.Bytes().begin(), click.Bytes().end() - 3}},
      {"a chat frame without its CR LF", {chat.Bytes().begin(), chat.Bytes().end() - 2}},
      {"an unknown id", {unknown.Bytes().begin(), unknown.Bytes().end()}},
  };
  for (const auto& k : cases) {
    a.SendRaw(k.bytes);
    ASSERT_TRUE(Until({&a}, [&] { return c->tcpsock.ReadAvail() == 0; })) << k.what;
    a.Send(ChatMsg(std::string("after ") + k.what));
    EXPECT_TRUE(Until({&a}, [&] { return !a.Of(5).empty() && a.Of(5).back().text == std::string("A: after ") + k.what; }))
        << k.what;
  }
  EXPECT_EQ(a.Of(5).size(), 4u) << "nothing of the broken frames was relayed";
}

// A kick needs nothing of the kicked program: its later clicks go nowhere, and the others see it leave.
TEST_F(Protocol, AKickedPeerThatIgnoresTheKickIsCutOff) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  Peer b;
  Joined(b, "B");
  const uint8_t id = Named("A")->id;
  Hosting().Kick(id);
  a.Send(ClickMsg(5, 2));
  ASSERT_TRUE(Until({&a, &b}, [&] { return !b.Of(3).empty() && a.Of(7).size() == 1; }));
  Tick(10);
  b.Poll();
  EXPECT_EQ(b.Of(3)[0].nums[0], id);
  for (const Msg& m : b.Of(50)) EXPECT_NE(m.nums[2], id);
  EXPECT_NE(world.gui.Text(gChatConsole).find("A has left the game."), std::string::npos);
}

// A late joiner gets the game's whole history, however far past the send queue's cap.
TEST_F(Protocol, ALateJoinerGetsAHistoryLargerThanTheSendCap) {
  test::SetClock(1000);
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  test::SetClock(8000);
  const size_t n = 2 * TSocket::kDefaultSendCap / ClickMsg(0, 2).Bytes().size();
  for (size_t i = Moves(); i < n; ++i) Hosting().record.AddMove({int32_t(i % 81), CLICK_FLAG, Named("A")->id}, 0.0f);
  Peer late;
  ASSERT_TRUE(late.Open(port));
  ASSERT_TRUE(Until({}, [&] { return TNet::Clients.size() == 3; }));
  const int small = 64 * 1024;  // or loopback's buffers take the whole history at once
  ::setsockopt(TNet::Clients.back()->tcpsock.Fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  late.Send(Join("L"));
  ASSERT_TRUE(Until({&late}, [&] { return !late.Of(4).empty(); }));
  std::vector<int64_t> want, got;
  for (const RecordEvent& e : Hosting().record.events)
    if (e.kind == RecordEvent::MOVE) want.push_back(e.block);
  for (const Msg& m : late.Of(50)) got.push_back(m.nums[0]);
  EXPECT_EQ(got, want);
  EXPECT_EQ(late.Of(41).at(0).nums[6], 7);  // the game's clock as it stands
}

// Joining from this process: every address of the name in turn, IPv6 first, and the tick never waits.
TEST_F(Protocol, AJoinTriesEachAddressInTurnAndIsGivenUpOrCancelledWithoutWaiting) {
  const auto status = [] { return MemoryGui::M(gMultiWindow)->status; };
  TSocket v4;  // IPv4 alone, so the IPv6 loopback refuses on its port
  ASSERT_TRUE(v4.CreateTCP() && v4.Bind(0, 0x7F000001) && v4.Listen(0));
  const std::vector<SockAddr> both = {*SockAddr::Parse("::1"), *SockAddr::Parse("127.0.0.1")};
  ConnectTo(gGame, "both.example", v4.LocalPort(), [both](const std::string&) { return both; });
  ASSERT_TRUE(Until({}, [] { return TNet::NetStatus == NET_JOINED; }));
  EXPECT_EQ(status(), "Connected to game");
  // Its queue is now full and it never accepts: a connect to it hangs, as does this lookup.
  std::promise<void> release;
  const std::shared_future<void> gate = release.get_future().share();
  const Lookup hangs = [gate](const std::string&) { gate.wait(); return std::vector<SockAddr>{}; };
  for (const bool cancel : {false, true}) {
    for (const auto& [name, lookup] : {std::pair{"127.0.0.1", Lookup(Resolve)}, std::pair{"slow.example", hangs}}) {
      SCOPED_TRACE(std::string(name) + (cancel ? " cancelled" : " timed out"));
      test::SetClock(1000);
      ConnectTo(gGame, name, v4.LocalPort(), lookup);
      Tick(3);  // were a tick to wait for the connect, it would not return here
      EXPECT_TRUE(ConnectPending() && status() == "Connecting...");
      test::SetClock(3999);
      if (cancel) world.Send(EVENT_GADGETACTION, gDisconnect);
      Tick();
      EXPECT_EQ(status(), cancel ? "Not connected" : "Connecting...");
      test::SetClock(4000);
      Tick();
      EXPECT_EQ(status(), cancel ? "Not connected" : "Failed to connect");
      EXPECT_FALSE(ConnectPending() || TNet::Clientsock.IsOpen() || TNet::NetStatus != NET_OFF);
    }
  }
  release.set_value();
}

TEST_F(Protocol, HostsAndJoinsOverIpv6) {
  TSocket v6;
  if (!v6.CreateTCP(true) || !v6.Bind(0) || !v6.Listen(1) || !TSocket().Connect(*SockAddr::Parse("::1", v6.LocalPort())))
    GTEST_SKIP() << "this machine has no IPv6 loopback";
  ConnectTo(gGame, "[::1]", v6.LocalPort());
  ASSERT_TRUE(Until({}, [] { return TNet::NetStatus == NET_JOINED; }));
  HostAs("H");  // on IPv6 and IPv4: the peer comes by IPv6
  ASSERT_TRUE(a.sock.Connect(*SockAddr::Parse("::1", port)));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  EXPECT_EQ(TNet::Clients.back()->tcpsock.Remote().Text(), "::1");
}

// "Host + broadcast" while the list server is still being reached: the announcement waits for the connection;
// the relay hello goes only to a server that has welcomed, whose blocks are then read frame by frame.
TEST_F(Protocol, AnAnnouncementWaitsForTheListServerConnection) {
  TSocket list;
  ASSERT_TRUE(list.CreateTCP() && list.Bind(0, 0x7F000001) && list.Listen(1));
  TServerList::IPs = {"127.0.0.1", "127.0.0.1"};
  TServerList::Ports = {list.LocalPort(), list.LocalPort()};
  world.gui.SetText(gDirectPort, std::to_string(RandomPort()));
  world.Send(EVENT_GADGETACTION, gServerHost);
  ASSERT_EQ(MemoryGui::M(gMultiWindow)->status, "Hosting");
  EXPECT_TRUE(ConnectPending());
  std::optional<TSocket> s;
  ASSERT_TRUE(Until({}, [&] { return s || (s = list.Accept()); }));
  FrameReader reader;
  std::vector<std::pair<uint16_t, int>> got;  // id, kind (the flags for a hello)
  const auto heard = [&](size_t n) {
    return Until({}, [&] {
      std::vector<uint8_t> bytes;
      s->RecvAvail(bytes, 1 << 16);
      reader.Feed(bytes, [&](uint16_t id, FieldReader& r) {
        const int kind = id == 100 ? r.ReadByte() : id == 110 ? (r.ReadByte(), r.ReadByte()) : -1;
        if (kind == 1 && id == 100) r.ReadLine(), r.ReadInt();
        if (!r.Ok()) return Parse::NeedMore;
        got.emplace_back(id, kind);
        return Parse::Done;
      });
      return got.size() >= n;
    });
  };
  ASSERT_TRUE(heard(3));
  EXPECT_EQ(got, (std::vector<std::pair<uint16_t, int>>{{100, 2}, {101, -1}, {100, 1}}));
  MessageWriter w;
  w.MNew(kMsgList);
  w.MShort(0);
  w.MNew(kMsgRelayWelcome);
  w.MByte(kRelayVersion);
  w.MNew(kMsgList);  // behind other frames: counts once welcomed
  w.MShort(1);
  w.MLine("10.0.0.1");
  w.MInt(5000);
  w.MShort(0);
  w.MLine("Behind");
  ASSERT_TRUE(s->Send(w.Bytes()));
  ASSERT_TRUE(heard(4));
  EXPECT_EQ(got.back(), std::make_pair(uint16_t(kMsgRelayHello), 0));
  EXPECT_TRUE(Until({}, [] { return TServerList::Gamelist.size() == 1 && TServerList::Gamelist[0]->name == "Behind"; }));
}

// The tick rests once nothing happens; a click arriving then wakes it through
// its socket and is played before the next wait.
TEST_F(Protocol, AClickArrivingWhileTheTickRestsIsPlayedAtOnce) {
  ASSERT_NO_FATAL_FAILURE(HostWithA());
  gView.Flash = {};
  gView.back.firstgame = false;  // no opening white animating
  for (int i = 0; i < 10 && !TickResting(); ++i) world.Send(EVENT_TIMERTICK, world.gui.timer);
  ASSERT_TRUE(TickResting());
  ASSERT_EQ(world.gui.resting, world.gui.timer);
  int32_t covered = 0;
  while (gGame.Blocks[size_t(covered)].Revealed) ++covered;
  const size_t moves = Moves();
  a.Send(ClickMsg(covered, 2));
  world.gui.WaitSystem();
  EXPECT_TRUE(world.gui.wokeBySocket);
  EXPECT_EQ(Moves(), moves + 1);
  EXPECT_EQ(gGame.Blocks[size_t(covered)].flag, 1);
}
