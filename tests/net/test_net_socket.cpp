// Non-blocking sockets over loopback; every wait is for a condition, with a deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/socket.h"

namespace bg {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kLoopback = 0x7F000001;

bool Within(int ms, const std::function<bool()>& cond) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

Bytes RecvWithin(TSocket& s, size_t want, int ms = 3000) {
  Bytes got;
  Within(ms, [&] { return !s.RecvAvail(got, want - got.size()) || got.size() >= want; });
  return got;
}

struct Pair {
  TSocket listener, client, server;
  Pair() {
    EXPECT_TRUE(listener.CreateTCP() && listener.Bind(0, kLoopback) && listener.Listen(8));
    EXPECT_TRUE(client.Connect(kLoopback, listener.LocalPort(), 2000));
    std::optional<TSocket> s;
    EXPECT_TRUE(Within(3000, [&] { return (s = listener.Accept()).has_value(); }));
    if (s) server = std::move(*s);
  }
};

// Connecting, sending and receiving are exercised by every protocol and multi-process test.
TEST(Socket, LookupsAndAddressTexts) {
  EXPECT_EQ(HostIp("localhost"), kLoopback);
  EXPECT_EQ(HostIp("no.such.host.invalid"), 0u);
  EXPECT_EQ(HostIp(""), 0u);
  EXPECT_TRUE(Resolve("no.such.host.invalid").empty() && Resolve("").empty());
  EXPECT_EQ(IpText(0xC0A80A01), "192.168.10.1");
  // Address text as a list row or the Connect box gives it, as shown, and the row's tip.
  for (const auto& [text, shown, tip] : {std::tuple{"10.0.0.1", "10.0.0.1", "10.0.0.1:8201"},
                                         {"2001:db8::5", "2001:db8::5", "[2001:db8::5]:8201"},
                                         {"[::1]", "::1", "[::1]:8201"}}) {
    const std::vector<SockAddr> found = Resolve(text);
    ASSERT_EQ(found.size(), 1u) << text;
    EXPECT_EQ(found[0].Text(), shown);
    EXPECT_EQ(HostPortText(text, 8201), tip);
  }
}

TEST(Socket, PeerCloseIsReportedOnlyAfterTheLastBytesAreRead) {
  Pair p;
  const Bytes last = {9, 9, 9};
  ASSERT_TRUE(p.client.Send(last));
  p.client.Close();
  p.client.Close();  // idempotent
  EXPECT_FALSE(p.client.Connected());
  ASSERT_TRUE(Within(3000, [&] { return p.server.ReadAvail() >= 3; }));
  EXPECT_TRUE(p.server.Connected());
  EXPECT_EQ(RecvWithin(p.server, 3), last);
  EXPECT_TRUE(Within(3000, [&] { return !p.server.Connected(); }));
  uint8_t buf[4];
  EXPECT_EQ(p.server.Recv(buf), -1);
  EXPECT_FALSE(p.server.Send(last));
  Pair q;
  q.client.Close();
  std::ptrdiff_t n = 0;
  EXPECT_TRUE(Within(3000, [&] { return (n = q.server.Recv(buf)) != 0; }));
  EXPECT_EQ(n, -1);
  EXPECT_FALSE(q.server.IsOpen());
}

TEST(Socket, RefusedConnectionsAndClosedSocketsFailQuietly) {
  TSocket deaf;  // bound, never listening
  ASSERT_TRUE(deaf.Bind(0, kLoopback));
  TSocket c;
  EXPECT_FALSE(c.Connect(kLoopback, deaf.LocalPort(), 3000));
  EXPECT_FALSE(c.IsOpen());
  EXPECT_FALSE(c.Connect(0, 8201, 3000));
  EXPECT_FALSE(c.Connect(kLoopback, 0, 3000));
  TSocket listening;
  ASSERT_TRUE(listening.CreateTCP() && listening.Bind(0, kLoopback) && listening.Listen(8));
  TSocket second;
  EXPECT_FALSE(second.Bind(listening.LocalPort(), kLoopback) && second.Listen(8));
  TSocket s;
  uint8_t buf[4];
  EXPECT_EQ(s.Recv(buf), -1);
  EXPECT_FALSE(s.Send(Bytes{1}) || s.Flush() || s.Connected() || s.Listen(1) || s.SetTCPNoDelay());
  EXPECT_EQ(s.ReadAvail(), 0u);
  EXPECT_FALSE(s.Accept().has_value());
  EXPECT_EQ(s.LocalPort(), 0);
}

TEST(Socket, ABatchArrivesWholeAndOnlyWhatFollowsItIsCapped) {
  // Far more than the kernel buffers on loopback, so most of it waits in the queue.
  Bytes big(32u << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 + (i >> 12));
  const Bytes small(1000, 0x33);
  for (bool reads : {true, false}) {
    SCOPED_TRACE(reads ? "peer reads" : "peer never reads");
    Pair p;
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
      EXPECT_FALSE(p.client.Connected() || p.client.IsOpen()) << "a broken socket counts as lost";
      continue;
    }
    Bytes got;
    EXPECT_TRUE(Within(10000, [&] {
      return !p.client.Flush() || !p.server.RecvAvail(got, want.size() - got.size()) || got.size() == want.size();
    }));
    EXPECT_EQ(p.client.Queued(), 0u);
    EXPECT_FALSE(p.client.Broken());
    EXPECT_TRUE(got == want);
  }
}

}  // namespace
}  // namespace bg
