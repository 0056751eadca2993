// The load of one list server relaying 100 games of 8 players, every player
// clicking 10 times a second. The hosts and players are simulated here, one
// epoll loop for all, each from a loopback address of its own (so that the
// per-source limits see them as the separate machines they stand for): a host
// relays every click it gets to its 8 players once per 70 Hz tick, as the
// game's host does. Measured: the list server's CPU time (from /proc) over
// the run as a share of one core, per chunk of bytes it passes on, and its
// resident memory at the end. A loaded machine may not reach the full rate
// here (ticks_per_s below 70): the cost per chunk still holds.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/message.h"
#include "tools/headless/instance.h"

namespace {

using namespace bg;
using Clock = std::chrono::steady_clock;
constexpr int kPlayersPerGame = 8;
constexpr size_t kClickIn = 15, kClickOut = 16;  // click frames: player -> host, host -> player

uint32_t Loopback(int a, int b, int c) { return (127u << 24) | (uint32_t(a) << 16) | (uint32_t(b) << 8) | uint32_t(c); }

int ConnectFrom(uint32_t src, uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(src);
  sockaddr_in d{};
  d.sin_family = AF_INET;
  d.sin_addr.s_addr = htonl(Loopback(0, 0, 1));
  d.sin_port = htons(port);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&d), sizeof d) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

long long gShort = 0;  // bytes a full socket did not take during the run

void SendAll(int fd, std::span<const uint8_t> b, int flags = 0) {
  while (!b.empty()) {
    const ssize_t n = ::send(fd, b.data(), b.size(), MSG_NOSIGNAL | flags);
    if (n <= 0) {
      gShort += (long long)b.size();
      return;
    }
    b = b.subspan(size_t(n));
  }
}

// Reads frames from a blocking socket until `done` says so or 5 s pass.
void ReadFrames(int fd, FrameReader& reader, const FrameHandler& h, const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::seconds(5);
  uint8_t buf[65536];
  while (!done() && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    reader.Feed(std::span<const uint8_t>(buf, size_t(n)), h);
  }
}

double CpuSeconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), {});
  std::istringstream in(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long ut = 0, st = 0;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) ut = std::stoull(field);
    if (i == 15) st = std::stoull(field);
  }
  return double(ut + st) / double(sysconf(_SC_CLK_TCK));
}

long RssKb(pid_t pid) {
  const std::string s = multi::ReadText("/proc/" + std::to_string(pid) + "/status");
  const size_t at = s.find("VmRSS:");
  return at == std::string::npos ? -1 : std::stol(s.substr(at + 6));
}

struct End {
  int fd = -1, game = 0;
  bool host = false;
  size_t pending = 0;  // bytes of clicks not yet counted
};

void BM_RelayLoad(benchmark::State& state) {
  signal(SIGPIPE, SIG_IGN);
  const int games = int(state.range(0)), seconds = int(state.range(1));
  char tmpl[] = "/tmp/bg-relayload-XXXXXX";
  if (!mkdtemp(tmpl)) return state.SkipWithError("no temporary directory");
  multi::ListServer server(tmpl, {"--bind", "127.0.0.1", "--relay-ports", "41000-41999"});
  if (server.Port() == 0) return state.SkipWithError("the list server did not start");
  const pid_t pid = server.Proc().Pid();
  const uint16_t listPort = uint16_t(server.Port());

  // Hosts announce a port where nothing listens: each is relayed.
  std::vector<int> hostList(size_t(games), -1);
  for (int g = 0; g < games; ++g) {
    hostList[size_t(g)] = ConnectFrom(Loopback(2, 0, g + 1), listPort);
    MessageWriter w;
    w.MNew(kMsgHello);
    w.MByte(kKindAnnounce);
    w.MLine("game" + std::to_string(g));
    w.MInt(1);
    w.MNew(kMsgRelayHello);
    w.MByte(kRelayVersion);
    w.MByte(0);
    SendAll(hostList[size_t(g)], w.Bytes());
  }
  std::map<std::string, int> relayPort;
  for (int attempt = 0; attempt < 50 && int(relayPort.size()) < games; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int fd = ConnectFrom(Loopback(3, 0, 1), listPort);
    MessageWriter w;
    w.MNew(kMsgListRequest);
    SendAll(fd, w.Bytes());
    FrameReader reader(1 << 20);
    bool got = false;
    ReadFrames(fd, reader, [&](uint16_t id, FieldReader& r) {
      if (id != kMsgList) return Parse::Unknown;
      relayPort.clear();
      for (int n = r.ReadShort(), i = 0; i < n && r.Ok(); ++i) {
        r.ReadLine();
        const int port = r.ReadInt();
        r.ReadShort();
        relayPort[r.ReadLine()] = port;
      }
      got = r.Ok();
      return Parse::Done;
    }, [&] { return got; });
    ::close(fd);
  }
  if (int(relayPort.size()) < games) return state.SkipWithError("not every game was listed");

  // Players connect to the relay port; their host answers each call.
  std::vector<End> ends;
  for (int g = 0; g < games; ++g) {
    for (int p = 0; p < kPlayersPerGame; ++p) {
      const int n = g * kPlayersPerGame + p;
      ends.push_back({ConnectFrom(Loopback(1, n / 250, n % 250 + 1), uint16_t(relayPort["game" + std::to_string(g)])), g, false});
    }
    FrameReader reader(1 << 20);
    std::vector<std::vector<uint8_t>> tokens;
    ReadFrames(hostList[size_t(g)], reader, [&](uint16_t id, FieldReader& r) {
      if (id != kMsgRelayCall) return id == kMsgRelayWelcome ? (r.ReadByte(), Parse::Done) : Parse::Unknown;
      tokens.push_back(r.ReadBytes(kRelayTokenBytes));
      r.ReadInt();
      return Parse::Done;
    }, [&] { return tokens.size() >= size_t(kPlayersPerGame); });
    for (const auto& t : tokens) {
      const int fd = ConnectFrom(Loopback(2, 0, g + 1), listPort);
      MessageWriter w;
      w.MNew(kMsgRelayAnswer);
      w.MBytes(t);
      SendAll(fd, w.Bytes());
      ends.push_back({fd, g, true});
    }
  }
  const size_t relays = size_t(std::count_if(ends.begin(), ends.end(), [](const End& e) { return e.host && e.fd >= 0; }));
  if (relays < size_t(games * kPlayersPerGame)) return state.SkipWithError("not every player was relayed");

  const int ep = ::epoll_create1(EPOLL_CLOEXEC);
  std::vector<std::vector<int>> hostEnds(static_cast<size_t>(games));
  for (size_t i = 0; i < ends.size(); ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, ends[i].fd, &ev);
    if (ends[i].host) hostEnds[size_t(ends[i].game)].push_back(ends[i].fd);
  }
  MessageWriter click;
  click.MNew(50);
  click.MInt(7);
  click.MByte(1);
  std::vector<size_t> clicksAtHost(size_t(games), 0);
  const std::vector<uint8_t> relayed(kClickOut * 64, 0);
  long long sent = 0, delivered = 0, ticks = 0, chunks = 0;  // chunks: sends the relay has to pass on
  const auto tick = std::chrono::microseconds(1000000 / 70);
  const auto start = Clock::now(), stop = start + std::chrono::seconds(seconds);
  auto next = start;
  double cpu0 = 0;
  bool measuring = false;
  auto measuredFrom = start;
  uint8_t buf[65536];
  for (auto _ : state) {
    for (long t = 0; Clock::now() < stop; ++t, ++ticks) {
      if (!measuring && Clock::now() - start > std::chrono::seconds(1)) {
        measuring = true;
        cpu0 = CpuSeconds(pid);
        measuredFrom = Clock::now();
        sent = delivered = ticks = chunks = gShort = 0;
      }
      // Each player clicks on every 7th tick (10 a second), spread over the ticks.
      for (size_t i = 0; i < ends.size(); ++i)
        if (!ends[i].host && long(i) % 7 == t % 7) SendAll(ends[i].fd, click.Bytes(), MSG_DONTWAIT), ++sent, ++chunks;
      // Each host relays what it got to all its players, one send each.
      for (int g = 0; g < games; ++g) {
        const size_t n = std::min<size_t>(clicksAtHost[size_t(g)], 64);
        clicksAtHost[size_t(g)] = 0;
        if (n > 0)
          for (int fd : hostEnds[size_t(g)]) SendAll(fd, std::span(relayed).first(n * kClickOut), MSG_DONTWAIT), ++chunks;
      }
      next += tick;
      for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        epoll_event evs[256];
        const int n = ::epoll_wait(ep, evs, 256, int(std::max<long long>(0, left)));
        for (int k = 0; k < n; ++k) {
          End& e = ends[evs[k].data.u64];
          const ssize_t got = ::recv(e.fd, buf, sizeof buf, MSG_DONTWAIT);
          if (got <= 0) continue;
          e.pending += size_t(got);
          const size_t size = e.host ? kClickIn : kClickOut;
          if (e.host) clicksAtHost[size_t(e.game)] += e.pending / size;
          else delivered += (long long)(e.pending / size);
          e.pending %= size;
        }
        if (left <= 0) break;
      }
    }
  }
  const double wall = std::chrono::duration<double>(Clock::now() - measuredFrom).count();
  state.counters["games"] = games;
  state.counters["ticks_per_s"] = double(ticks) / wall;
  state.counters["unsent_bytes"] = double(gShort);
  state.counters["players"] = games * kPlayersPerGame;
  state.counters["clicks_per_s"] = double(sent) / wall;
  state.counters["deliveries_per_s"] = double(delivered) / wall;
  const double cpu = CpuSeconds(pid) - cpu0;
  state.counters["server_cpu_pct"] = 100.0 * cpu / wall;
  // The relay's cost is per chunk passed on: at full rate a host sends each player one chunk per tick.
  state.counters["chunks_per_s"] = double(chunks) / wall;
  state.counters["server_us_per_chunk"] = chunks > 0 ? 1e6 * cpu / double(chunks) : 0;
  state.counters["server_rss_kb"] = double(RssKb(pid));
  for (const End& e : ends) ::close(e.fd);
  for (int fd : hostList) ::close(fd);
  ::close(ep);
  std::string rm = std::string("rm -rf ") + tmpl;
  std::system(rm.c_str());
}
BENCHMARK(BM_RelayLoad)->Args({100, 10})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
