// The host and player message handling over real loopback sockets: this
// process runs the game (as host or player) and raw sockets play the peers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <limits>
#include <thread>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "minefield/game.h"
#include "net/message.h"
#include "net/net.h"
#include "minefield/players.h"
#include "net/protocol.h"
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
  void Send(const MessageWriter& w) {
    sock.Send(w.Bytes());
    sock.Flush();
  }
  void SendRaw(const std::vector<uint8_t>& bytes) {
    sock.Send(bytes);
    sock.Flush();
  }
  // Reads whatever arrived, decoding the host's messages.
  void Poll() {
    std::vector<uint8_t> block;
    sock.RecvAvail(block, 1 << 20);
    if (block.empty()) return;
    reader.Feed(block, [this](uint16_t id, FieldReader& r) {
      Msg m{id, {}, {}};
      switch (id) {
        case 2:
        case 4:
          m.text = r.ReadLine();
          for (int i = 0; i < 4; ++i) m.nums.push_back(r.ReadByte());
          break;
        case 3: m.nums.push_back(r.ReadByte()); break;
        case 5: m.text = r.ReadLine(); break;
        case 7: break;
        case 9:
          for (int i = 0; i < 4; ++i) m.nums.push_back(r.ReadByte());
          break;
        case 41:
          for (int i = 0; i < 3; ++i) m.nums.push_back(r.ReadInt());
          m.nums.push_back(r.ReadByte());
          m.nums.push_back(r.ReadByte());
          m.nums.push_back(r.ReadInt());
          m.nums.push_back(int64_t(r.ReadFloat()));
          break;
        case 50:
          m.nums.push_back(r.ReadInt());
          m.nums.push_back(r.ReadByte());
          m.nums.push_back(r.ReadByte());
          break;
        default: return Parse::Unknown;
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

MessageWriter Join(const std::string& name, RGB c = {9, 8, 7}) {
  MessageWriter w;
  w.MNew(1);
  w.MLine(name);
  w.MByte(c[0]);
  w.MByte(c[1]);
  w.MByte(c[2]);
  return w;
}
MessageWriter ClickMsg(int32_t id, uint8_t button) {
  MessageWriter w;
  w.MNew(50);
  w.MInt(id);
  w.MByte(button);
  return w;
}

MessageWriter ChatMsg(const std::string& text) {
  MessageWriter w;
  w.MNew(5);
  w.MLine(text);
  return w;
}

int NoDelay(const TSocket& s) {
  int v = -1;
  socklen_t len = sizeof v;
  return ::getsockopt(s.Fd(), IPPROTO_TCP, TCP_NODELAY, &v, &len) == 0 ? v : -1;
}

uint16_t FreePort() {
  TSocket s;
  s.CreateTCP();
  s.Bind(0, HostIp("127.0.0.1"));
  return s.LocalPort();
}

struct Protocol : ::testing::Test {
  test::TempDir dir;
  test::World world;
  uint16_t port = 0;
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      world.Send(EVENT_TIMERTICK, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
  // Ticks the game and polls the peers until `done` or a deadline.
  template <class Done>
  bool Until(std::vector<Peer*> peers, Done done) {
    for (int i = 0; i < 400; ++i) {
      Tick();
      for (Peer* p : peers) p->Poll();
      if (done()) return true;
    }
    return false;
  }
  void HostAs(const std::string& name) {
    oName = name;
    port = FreePort();
    world.gui.SetText(gDirectPort, std::to_string(port));
    world.Send(EVENT_GADGETACTION, gDirectHost);
    ASSERT_EQ(MemoryGui::M(gMultiWindow)->status, "Hosting");
    ASSERT_TRUE(Until({}, [] { return MPlayer != nullptr; }));
  }
  std::string Console() { return world.gui.Text(gChatConsole); }
};

}  // namespace

TEST_F(Protocol, JoinsGetUniqueNamesIdsAndTheGame) {
  HostAs("N");
  EXPECT_EQ(MPlayer->name, "N");
  EXPECT_EQ(MPlayer->id, 0);
  EXPECT_EQ(NoDelay(TNet::Clientsock), 1) << "small messages must leave at once";
  Peer a, b;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("N"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  ASSERT_TRUE(b.Open(port));
  b.Send(Join("N"));
  ASSERT_TRUE(Until({&a, &b}, [&] { return !b.Of(4).empty() && a.Of(2).size() == 2; }));
  EXPECT_EQ(a.Of(4)[0].text, "N1");
  EXPECT_EQ(a.Of(4)[0].nums, (std::vector<int64_t>{9, 8, 7, 1}));
  EXPECT_EQ(b.Of(4)[0].text, "N2");
  // The answer: identity, then the game, then every other player.
  ASSERT_GE(b.got.size(), 4u);
  EXPECT_EQ(b.got[0].id, 4);
  EXPECT_EQ(b.got[1].id, 41);
  EXPECT_EQ(b.got[1].nums[0], 9);
  EXPECT_EQ(b.got[1].nums[5], rseed);
  EXPECT_EQ(b.got[2].id, 2);
  EXPECT_EQ(b.got[2].text, "N");
  EXPECT_EQ(b.got[3].text, "N1");
  EXPECT_EQ(a.Of(2)[0].text, "N");   // in A's answer
  EXPECT_EQ(a.Of(2)[1].text, "N2");  // the others hear of the newcomer
  EXPECT_NE(Console().find("N1 has joined the game."), std::string::npos);
  ASSERT_EQ(world.gui.CountItems(gChatPList), 3);
  EXPECT_EQ(world.gui.ItemText(gChatPList, 2), "N2");
}

TEST_F(Protocol, ClicksAreRelayedInOneOrderAndOnlyValidOnesLogged) {
  HostAs("H");
  Peer a;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  const size_t logged = Actions.size();
  ASSERT_EQ(logged, 1u);  // the opening reveal
  EXPECT_EQ(Actions[0].aplayer, 255);
  a.Send(ClickMsg(99999, 1));  // not on this field
  a.Send(ClickMsg(3, 7));      // not a button
  // A click cut into single bytes over several ticks still arrives whole.
  MessageWriter flag = ClickMsg(80, 2);
  for (uint8_t byte : flag.Bytes()) {
    a.SendRaw({byte});
    Tick();
  }
  ASSERT_TRUE(Until({&a}, [&] { return a.Of(50).size() >= 2; }));
  Tick(5);
  EXPECT_EQ(Actions.size(), logged + 1);
  EXPECT_EQ(Actions.back().adata, 80.0f);
  EXPECT_EQ(Actions.back().amod, 2);
  const auto clicks = a.Of(50);
  EXPECT_EQ(clicks.back().nums, (std::vector<int64_t>{80, 2, 1}));
  // The host's own board applied the relayed click with the player's record.
  EXPECT_EQ(TBlock::FromID(80)->flag, TBlock::FromID(80)->Revealed ? TBlock::FromID(80)->flag : 1);
  if (!TBlock::FromID(80)->Revealed) {
    EXPECT_EQ(TBlock::FromID(80)->fpid, 1);
  }
  // The host's own clicks go through its server too.
  TBlock* covered = nullptr;
  for (TBlock& b : Blocks)
    if (!b.Revealed && !b.flag) covered = &b;
  ASSERT_NE(covered, nullptr);
  SendClick(covered, 2);
  EXPECT_EQ(covered->flag, 0);  // not before it comes back
  ASSERT_TRUE(Until({&a}, [&] { return covered->flag == 1; }));
  EXPECT_EQ(covered->fpid, 0);
}

TEST_F(Protocol, LateJoinerGetsPlayersLeftMarksAndTheLogInOrder) {
  HostAs("H");
  Peer a, late;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  for (int id : {10, 20, 30}) a.Send(ClickMsg(id, 2));
  ASSERT_TRUE(Until({&a}, [&] { return Actions.size() == 4; }));
  a.sock.Close();
  ASSERT_TRUE(Until({}, [&] { return Console().find("A has left the game.") != std::string::npos; }));
  EXPECT_EQ(world.gui.ItemText(gChatPList, 1), "A [left]");
  ASSERT_TRUE(late.Open(port));
  late.Send(Join("L"));
  ASSERT_TRUE(Until({&late}, [&] { return late.Of(50).size() == 4; }));
  std::vector<uint16_t> ids;
  for (const Msg& m : late.got) ids.push_back(m.id);
  EXPECT_EQ(ids, (std::vector<uint16_t>{4, 41, 2, 2, 3, 50, 50, 50, 50}));
  EXPECT_EQ(late.got[4].nums[0], 1);  // A's id, marked left right after A
  for (size_t i = 0; i < Actions.size(); ++i) EXPECT_EQ(late.Of(50)[i].nums[0], int64_t(Actions[i].adata));
  EXPECT_EQ(late.Of(4)[0].nums[3], 2);  // a left player's id is not reused within the game
}

TEST_F(Protocol, ChatColourAndKick) {
  HostAs("H");
  Peer a, b;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  ASSERT_TRUE(b.Open(port));
  b.Send(Join("B"));
  ASSERT_TRUE(Until({&b}, [&] { return !b.Of(4).empty(); }));
  MessageWriter chat;
  chat.MNew(5);
  chat.MLine("hello");
  a.Send(chat);
  ASSERT_TRUE(Until({&a, &b}, [&] { return !b.Of(5).empty() && !a.Of(5).empty(); }));
  EXPECT_EQ(b.Of(5)[0].text, "A: hello");
  EXPECT_NE(Console().find("\n A: hello"), std::string::npos);
  MessageWriter col;
  col.MNew(9);
  col.MByte(1);
  col.MByte(2);
  col.MByte(3);
  b.Send(col);
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(9).empty(); }));
  EXPECT_EQ(a.Of(9)[0].nums, (std::vector<int64_t>{2, 1, 2, 3}));
  EXPECT_EQ(*TPlayer::FindByID(2)->col, (RGB{1, 2, 3}));
  // Kick the selected row: B, id 2, in the third row.
  world.gui.SelectItem(gChatPList, 2);
  world.Send(EVENT_MENUACTION, menu_player_kick);
  ASSERT_TRUE(Until({&a, &b}, [&] { return !b.Of(7).empty() && !a.Of(3).empty(); }));
  EXPECT_EQ(a.Of(3)[0].nums[0], 2);
  EXPECT_NE(Console().find("B has left the game."), std::string::npos);
  // No row selected: nobody is kicked.
  world.gui.SelectItem(gChatPList, -1);
  world.Send(EVENT_MENUACTION, menu_player_kick);
  Tick(10);
  a.Poll();
  EXPECT_TRUE(a.Of(7).empty());
  EXPECT_EQ(a.Of(3).size(), 1u);
}

TEST_F(Protocol, HostileInputDropsOnlyThatConnection) {
  HostAs("H");
  Peer bad, good;
  ASSERT_TRUE(bad.Open(port));
  ASSERT_TRUE(good.Open(port));
  good.Send(Join("G"));
  ASSERT_TRUE(Until({&good}, [&] { return !good.Of(4).empty(); }));
  bad.Send(Join("X"));
  Tick(5);
  std::vector<uint8_t> garbage(5000, 'a');  // a line far longer than any name or chat line
  MessageWriter w;
  w.MNew(5);
  garbage.insert(garbage.begin(), w.Bytes().begin(), w.Bytes().end());
  bad.SendRaw(garbage);
  ASSERT_TRUE(Until({&good}, [&] { return !good.Of(3).empty(); }));
  EXPECT_EQ(good.Of(3)[0].nums[0], 2);
  good.Send(ClickMsg(5, 2));
  ASSERT_TRUE(Until({&good}, [&] { return good.Of(50).size() >= 2; }));
}

TEST_F(Protocol, JoinRefusedWhenEveryIdIsTaken) {
  HostAs("H");
  for (int i = 1; i < 255; ++i) TPlayer::Create("x" + std::to_string(i), RGB{}, uint8_t(i), nullptr, 1);
  Peer a;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  Tick(20);
  a.Poll();
  EXPECT_TRUE(a.Of(4).empty());
  EXPECT_FALSE(TPlayer::SFindByName("A"));
  EXPECT_FALSE(a.sock.Connected());
}

TEST_F(Protocol, PlayerSideChecksGameSetupsAndReplaysClicks) {
  TNet::NetStatus = 1;
  auto setup = [](int32_t w, int32_t h, int32_t m, int32_t seed, float time = 2.5f) {
    MessageWriter g;
    g.MNew(41);
    g.MInt(w);
    g.MInt(h);
    g.MInt(m);
    g.MByte(1);
    g.MByte(1);
    g.MInt(seed);
    g.MFloat(time);
    return g;
  };
  MessageWriter ok = setup(12, 7, 10, 777);
  ok.MNew(50);
  ok.MInt(40);
  ok.MByte(1);
  ok.MByte(255);
  ClientReceive(ok.Bytes());
  EXPECT_EQ(BlockAW, 12);
  EXPECT_EQ(rseed, 777);
  EXPECT_FLOAT_EQ(GameTime, 2.5f);
  EXPECT_EQ(TBlock::FromID(40)->Revealed, 1);
  for (auto bad : {setup(0, 5, 1, 1), setup(70000, 70000, 1, 2), setup(9, 9, 69, 3), setup(-4, -4, -100, 4)}) {
    ClientReceive(bad.Bytes());
    EXPECT_EQ(BlockAW, 12);
    EXPECT_EQ(rseed, 777);
  }
  // A game time no clock can show starts at 0 (it would overflow the winner's time).
  for (float time : {-1.0f, 5.6e10f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    ClientReceive(setup(12, 7, 10, 778, time).Bytes());
    EXPECT_EQ(GameTime, 0.0f) << time;
  }
  // Clicks naming unknown blocks or players are ignored.
  MessageWriter odd;
  odd.MNew(50);
  odd.MInt(-1);
  odd.MByte(1);
  odd.MByte(255);
  odd.MNew(50);
  odd.MInt(41);
  odd.MByte(1);
  odd.MByte(17);
  ClientReceive(odd.Bytes());
  EXPECT_EQ(TBlock::FromID(41)->Revealed, TBlock::FromID(41)->Revealed);
  TNet::NetStatus = 0;
}

TEST_F(Protocol, BadPortsAndNamesFailWithTheirTexts) {
  world.gui.SetText(gDirectPort, "70000");
  world.Send(EVENT_GADGETACTION, gDirectHost);
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Failed to host");
  EXPECT_EQ(TNet::NetStatus, 0);
  world.gui.SetText(gDirectIP, "no.such.host.invalid");
  world.gui.SetText(gDirectPort, "8200");
  world.Send(EVENT_GADGETACTION, gDirectConnect);
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Failed to connect");
  world.gui.SetText(gDirectIP, "127.0.0.1");
  world.gui.SetText(gDirectPort, "0");
  world.Send(EVENT_GADGETACTION, gDirectConnect);
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Failed to connect");
  world.gui.SetText(gDirectPort, std::to_string(FreePort()));  // nobody listens there
  world.Send(EVENT_GADGETACTION, gDirectConnect);
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Failed to connect");
  EXPECT_EQ(TNet::NetStatus, 0);
}

TEST_F(Protocol, LostHostShowsDisconnected) {
  TSocket server;
  ASSERT_TRUE(server.CreateTCP());
  ASSERT_TRUE(server.Bind(0, HostIp("127.0.0.1")));
  ASSERT_TRUE(server.Listen(4));
  world.gui.SetText(gDirectIP, "127.0.0.1");
  world.gui.SetText(gDirectPort, std::to_string(server.LocalPort()));
  world.Send(EVENT_GADGETACTION, gDirectConnect);
  ASSERT_EQ(TNet::NetStatus, 1);
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Connected to game");
  EXPECT_EQ(NoDelay(TNet::Clientsock), 1) << "small messages must leave at once";
  std::optional<TSocket> peer;
  for (int i = 0; i < 200 && !peer; ++i) {
    peer = server.Accept();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(peer);
  peer->Close();
  ASSERT_TRUE(Until({}, [] { return TNet::NetStatus == 0; }));
  EXPECT_EQ(MemoryGui::M(gMultiWindow)->status, "Disconnected");
  EXPECT_NE(Console().find("\n Disconnected"), std::string::npos);
}

TEST_F(Protocol, NewGameOnTheHostChecksTheSetupAndNeverSendsSeedMinusOne) {
  HostAs("H");
  Peer a;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  a.Send(ClickMsg(3, 2));
  ASSERT_TRUE(Until({&a}, [&] { return Actions.size() == 2; }));
  // Too many mines: nothing is sent and the log stays.
  oMines = 69;
  world.Send(EVENT_MENUACTION, menu_game_new);
  Tick(10);
  a.Poll();
  EXPECT_TRUE(a.Of(41).size() == 1);
  EXPECT_EQ(Actions.size(), 2u);
  // A clock reading of -1 would tell every player to use their own clock.
  oMines = 10;
  test::SetClock(-1);
  world.Send(EVENT_MENUACTION, menu_game_new);
  ASSERT_TRUE(Until({&a}, [&] { return a.Of(41).size() == 2; }));
  EXPECT_NE(a.Of(41)[1].nums[5], -1);
  EXPECT_NE(rseed, -1);
  ASSERT_EQ(Actions.size(), 1u);  // a new log that starts with the opening reveal
  EXPECT_EQ(a.Of(50).back().nums[2], 255);
}

TEST_F(Protocol, ConnectionsThatHaveNotJoinedHearOfNobodyAndAreClosedAfterAWhile) {
  HostAs("H");
  Peer early, b;
  ASSERT_TRUE(early.Open(port));
  Tick(5);  // accepted, no join yet
  ASSERT_TRUE(b.Open(port));
  b.Send(Join("B"));
  ASSERT_TRUE(Until({&b}, [&] { return !b.Of(4).empty(); }));
  early.Send(Join("E"));
  ASSERT_TRUE(Until({&early}, [&] { return !early.Of(4).empty(); }));
  std::vector<std::string> names;
  for (const Msg& m : early.Of(2)) names.push_back(m.text);
  EXPECT_EQ(names, (std::vector<std::string>{"H", "B"}));  // each once
  // A connection that never asks to join is closed after ten seconds.
  Peer silent;
  ASSERT_TRUE(silent.Open(port));
  Tick(5);
  const size_t before = TNet::Clients.size();
  test::SetClock(MilliSecs() + 10001);
  Tick(2);
  EXPECT_EQ(TNet::Clients.size(), before - 1);
  test::UseRealClock();
}

TEST_F(Protocol, ClickAndChatFloodsAreCut) {
  HostAs("H");
  Peer a;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  MessageWriter flood;
  for (int i = 0; i < 500; ++i) {
    flood.MNew(50);
    flood.MInt(i % 63);
    flood.MByte(2);
    flood.MNew(5);
    flood.MLine("spam");
  }
  a.Send(flood);
  Tick(10);
  EXPECT_LE(Actions.size(), 1u + 60 + 30);  // the burst, plus what time refilled
  EXPECT_GE(Actions.size(), 1u + 60);
  a.Poll();
  EXPECT_LE(a.Of(5).size(), 10u + 2);
}

TEST_F(Protocol, NamesAndChatLinesAreCutToWhatEveryReaderTakes) {
  HostAs("H");
  Peer a, b;
  const std::string huge(4000, 'n'), cut(kMaxNameChars, 'n');
  ASSERT_TRUE(a.Open(port));
  a.Send(Join(huge));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  ASSERT_TRUE(b.Open(port));
  b.Send(Join(huge));
  ASSERT_TRUE(Until({&b}, [&] { return !b.Of(4).empty(); }));
  EXPECT_EQ(a.Of(4)[0].text, cut);
  EXPECT_EQ(b.Of(4)[0].text, cut + "1") << "numbered after the cut";
  // Every line a reader takes is relayed, cut to one line when the name makes it longer.
  for (size_t len : {size_t(10), size_t(500), size_t(4000), kMaxLineChars}) {
    const std::string want = (cut + ": " + std::string(len, 'x')).substr(0, kMaxLineChars);
    a.Send(ChatMsg(std::string(len, 'x')));
    EXPECT_TRUE(Until({&a, &b}, [&] { return !b.Of(5).empty() && b.Of(5).back().text == want; })) << len;
    EXPECT_NE(Console().find(want), std::string::npos) << "the host's own player still reads" << len;
  }
  EXPECT_FALSE(b.reader.Broken());
  EXPECT_EQ(TNet::NetStatus, 2);
}

TEST_F(Protocol, APeerMisalignedByGarbageOrCutFramesIsHeardAgainAtItsNextSend) {
  HostAs("H");
  Peer a;
  ASSERT_TRUE(a.Open(port));
  a.Send(Join("A"));
  ASSERT_TRUE(Until({&a}, [&] { return !a.Of(4).empty(); }));
  TNetClient* c = TPlayer::SFindByName("A")->client;
  const MessageWriter click = ClickMsg(5, 2), chat = ChatMsg("lost");
  MessageWriter unknown;
  unknown.MNew(77);
  unknown.MByte(1);
  unknown.MByte(2);
  unknown.MByte(3);
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
