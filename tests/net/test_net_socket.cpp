#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/message.h"
#include "platform/socket.h"

namespace bg {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kLoopback = 0x7F000001;

long MsSince(Clock::time_point t) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

void Nap() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

TSocket Listener() {
  TSocket l;
  EXPECT_TRUE(l.CreateTCP());
  EXPECT_TRUE(l.Bind(0, kLoopback));
  EXPECT_TRUE(l.Listen(8));
  EXPECT_NE(l.LocalPort(), 0);
  return l;
}

std::optional<TSocket> AcceptWithin(TSocket& listener, int ms) {
  const auto start = Clock::now();
  while (MsSince(start) < ms) {
    if (auto s = listener.Accept()) return s;
    Nap();
  }
  return std::nullopt;
}

// Reads until `want` bytes have come or the time is up.
Bytes RecvWithin(TSocket& s, size_t want, int ms) {
  Bytes got;
  const auto start = Clock::now();
  while (got.size() < want && MsSince(start) < ms) {
    if (!s.RecvAvail(got, want - got.size())) break;
    if (got.size() < want) Nap();
  }
  return got;
}

struct Pair {
  TSocket listener, client, server;
};

Pair MakePair() {
  Pair p;
  p.listener = Listener();
  EXPECT_TRUE(p.client.Connect(kLoopback, p.listener.LocalPort(), 2000));
  auto s = AcceptWithin(p.listener, 2000);
  EXPECT_TRUE(s.has_value());
  if (s) p.server = std::move(*s);
  return p;
}

TEST(Socket, ConnectAcceptSendRecv) {
  Pair p = MakePair();
  ASSERT_TRUE(p.server.IsOpen());
  EXPECT_EQ(p.client.RemoteIp(), kLoopback);
  EXPECT_EQ(p.client.RemotePort(), p.listener.LocalPort());
  EXPECT_EQ(p.server.RemoteIp(), kLoopback);
  EXPECT_EQ(p.server.RemotePort(), p.client.LocalPort());
  EXPECT_TRUE(p.client.SetTCPNoDelay());

  uint8_t none[16];
  EXPECT_EQ(p.server.Recv(none), 0) << "nothing waiting is not an error";

  MessageWriter w;
  w.MNew(42);
  w.MLine("hello \xC3\xA9");
  w.MInt(-7);
  w.MNew(43);
  ASSERT_TRUE(p.client.Send(w.Bytes()));
  EXPECT_EQ(p.client.Queued(), 0u);
  const Bytes got = RecvWithin(p.server, w.Size(), 2000);
  ASSERT_EQ(got, Bytes(w.Bytes().begin(), w.Bytes().end()));

  std::vector<std::string> seen;
  FrameReader reader;
  reader.Feed(got, [&](uint16_t id, FieldReader& r) {
    if (id == 42) {
      const std::string line = r.ReadLine();
      const int32_t v = r.ReadInt();
      if (!r.Ok()) return Parse::NeedMore;
      seen.push_back(line + "|" + std::to_string(v));
      return Parse::Done;
    }
    seen.push_back(std::to_string(id));
    return Parse::Done;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"hello \xC3\xA9|-7", "43"}));

  const Bytes back = {1, 2, 3};
  ASSERT_TRUE(p.server.Send(back));
  EXPECT_EQ(RecvWithin(p.client, 3, 2000), back);
}

TEST(Socket, ReadAvailCountsWaitingBytes) {
  Pair p = MakePair();
  const Bytes data(100, 7);
  ASSERT_TRUE(p.client.Send(data));
  const auto start = Clock::now();
  while (p.server.ReadAvail() < 100 && MsSince(start) < 2000) Nap();
  EXPECT_EQ(p.server.ReadAvail(), 100u);
}

TEST(Socket, ConnectedDetectsPeerCloseAfterTheLastBytes) {
  Pair p = MakePair();
  EXPECT_TRUE(p.server.Connected());
  const Bytes last = {9, 9, 9};
  ASSERT_TRUE(p.client.Send(last));
  p.client.Close();
  p.client.Close();  // idempotent
  EXPECT_FALSE(p.client.IsOpen());
  EXPECT_FALSE(p.client.Connected());

  // The last bytes are still readable before the close is reported.
  const auto start = Clock::now();
  while (p.server.ReadAvail() < 3 && MsSince(start) < 2000) Nap();
  EXPECT_TRUE(p.server.Connected());
  EXPECT_EQ(RecvWithin(p.server, 3, 2000), last);

  bool closed = false;
  while (!closed && MsSince(start) < 2000) {
    closed = !p.server.Connected();
    if (!closed) Nap();
  }
  EXPECT_TRUE(closed);
  EXPECT_FALSE(p.server.IsOpen());
  uint8_t buf[4];
  EXPECT_EQ(p.server.Recv(buf), -1);
  EXPECT_FALSE(p.server.Send(last));
}

TEST(Socket, RecvReportsPeerClose) {
  Pair p = MakePair();
  p.client.Close();
  uint8_t buf[4];
  std::ptrdiff_t n = 0;
  const auto start = Clock::now();
  while ((n = p.server.Recv(buf)) == 0 && MsSince(start) < 2000) Nap();
  EXPECT_EQ(n, -1);
  EXPECT_FALSE(p.server.IsOpen());
}

TEST(Socket, ConnectToAClosedPortFailsFast) {
  uint16_t port;
  {
    TSocket probe;  // bound, never listening: nothing will answer on this port
    ASSERT_TRUE(probe.Bind(0, kLoopback));
    port = probe.LocalPort();
    TSocket c;
    const auto start = Clock::now();
    EXPECT_FALSE(c.Connect(kLoopback, port, 3000));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(c.IsOpen());
  }
}

TEST(Socket, AddressZeroIsNeverConnected) {
  TSocket c;
  EXPECT_FALSE(c.Connect(0, 8201, 3000));
  EXPECT_FALSE(c.IsOpen());
  EXPECT_FALSE(c.Connect(kLoopback, 0, 3000));
}

TEST(Socket, PortInUseCannotBeTakenTwice) {
  TSocket a = Listener();
  TSocket b;
  EXPECT_FALSE(b.Bind(a.LocalPort(), kLoopback) && b.Listen(8));
}

TEST(Socket, HostIp) {
  EXPECT_EQ(HostIp("localhost"), kLoopback);
  EXPECT_EQ(HostIp("127.0.0.1"), kLoopback);
  EXPECT_EQ(HostIp("no.such.host.invalid"), 0u);
  EXPECT_EQ(HostIp(""), 0u);
  EXPECT_EQ(HostIpWithin("localhost", 3000), kLoopback);
  // A lookup that hangs is given up at the deadline (were it waited for, this
  // test would hang); its late answer goes nowhere.
  std::promise<void> release;
  const std::shared_future<void> gate = release.get_future().share();
  EXPECT_EQ(HostIpWithin("slow.example", 20, [gate](const std::string&) { gate.wait(); return kLoopback; }), 0u);
  release.set_value();
  EXPECT_EQ(HostIpWithin("fast.example", 3000, [](const std::string&) { return kLoopback; }), kLoopback);
  EXPECT_EQ(IpText(kLoopback), "127.0.0.1");
  EXPECT_EQ(IpText(0xC0A80A01), "192.168.10.1");
}

TEST(Socket, ClosedSocketRefusesEverythingQuietly) {
  TSocket s;
  uint8_t buf[4];
  const Bytes data = {1};
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(s.Recv(buf), -1);
  EXPECT_FALSE(s.Send(data));
  EXPECT_FALSE(s.Flush());
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(s.ReadAvail(), 0u);
  EXPECT_FALSE(s.Accept().has_value());
  EXPECT_FALSE(s.Listen(1));
  EXPECT_FALSE(s.SetTCPNoDelay());
  EXPECT_EQ(s.LocalPort(), 0);
  s.Close();
}

TEST(Socket, PeerThatNeverReadsBreaksTheQueueWithoutBlocking) {
  Pair p = MakePair();
  p.client.SetSendCap(64 * 1024);
  const Bytes chunk(16 * 1024, 0x55);
  const auto start = Clock::now();
  long slowest = 0;
  size_t sent = 0;
  bool ok = true;
  // The kernel buffers a few MiB on loopback; 256 MiB is far past that.
  while (ok && sent < (256u << 20)) {
    const auto t = Clock::now();
    ok = p.client.Send(chunk);
    slowest = std::max(slowest, MsSince(t));
    sent += chunk.size();
  }
  EXPECT_FALSE(ok);
  EXPECT_TRUE(p.client.Broken());
  EXPECT_LT(slowest, 200) << "a send must never wait for the peer";
  EXPECT_LT(MsSince(start), 10000);
  EXPECT_FALSE(p.client.Send(chunk));
  EXPECT_FALSE(p.client.Connected()) << "a broken socket counts as lost";
  EXPECT_FALSE(p.client.IsOpen());
}

TEST(Socket, ABatchArrivesWholeAndOnlyWhatFollowsItIsCapped) {
  // Far more than the kernel buffers on loopback, so most of it waits in the queue.
  Bytes big(32u << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 + (i >> 12));
  const Bytes small(1000, 0x33);
  for (bool reads : {true, false}) {
    SCOPED_TRACE(reads ? "peer reads" : "peer never reads");
    Pair p = MakePair();
    p.client.SetSendCap(64 * 1024);
    ASSERT_TRUE(p.client.SendBatch(big));
    ASSERT_GT(p.client.Queued(), 64u * 1024) << "the kernel took the batch: nothing is tested";
    Bytes want = big;
    for (int i = 0; i < 60; ++i) {
      ASSERT_TRUE(p.client.Send(small)) << "messages after the batch, up to the cap, are fine: " << i;
      want.insert(want.end(), small.begin(), small.end());
    }
    if (!reads) {
      for (int i = 0; i < 100 && p.client.Send(small); ++i) {
      }
      EXPECT_TRUE(p.client.Broken()) << "past the cap beyond the batch, the peer is taken to have stopped reading";
      continue;
    }
    Bytes got;
    const auto start = Clock::now();
    while (got.size() < want.size() && MsSince(start) < 10000) {
      ASSERT_TRUE(p.client.Flush());
      ASSERT_TRUE(p.server.RecvAvail(got, want.size() - got.size()));
      if (got.size() < want.size()) Nap();
    }
    EXPECT_EQ(p.client.Queued(), 0u);
    EXPECT_FALSE(p.client.Broken());
    EXPECT_TRUE(got == want);
  }
}

TEST(Socket, MovedSocketKeepsTheConnection) {
  Pair p = MakePair();
  TSocket moved = std::move(p.client);
  EXPECT_FALSE(p.client.IsOpen());
  const Bytes data = {4, 5};
  ASSERT_TRUE(moved.Send(data));
  EXPECT_EQ(RecvWithin(p.server, 2, 2000), data);
  TSocket assigned;
  assigned = std::move(moved);
  EXPECT_TRUE(assigned.Connected());
}

}  // namespace
}  // namespace bg
