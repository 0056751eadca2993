// The list server as a real process on 127.0.0.1, on a port the system picks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/message.h"
#include "platform/socket.h"

extern char** environ;

namespace bg {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kWaitMs = 3000;

long MsSince(Clock::time_point t) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

void Nap() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

struct Entry {
  std::string address;
  int32_t port = 0;
  uint16_t age = 0;
  std::string name;
};

MessageWriter Introduce() {
  MessageWriter w;
  w.MNew(100);
  w.MByte(2);
  return w;
}

MessageWriter Announce(const std::string& name, int32_t port) {
  MessageWriter w;
  w.MNew(100);
  w.MByte(1);
  w.MLine(name);
  w.MInt(port);
  return w;
}

MessageWriter ListRequest() {
  MessageWriter w;
  w.MNew(101);
  return w;
}

bool Send(TSocket& s, const MessageWriter& w) { return s.Send(w.Bytes()); }

// Reads the reply to a list request the way the game does.
std::optional<std::vector<Entry>> ReadList(TSocket& s) {
  FirstFrameReader reader;
  std::optional<std::vector<Entry>> list;
  const FrameHandler h = [&](uint16_t id, FieldReader& r) {
    if (id != 102) return Parse::Unknown;
    std::vector<Entry> entries;
    const uint16_t count = r.ReadShort();
    for (uint16_t i = 0; i < count && r.Ok(); ++i) {
      Entry e;
      e.address = r.ReadLine();
      e.port = r.ReadInt();
      e.age = r.ReadShort();
      e.name = r.ReadLine();
      entries.push_back(e);
    }
    if (!r.Ok()) return Parse::NeedMore;
    list = entries;
    return Parse::Done;
  };
  const auto start = Clock::now();
  while (!list && MsSince(start) < kWaitMs) {
    Bytes block;
    if (!s.RecvAvail(block, 1 << 20)) return std::nullopt;
    if (!block.empty()) reader.Feed(block, h);
    if (!list) Nap();
  }
  return list;
}

std::optional<std::vector<Entry>> RequestList(TSocket& s) {
  if (!Send(s, ListRequest())) return std::nullopt;
  return ReadList(s);
}

class ListServer : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[] = "/tmp/bg-listserver-test-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    log_ = path;

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, path, O_WRONLY | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    const char* argv[] = {BG_LISTSERVER_PATH, "--port", "0", "--bind", "127.0.0.1", nullptr};
    const int rc = posix_spawn(&pid_, BG_LISTSERVER_PATH, &fa, &attr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    ASSERT_EQ(rc, 0) << "cannot start " << BG_LISTSERVER_PATH;

    const std::regex listening("listening on port ([0-9]+)");
    const auto start = Clock::now();
    while (port_ == 0 && MsSince(start) < kWaitMs) {
      std::smatch m;
      const std::string text = Log();
      if (std::regex_search(text, m, listening)) port_ = uint16_t(std::stoi(m[1].str()));
      else Nap();
    }
    ASSERT_NE(port_, 0) << "the server did not start:\n" << Log();
  }

  void TearDown() override {
    if (pid_ > 0) {
      const int status = Stop(SIGTERM);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << Log();
    }
    if (!log_.empty()) unlink(log_.c_str());
  }

  // Sends the signal and waits (bounded) for the exit; kills it if it hangs.
  int Stop(int sig) {
    kill(pid_, sig);
    int status = -1;
    const auto start = Clock::now();
    while (MsSince(start) < kWaitMs) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      Nap();
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    ADD_FAILURE() << "the server did not stop on signal " << sig;
    return status;
  }

  bool Alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  std::string Log() const {
    std::ifstream in(log_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  TSocket Connect() {
    TSocket s;
    EXPECT_TRUE(s.Connect(kLoopback, port_, 2000));
    return s;
  }

  // Asks again until the list satisfies `ok`, or the time is up.
  std::vector<Entry> ListUntil(const std::function<bool(const std::vector<Entry>&)>& ok) {
    TSocket s = Connect();
    std::vector<Entry> last;
    const auto start = Clock::now();
    while (MsSince(start) < kWaitMs) {
      auto list = RequestList(s);
      if (!list) break;
      last = *list;
      if (ok(last)) break;
      Nap();
    }
    return last;
  }

  static std::function<bool(const std::vector<Entry>&)> Size(size_t n) {
    return [n](const std::vector<Entry>& l) { return l.size() == n; };
  }

  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string log_;
};

TEST_F(ListServer, AnnouncedGameIsListedWithAddressPortAndName) {
  TSocket host = Connect();
  ASSERT_TRUE(Send(host, Announce("\xC4\x8A game \xC3\xA9", 4321)));
  const std::vector<Entry> list = ListUntil(Size(1));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].address, "127.0.0.1");
  EXPECT_EQ(list[0].port, 4321);
  EXPECT_EQ(list[0].name, "? game \xC3\xA9") << "the name travels as Latin-1";
  EXPECT_LE(list[0].age, 5);
  EXPECT_NE(Log().find("announced"), std::string::npos);
}

TEST_F(ListServer, IntroductionAndRequestInOneSendAreAnswered) {
  TSocket host = Connect();
  ASSERT_TRUE(Send(host, Announce("one", 5000)));
  ASSERT_EQ(ListUntil(Size(1)).size(), 1u);

  TSocket player = Connect();
  MessageWriter both = Introduce();
  both.MNew(101);
  ASSERT_TRUE(Send(player, both));
  const auto list = ReadList(player);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 1u);
  EXPECT_EQ((*list)[0].name, "one");
}

TEST_F(ListServer, EmptyListAndUnhandledIdsAreSkipped) {
  TSocket player = Connect();
  MessageWriter w;
  w.MNew(7);  // not a list-server message: the scan resumes after its id
  w.MNew(101);
  ASSERT_TRUE(Send(player, w));
  const auto list = ReadList(player);
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->empty());
}

TEST_F(ListServer, NewAnnouncementReplacesTheOld) {
  TSocket host = Connect();
  ASSERT_TRUE(Send(host, Announce("old", 1000)));
  ASSERT_TRUE(Send(host, Announce("new", 2000)));
  const std::vector<Entry> list =
      ListUntil([](const std::vector<Entry>& l) { return l.size() == 1 && l[0].name == "new"; });
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].port, 2000);
}

TEST_F(ListServer, OneGamePerConnectionAndClosingRemovesIt) {
  TSocket a = Connect();
  TSocket b = Connect();
  ASSERT_TRUE(Send(a, Announce("a", 1001)));
  ASSERT_TRUE(Send(b, Announce("b", 1002)));
  ASSERT_EQ(ListUntil(Size(2)).size(), 2u);
  a.Close();
  const std::vector<Entry> list = ListUntil(Size(1));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "b");
  b.Close();
  EXPECT_TRUE(ListUntil(Size(0)).empty());
}

TEST_F(ListServer, InvalidPortsAreNotListed) {
  TSocket a = Connect();
  ASSERT_TRUE(Send(a, Announce("zero", 0)));
  ASSERT_TRUE(Send(a, Announce("huge", 70000)));
  ASSERT_TRUE(Send(a, Announce("negative", -5)));
  TSocket b = Connect();
  ASSERT_TRUE(Send(b, Announce("good", 65535)));
  const std::vector<Entry> list = ListUntil(Size(1));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "good");
}

TEST_F(ListServer, GarbageAndGiantLinesDoNotKillTheServer) {
  // Garbage on one connection is skipped by the marker scan; a frame after
  // it, 8-byte aligned, is still answered.
  TSocket noisy = Connect();
  std::mt19937 rng(12345);
  Bytes junk(64 * 1024);
  for (auto& b : junk) b = uint8_t(rng());
  ASSERT_TRUE(noisy.Send(junk));
  const auto afterJunk = RequestList(noisy);
  ASSERT_TRUE(afterJunk.has_value());

  // A name line that never ends is hostile: that connection is dropped.
  TSocket hostile = Connect();
  MessageWriter w;
  w.MNew(100);
  w.MByte(1);
  ASSERT_TRUE(Send(hostile, w));
  ASSERT_TRUE(hostile.Send(Bytes(100000, 'x')));
  bool dropped = false;
  const auto start = Clock::now();
  while (!dropped && MsSince(start) < kWaitMs) {
    Bytes sink;
    dropped = !hostile.RecvAvail(sink, 1 << 16) || !hostile.Connected();
    if (!dropped) Nap();
  }
  EXPECT_TRUE(dropped);

  // A long name that a reader still takes is listed, cut to a player's name cap.
  TSocket longName = Connect();
  ASSERT_TRUE(Send(longName, Announce(std::string(1000, 'n'), 1234)));

  EXPECT_TRUE(Alive());
  TSocket host = Connect();
  ASSERT_TRUE(Send(host, Announce("still here", 3000)));
  const std::vector<Entry> list = ListUntil(Size(2));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, std::string(kMaxNameChars, 'n'));
  EXPECT_EQ(list[1].name, "still here");
  EXPECT_NE(Log().find("protocol error"), std::string::npos);
}

TEST_F(ListServer, ConnectionsFromOneAddressAreCapped) {
  std::vector<TSocket> socks(40);
  for (auto& s : socks) ASSERT_TRUE(s.Connect(kLoopback, port_, 2000));
  // The server closes the ones past its cap; the rest stay open.
  size_t closed = 0;
  const auto start = Clock::now();
  while (MsSince(start) < 1500) {
    closed = 0;
    for (auto& s : socks) {
      Bytes sink;
      if (!s.IsOpen() || !s.RecvAvail(sink, 64) || !s.Connected()) ++closed;
    }
    if (closed >= 8) break;
    Nap();
  }
  EXPECT_EQ(closed, 8u);
  socks.clear();
  EXPECT_TRUE(ListUntil(Size(0)).empty());
  EXPECT_TRUE(Alive());
  EXPECT_NE(Log().find("too many connections"), std::string::npos);
}

TEST_F(ListServer, InterruptStopsCleanly) {
  TSocket host = Connect();
  ASSERT_TRUE(Send(host, Announce("g", 1000)));
  ASSERT_EQ(ListUntil(Size(1)).size(), 1u);
  const int status = Stop(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(Log().find("stopped"), std::string::npos);
}

TEST(ListServerCommandLine, BadArgumentsAreRefused) {
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"--port", "x"}, {"--port", "70000"}, {"--port"}, {"--bind", "nowhere"}, {"--what"}}) {
    std::vector<const char*> argv = {BG_LISTSERVER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, BG_LISTSERVER_PATH, &fa, nullptr, const_cast<char**>(argv.data()), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    int status = -1;
    const auto start = Clock::now();
    while (waitpid(pid, &status, WNOHANG) != pid) {
      if (MsSince(start) > kWaitMs) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "still running with " << args[0];
      }
      Nap();
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0];
  }
}

}  // namespace
}  // namespace bg
