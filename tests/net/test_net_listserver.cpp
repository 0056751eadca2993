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
    server = std::make_unique<multi::ListServer>(dir.path);
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
};

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
  const auto end = Clock::now() + std::chrono::seconds(3);
  Bytes sink;
  while (Clock::now() < end && endless.RecvAvail(sink, 1 << 16) && endless.Connected())
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_FALSE(endless.Connected());
  TSocket longName = Connect();  // a long name that a reader still takes is listed, cut to a player's name cap
  ASSERT_TRUE(longName.Send(Announce(std::string(1000, 'n'), 1234).Bytes()));
  TSocket badPorts = Connect();  // ports no game can have are not listed
  for (int32_t port : {0, 70000, -5}) ASSERT_TRUE(badPorts.Send(Announce("bad", port).Bytes()));
  TSocket host = Connect();
  ASSERT_TRUE(host.Send(Announce("still here", 3000).Bytes()));
  const List list = ListOf(2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, std::string(kMaxNameChars, 'n'));
  EXPECT_EQ(list[1].name, "still here");
  EXPECT_NE(server->LogText().find("protocol error"), std::string::npos);
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
  EXPECT_NE(server->LogText().find("too many connections"), std::string::npos);
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
