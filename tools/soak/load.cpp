#include "tools/soak/load.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "net/message.h"
#include "net/message_table.h"
#include "net/protocol.h"

namespace bg::soak {

namespace {

using Clock = std::chrono::steady_clock;

// A non-blocking connection to the host on 127.0.0.1, or -1. rcvBuf > 0 is set
// before connecting, so the window the host sees is small from the start.
int ConnectFd(int port, int rcvBuf, int timeoutMs) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (rcvBuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvBuf, sizeof rcvBuf);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  pollfd p{fd, POLLOUT, 0};
  int err = 0;
  socklen_t len = sizeof err;
  if (::poll(&p, 1, timeoutMs) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whole small messages only: a fresh or drained socket takes them at once.
bool SendBytes(int fd, std::span<const uint8_t> b) {
  const ssize_t n = ::send(fd, b.data(), b.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  return n == ssize_t(b.size());
}

// Bytes waiting to leave one connection: a frame cut by a full socket buffer
// is finished later, never dropped, so a well-behaved stream stays framed.
struct Outbox {
  std::vector<uint8_t> bytes;
  // False once the connection has failed.
  bool Flush(int fd) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        bytes.erase(bytes.begin(), bytes.begin() + n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      }
    }
    return true;
  }
};

// Reads everything waiting; false once the host has closed the connection.
bool Drain(int fd, long& bytes) {
  uint8_t buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      bytes += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

std::vector<uint8_t> JoinBytes(const std::string& name, std::mt19937& rng) {
  MessageWriter w;
  WriteMessage(w, JoinMsg{name, {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())}});
  return {w.Bytes().begin(), w.Bytes().end()};
}

// A peer that joins; the host takes one connection per tick, so a refused or
// slow connect is tried again a few times.
int JoinPeer(const LoadOptions& o, const std::string& name, int rcvBuf, std::mt19937& rng) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = ConnectFd(o.port, rcvBuf, 3000);
    if (fd >= 0) {
      if (SendBytes(fd, JoinBytes(name, rng))) return fd;
      ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return -1;
}

void Garbage(const LoadOptions& o, Clock::time_point end, LoadStats& s) {
  std::mt19937 rng(o.seed * 7919u + 17u);
  // Mostly noise; now and then a marker with an id (some real, most not) and a
  // random tail, so the frame parser meets half-valid frames too.
  static constexpr uint16_t kIds[] = {1, 2, 3, 4, 5, 7, 9, 41, 45, 50};
  const size_t perSlice = std::max<size_t>(1, size_t(o.garbageKiBps * 1024.0 / 100.0));
  std::vector<uint8_t> chunk;
  int fd = -1;
  long ignored = 0;
  for (auto next = Clock::now(); Clock::now() < end; next += std::chrono::milliseconds(10)) {
    std::this_thread::sleep_until(next);
    if (fd < 0) {
      fd = ConnectFd(o.port, 0, 1000);
      if (fd < 0) continue;
      ++s.garbageConnects;
    }
    chunk.resize(perSlice);
    for (uint8_t& b : chunk) b = uint8_t(rng());
    for (size_t at = rng() % 4096; at + 16 < chunk.size(); at += 512 + rng() % 4096) {
      std::copy(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end(), chunk.begin() + long(at));
      const uint16_t id = rng() % 3 ? kIds[rng() % std::size(kIds)] : uint16_t(rng());
      chunk[at + 8] = uint8_t(id);
      chunk[at + 9] = uint8_t(id >> 8);
    }
    const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) s.garbageBytes += n;
    const bool sendFailed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    if (sendFailed || !Drain(fd, ignored)) {
      // The host dropped it (a frame it took as hostile, say): come back, as an attacker would.
      ::close(fd);
      fd = -1;
    }
  }
  if (fd >= 0) ::close(fd);
}

// A player whose every message is relayed to every connection: the cheapest
// way to fill the queues of peers that do not read.
void Spammer(const LoadOptions& o, Clock::time_point end, LoadStats& s) {
  std::mt19937 rng(o.seed * 31u + 5u);
  const int fd = JoinPeer(o, "spammer", 0, rng);
  if (fd < 0) return;
  MessageWriter w;
  if (o.spam == LoadOptions::Spam::Chat) {
    WriteMessage(w, ChatToHost{std::string(kMaxLineBytes - 100, 'z')});
  } else if (o.spam == LoadOptions::Spam::Click) {
    for (int k = 0; k < 4096 / 15; ++k) WriteMessage(w, ClickToHost{int32_t(rng() % uint32_t(o.width * o.height)), 1});
  } else {
    // A batch of colour changes, about 4 KiB, sent as one.
    for (int k = 0; k < 4096 / 13; ++k) WriteMessage(w, ColourToHost{{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())}});
  }
  double owed = 0;
  long ignored = 0;
  Outbox out;
  for (auto next = Clock::now(); Clock::now() < end; next += std::chrono::milliseconds(10)) {
    std::this_thread::sleep_until(next);
    owed += o.spamKiBps * 1024.0 / 100.0;
    // While the host is behind, nothing new is queued: the rate is a ceiling.
    while (owed >= double(w.Size()) && out.bytes.empty()) {
      out.bytes.assign(w.Bytes().begin(), w.Bytes().end());
      s.spamBytes += long(w.Size());
      owed -= double(w.Size());
      if (!out.Flush(fd)) break;
    }
    owed = std::min(owed, double(w.Size()) * 4);
    if (!out.Flush(fd) || !Drain(fd, ignored)) break;
  }
  ::close(fd);
}

// Connections opened and closed at a steady rate, without waiting for one to
// finish before the next (an attacker would not wait either).
void Flood(const LoadOptions& o, Clock::time_point end, LoadStats& s) {
  constexpr size_t kMaxPending = 256;
  constexpr double kGiveUpMs = 1000;
  struct Pending {
    int fd;
    Clock::time_point t0;
  };
  std::vector<Pending> pending;
  const auto step = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / o.floodRate));
  auto next = Clock::now();
  long started = 0;
  while (Clock::now() < end || !pending.empty()) {
    const auto now = Clock::now();
    while (now < end && now >= next && started < o.floodMax && pending.size() < kMaxPending) {
      next += step;
      ++started;
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(uint16_t(o.port));
      if (fd < 0) {
        ++s.floodFailed;
      } else if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        ++s.floodOk;
        ::close(fd);
      } else if (errno == EINPROGRESS) {
        pending.push_back({fd, now});
      } else {
        ++s.floodFailed;
        ::close(fd);
      }
    }
    if (now >= next && pending.size() >= kMaxPending) next = now;  // not made up for later
    std::vector<pollfd> p;
    for (const Pending& q : pending) p.push_back({q.fd, POLLOUT, 0});
    ::poll(p.data(), p.size(), 1);
    for (size_t k = pending.size(); k-- > 0;) {
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - pending[k].t0).count();
      int err = 0;
      socklen_t len = sizeof err;
      const bool doneNow = p[k].revents != 0;
      if (!doneNow && ms < kGiveUpMs) continue;
      const bool ok = doneNow && ::getsockopt(pending[k].fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
      ok ? ++s.floodOk : ++s.floodFailed;
      s.floodMaxConnectMs = std::max(s.floodMaxConnectMs, ms);
      ::close(pending[k].fd);
      pending.erase(pending.begin() + long(k));
    }
  }
}

}  // namespace

LoadStats RunLoad(const LoadOptions& o) {
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
  LoadStats s, garbage, flood, spam;
  std::thread g, f, c;
  if (o.spamKiBps > 0) c = std::thread(Spammer, std::cref(o), end, std::ref(spam));
  if (o.garbageKiBps > 0) g = std::thread(Garbage, std::cref(o), end, std::ref(garbage));
  if (o.floodRate > 0) f = std::thread(Flood, std::cref(o), end, std::ref(flood));

  std::mt19937 rng(o.seed);
  struct Peer {
    int fd = -1;
    Clock::time_point next;
    Outbox out;
  };
  std::vector<Peer> peers(size_t(o.peers));
  std::vector<int> silent;
  // Silent ones first: they are the ones the host should drop, so they see the whole run.
  for (int k = 0; k < o.silent && Clock::now() < end; ++k) {
    const int fd = JoinPeer(o, "silent" + std::to_string(k), o.silentRcvBuf, rng);
    fd >= 0 ? (silent.push_back(fd), ++s.joined) : ++s.joinFailed;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (int k = 0; k < o.peers && Clock::now() < end; ++k) {
    peers[size_t(k)].fd = JoinPeer(o, "raw" + std::to_string(k), 0, rng);
    peers[size_t(k)].fd >= 0 ? ++s.joined : ++s.joinFailed;
    peers[size_t(k)].next = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  const double meanGap = o.clickRate > 0 ? 1.0 / o.clickRate : 1e9;
  std::uniform_real_distribution<double> jitter(0.5, 1.5);
  const int32_t blocks = o.width * o.height;
  while (Clock::now() < end) {
    const auto now = Clock::now();
    for (Peer& p : peers) {
      if (p.fd < 0) continue;
      while (now >= p.next && o.clickRate > 0) {
        MessageWriter w;
        WriteMessage(w, ClickToHost{int32_t(rng() % uint32_t(blocks)), uint8_t(rng() % 10 < 7 ? 1 : 2)});
        p.out.bytes.insert(p.out.bytes.end(), w.Bytes().begin(), w.Bytes().end());
        ++s.clicks;
        p.next += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(meanGap * jitter(rng)));
      }
      if (!p.out.Flush(p.fd) || !Drain(p.fd, s.drained)) {
        ++s.peersLost;
        ::close(p.fd);
        p.fd = -1;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  for (Peer& p : peers)
    if (p.fd >= 0) ::close(p.fd);
  for (int fd : silent) ::close(fd);
  if (g.joinable()) g.join();
  if (f.joinable()) f.join();
  if (c.joinable()) c.join();
  s.spamBytes = spam.spamBytes;
  s.garbageBytes = garbage.garbageBytes;
  s.garbageConnects = garbage.garbageConnects;
  s.floodOk = flood.floodOk;
  s.floodFailed = flood.floodFailed;
  s.floodMaxConnectMs = flood.floodMaxConnectMs;
  return s;
}

std::string ToLine(const LoadStats& s) {
  std::ostringstream out;
  out << "LOAD joined=" << s.joined << " join_failed=" << s.joinFailed << " clicks=" << s.clicks
      << " drained=" << s.drained << " peers_lost=" << s.peersLost << " garbage_bytes=" << s.garbageBytes
      << " garbage_connects=" << s.garbageConnects << " spam_bytes=" << s.spamBytes << " flood_ok=" << s.floodOk << " flood_failed=" << s.floodFailed
      << " flood_max_connect_ms=" << s.floodMaxConnectMs;
  return out.str();
}

bool FromLine(const std::string& line, LoadStats& s) {
  std::istringstream in(line);
  std::string word;
  if (!(in >> word) || word != "LOAD") return false;
  std::map<std::string, double> v;
  while (in >> word) {
    const size_t eq = word.find('=');
    if (eq != std::string::npos) v[word.substr(0, eq)] = std::stod(word.substr(eq + 1));
  }
  s.joined = long(v["joined"]);
  s.joinFailed = long(v["join_failed"]);
  s.clicks = long(v["clicks"]);
  s.drained = long(v["drained"]);
  s.peersLost = long(v["peers_lost"]);
  s.garbageBytes = long(v["garbage_bytes"]);
  s.garbageConnects = long(v["garbage_connects"]);
  s.spamBytes = long(v["spam_bytes"]);
  s.floodOk = long(v["flood_ok"]);
  s.floodFailed = long(v["flood_failed"]);
  s.floodMaxConnectMs = v["flood_max_connect_ms"];
  return true;
}

}  // namespace bg::soak
