// The list server as a real process on 127.0.0.1, on a port the system picks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "net/message.h"
#include "tools/listserver/listserver.h"
#include "platform/socket.h"
#include "tests/support/scratch.h"
#include "tools/headless/instance.h"

namespace bg {
namespace {

using Bytes = std::vector<uint8_t>;
using multi::Clock;
constexpr uint32_t kLoopback = 0x7F000001;

struct Entry {
  std::string address, name;
  int32_t port = 0;
  uint16_t age = 0;
};
using List = std::vector<Entry>;

MessageWriter Announce(const std::string& name, int32_t port) {
  MessageWriter w;
  w.MNew(100);
  w.MByte(1);
  w.MLine(name);
  w.MInt(port);
  return w;
}

// Asks for the list and reads the reply the way the game does.
std::optional<List> RequestList(TSocket& s, MessageWriter w = MessageWriter()) {
  w.MNew(101);
  if (!s.Send(w.Bytes())) return std::nullopt;
  FirstFrameReader reader;
  std::optional<List> list;
  const FrameHandler h = [&](uint16_t id, FieldReader& r) {
    if (id != 102) return Parse::Unknown;
    List entries(r.ReadShort());
    for (Entry& e : entries) {
      e.address = r.ReadLine();
      e.port = r.ReadInt();
      e.age = r.ReadShort();
      e.name = r.ReadLine();
    }
    if (!r.Ok()) return Parse::NeedMore;
    list = entries;
    return Parse::Done;
  };
  const auto end = Clock::now() + std::chrono::seconds(3);
  while (!list && Clock::now() < end) {
    Bytes block;
    if (!s.RecvAvail(block, 1 << 20)) return std::nullopt;
    if (!block.empty()) reader.Feed(block, h);
    else std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return list;
}

class ListServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    const int lo = 30000 + getpid() % 20000;
    relayPorts = {lo, lo + 3};
    server = std::make_unique<multi::ListServer>(
        dir.path, std::vector<std::string>{"--bind", "127.0.0.1", "--relay-ports", std::to_string(lo) + "-" + std::to_string(lo + 3)});
    ASSERT_NE(server->Port(), 0) << "the server did not start:\n" << server->LogText();
  }
  void TearDown() override {
    EXPECT_TRUE(!server->Proc().Running() || Stop(SIGTERM) == 0) << server->LogText();
  }
  // The exit code after the signal; -1 when it had to be killed.
  int Stop(int sig) {
    kill(server->Proc().Pid(), sig);
    const int status = server->Proc().Stop(3000);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TSocket Connect() {
    TSocket s;
    EXPECT_TRUE(s.Connect(kLoopback, uint16_t(server->Port()), 2000));
    return s;
  }
  // Asks again until the list has `n` entries, or the time is up.
  List ListOf(size_t n) {
    TSocket s = Connect();
    List last;
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
      auto list = RequestList(s);
      if (!list) break;
      last = *list;
      if (last.size() == n) break;
    }
    return last;
  }
  test::ScratchDir dir;
  std::unique_ptr<multi::ListServer> server;
  std::pair<int, int> relayPorts;
};

bool Soon(const std::function<bool()>& cond) {
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (!cond() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return cond();
}

bool Open(TSocket& s) {
  Bytes sink;
  return s.IsOpen() && s.RecvAvail(sink, 1 << 16) && s.Connected();
}

// Waits for the socket's peer to close it, reading (and dropping) what comes meanwhile.
bool ClosedByPeer(TSocket& s) {
  Bytes sink;
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < end && s.RecvAvail(sink, 1 << 16) && s.Connected())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !s.IsOpen() || !s.Connected();
}

// What a host gets: lists, the welcome, then one call (token, port) per waiting player.
struct RelayInbox {
  FrameReader reader{1 << 20};
  bool welcomed = false;
  std::vector<uint16_t> ids;
  std::vector<Bytes> tokens;
  bool Poll(TSocket& s, size_t calls) {
    const auto end = Clock::now() + std::chrono::seconds(3);
    while ((tokens.size() < calls || !welcomed) && Clock::now() < end) {
      Bytes in;
      if (!s.RecvAvail(in, 1 << 16)) return false;
      reader.Feed(in, [&](uint16_t id, FieldReader& r) {
        ids.push_back(id);
        if (id == kMsgList) r.ReadShort();  // an empty one, read whole
        if (id == kMsgRelayWelcome) welcomed = r.ReadByte() == kRelayVersion;
        if (id == kMsgRelayCall) tokens.push_back(r.ReadBytes(kRelayTokenBytes)), r.ReadInt();
        return id == kMsgRelayWelcome || id == kMsgRelayCall || id == kMsgList ? Parse::Done : Parse::Unknown;
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return tokens.size() >= calls && welcomed;
  }
};

TEST_F(ListServer, RelayJoinsAPlayerToItsHostAndStandsHostileUse) {
  TSocket host = Connect();
  MessageWriter announce = Announce("Far", 1);  // nothing listens on port 1: not reachable
  announce.MNew(kMsgListRequest);
  ASSERT_TRUE(host.Send(announce.Bytes()));
  RelayInbox inbox;
  ASSERT_TRUE(inbox.Poll(host, 0));
  EXPECT_EQ(inbox.ids, (std::vector<uint16_t>{kMsgList, kMsgRelayWelcome})) << "welcomed unasked, behind the list";
  // A host that has not said it speaks the relay is listed where it is, until its hello comes.
  List list = ListOf(1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].port, 1);
  MessageWriter hello;
  hello.MNew(kMsgRelayHello);
  hello.MByte(kRelayVersion);
  hello.MByte(0);
  ASSERT_TRUE(host.Send(hello.Bytes()));
  EXPECT_TRUE(Soon([&] { return (list = ListOf(1)).size() == 1 && list[0].port != 1; }));
  EXPECT_EQ(list[0].address, "127.0.0.1");
  EXPECT_TRUE(list[0].port >= relayPorts.first && list[0].port <= relayPorts.second) << "listed at a relay port";
  const auto answer = [&](const Bytes& token) {
    TSocket s = Connect();
    MessageWriter w;
    w.MNew(kMsgRelayAnswer);
    w.MBytes(token);
    EXPECT_TRUE(s.Send(w.Bytes()));
    return s;
  };
  TSocket forged = answer(Bytes(kRelayTokenBytes, 7));
  EXPECT_TRUE(ClosedByPeer(forged)) << "a token never handed out";

  TSocket player;
  ASSERT_TRUE(player.Connect(kLoopback, uint16_t(list[0].port), 2000));
  ASSERT_TRUE(player.Send(Bytes(100, 'j')));
  ASSERT_TRUE(inbox.Poll(host, 1));
  ASSERT_EQ(inbox.tokens[0].size(), kRelayTokenBytes);
  TSocket relay = answer(inbox.tokens[0]);
  ASSERT_TRUE(relay.Send(Bytes(50, 'h')));
  Bytes atHost, atPlayer;
  EXPECT_TRUE(Soon([&] { return relay.RecvAvail(atHost, 1 << 16) && atHost.size() >= 100; }));
  EXPECT_TRUE(Soon([&] { return player.RecvAvail(atPlayer, 1 << 16) && atPlayer.size() >= 50; }));
  EXPECT_EQ(atHost, Bytes(100, 'j'));
  EXPECT_EQ(atPlayer, Bytes(50, 'h'));
  TSocket again = answer(inbox.tokens[0]);
  EXPECT_TRUE(ClosedByPeer(again)) << "a token used twice";

  // A player that never reads holds back its host's bytes at the relay: the
  // server keeps a bounded buffer, and goes on listing meanwhile.
  relay.SetSendCap(size_t(128) << 20);
  for (int k = 0; k < 64; ++k) relay.Send(Bytes(1 << 20, 'x'));
  // A flood of connections to the relay port: refused past the caps, and the list is still served.
  std::vector<TSocket> flood(200);
  for (TSocket& s : flood) s.Connect(kLoopback, uint16_t(list[0].port), 2000);
  EXPECT_EQ(ListOf(1).size(), 1u);
  EXPECT_TRUE(Soon([&] { return std::count_if(flood.begin(), flood.end(), Open) <= long(listserver::kMaxCallsPerGame); }));
  EXPECT_TRUE(inbox.Poll(host, 1 + listserver::kMaxCallsPerGame));
  relay.Flush();
  EXPECT_GT(relay.Queued(), size_t(16) << 20) << "the relay read on for a player that does not";
  const std::string status = multi::ReadText("/proc/" + std::to_string(server->Proc().Pid()) + "/status");
  const size_t rss = status.find("VmRSS:");
  ASSERT_NE(rss, std::string::npos);
  EXPECT_LT(std::stol(status.substr(rss + 6)), 32 * 1024) << "kB held by the server";
  EXPECT_FALSE(inbox.Poll(host, 2 + listserver::kMaxCallsPerGame)) << "no more calls than a game may have waiting";

  // A connection that says nothing is closed; the host's goes with its game, its relays and the relay port.
  TSocket quiet = Connect();
  EXPECT_TRUE(ClosedByPeer(quiet));
  host.Close();
  EXPECT_TRUE(ClosedByPeer(player));
  TSocket late;
  EXPECT_FALSE(late.Connect(kLoopback, uint16_t(list[0].port), 2000));
  EXPECT_TRUE(ListOf(0).empty());
}

TEST_F(ListServer, HostileInputDropsOnlyItsConnection) {
  TSocket noisy = Connect();  // garbage is skipped by the marker scan
  std::mt19937 rng(12345);
  Bytes junk(64 * 1024);
  for (auto& b : junk) b = uint8_t(rng());
  ASSERT_TRUE(noisy.Send(junk));
  EXPECT_TRUE(RequestList(noisy).has_value());
  TSocket endless = Connect();  // a name line that never ends
  MessageWriter w;
  w.MNew(100);
  w.MByte(1);
  ASSERT_TRUE(endless.Send(w.Bytes()));
  ASSERT_TRUE(endless.Send(Bytes(100000, 'x')));
  EXPECT_TRUE(ClosedByPeer(endless));
  TSocket longName = Connect();  // a long name that a reader still takes is listed, cut to a player's name cap
  ASSERT_TRUE(longName.Send(Announce(std::string(1000, 'n'), 1234).Bytes()));
  TSocket badPorts = Connect();  // ports no game can have are not listed
  for (int32_t port : {0, 70000, -5}) ASSERT_TRUE(badPorts.Send(Announce("bad", port).Bytes()));
  TSocket host = Connect();
  ASSERT_TRUE(host.Send(Announce("still here", 3000).Bytes()));
  TSocket flood = Connect();  // announcements without pause: dropped, and not every one logged and probed
  const MessageWriter one = Announce("flood", 3001);
  Bytes many;
  for (int k = 0; k < 500; ++k) many.insert(many.end(), one.Bytes().begin(), one.Bytes().end());
  ASSERT_TRUE(flood.Send(many));
  EXPECT_TRUE(ClosedByPeer(flood));
  const List list = ListOf(2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, std::string(kMaxNameChars, 'n'));
  EXPECT_EQ(list[1].name, "still here");
  const std::string log = server->LogText();
  EXPECT_NE(log.find("protocol error"), std::string::npos);
  EXPECT_TRUE(log.find("announcing too often") != log.npos && log.find("\"flood\" on") == log.rfind("\"flood\" on"));
}

TEST_F(ListServer, ConnectionsFromOneAddressAreCapped) {
  std::vector<TSocket> socks(40);
  for (auto& s : socks) ASSERT_TRUE(s.Connect(kLoopback, uint16_t(server->Port()), 2000));
  size_t closed = 0;
  const auto end = Clock::now() + std::chrono::seconds(3);
  while (closed < 8 && Clock::now() < end) {
    closed = 0;
    Bytes sink;
    for (auto& s : socks) closed += !s.IsOpen() || !s.RecvAvail(sink, 64) || !s.Connected();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(closed, 8u);
  socks.clear();
  EXPECT_TRUE(ListOf(0).empty());
  const std::string log = server->LogText();
  EXPECT_TRUE(log.find("too many") != log.npos && log.find("too many") == log.rfind("too many")) << "once a minute per source";
}

TEST(ListServerCommandLine, BadArgumentsAreRefused) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--port", "x"}, {"--port", "70000"}, {"--port"}, {"--bind", "nowhere"}, {"--what"}}) {
    std::vector<std::string> argv = {BG_LISTSERVER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    multi::Process p(argv, "/dev/null");
    const int status = p.Stop(3000);
    EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0];
  }
}

}  // namespace
}  // namespace bg
