#include "tools/listserver/listserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/latin1.h"

namespace bg::listserver {

namespace {

// Names come from strangers: keep control characters out of lists and logs.
std::string CleanName(const std::string& utf8) {
  std::string out = utf8;
  for (char& ch : out)
    if (static_cast<unsigned char>(ch) < 32 || ch == 127) ch = ' ';
  return out;
}

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    if (ch == '"' || ch == '\\') out.push_back('\\');
    out.push_back(ch);
  }
  return out + "\"";
}

void SetPort(sockaddr_storage& sa, uint16_t port) {
  if (sa.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(sa).sin6_port = htons(port);
  else reinterpret_cast<sockaddr_in&>(sa).sin_port = htons(port);
}

uint16_t PortOf(const sockaddr_storage& sa) {
  if (sa.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(sa).sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in&>(sa).sin_port);
}

// An IPv4 address seen through a dual-stack socket: its last 4 bytes, else null.
const uint8_t* MappedV4(const sockaddr_storage& sa) {
  if (sa.ss_family != AF_INET6) return nullptr;
  const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(sa).sin6_addr;
  return IN6_IS_ADDR_V4MAPPED(&a) ? a.s6_addr + 12 : nullptr;
}

void NoDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Listening socket on addr (port set); -1 on failure.
int ListenOn(Server::Addr addr, uint16_t port, int backlog) {
  SetPort(addr.sa, port);
  const int fd = ::socket(addr.sa.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1, zero = 0;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // One socket for both families, so IPv6 hosts and players are served too.
  if (addr.sa.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr.sa), addr.len) != 0 || ::listen(fd, backlog) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<Server::Addr> ParseAddr(const std::string& text) {
  Server::Addr a;
  if (text.empty()) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(a.sa);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_any;
    a.len = sizeof v6;
    return a;
  }
  if (auto& v4 = reinterpret_cast<sockaddr_in&>(a.sa); ::inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    a.len = sizeof v4;
    return a;
  }
  if (auto& v6 = reinterpret_cast<sockaddr_in6&>(a.sa); ::inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    a.len = sizeof v6;
    return a;
  }
  return std::nullopt;
}

// Bytes queued for a socket that could not take them at once.
struct OutQueue {
  std::vector<uint8_t> bytes;
  size_t head = 0;
  size_t Size() const { return bytes.size() - head; }
  // Sends what the socket takes; false on a failed socket.
  bool Flush(int fd) {
    while (Size() > 0 && fd >= 0) {
      const ssize_t n = ::send(fd, bytes.data() + head, Size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        head += size_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      return false;
    }
    if (head == bytes.size()) {
      bytes.clear();
      head = 0;
    } else if (head > 64 * 1024) {
      bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(head));
      head = 0;
    }
    return true;
  }
};

}  // namespace

bool ValidAddress(const std::string& text) { return !text.empty() && ParseAddr(text).has_value(); }

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string SourceKey(const sockaddr_storage& sa) {
  if (const uint8_t* v4 = MappedV4(sa)) return std::string(reinterpret_cast<const char*>(v4), 4);
  if (sa.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(sa).sin_addr;
    return std::string(reinterpret_cast<const char*>(&a), 4);
  }
  // One home or one machine gets a whole /64 from its provider.
  return std::string(reinterpret_cast<const char*>(reinterpret_cast<const sockaddr_in6&>(sa).sin6_addr.s6_addr), 8);
}

std::string AddrText(const sockaddr_storage& sa) {
  char buf[INET6_ADDRSTRLEN] = "";
  if (const uint8_t* v4 = MappedV4(sa)) return ::inet_ntop(AF_INET, v4, buf, sizeof buf) ? buf : "?";
  if (sa.ss_family == AF_INET)
    return ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(sa).sin_addr, buf, sizeof buf) ? buf : "?";
  return ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(sa).sin6_addr, buf, sizeof buf) ? buf : "?";
}

void Log(const std::string& line) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
  std::fflush(stderr);
}

// Everything epoll reports on. Closed ones wait in dead_ until the round's events are handled.
struct Server::Endpoint {
  Server& s;
  int fd = -1;
  bool dead = false;
  explicit Endpoint(Server& server) : s(server) {}
  virtual ~Endpoint() {
    if (fd >= 0) ::close(fd);
  }
  virtual void Event(uint32_t events) = 0;
};

struct Server::Client : Endpoint {
  struct Game {
    std::string name;
    int32_t port = 0;
    std::chrono::steady_clock::time_point since;
    bool listed = false;
    bool reachable = true;  // as far as the probe has told
  };
  Addr peer;
  std::string source;
  uint64_t serial = 0;
  FrameReader reader{kMaxHeldInput};
  OutQueue out;
  std::vector<uint8_t> head;  // the first bytes, until they show whether this answers a call
  bool decided = false;
  int64_t lastInput = 0, lastAnnounce = 0;
  int early = 0;  // announcements ignored since the last one that counted
  std::optional<Game> game;
  bool welcomed = false, relayMessages = false, asksRelay = false;
  Probe* probe = nullptr;
  RelayGame* relay = nullptr;
  using Endpoint::Endpoint;
  void Event(uint32_t events) override;
};

struct Server::Probe : Endpoint {
  Client* host = nullptr;
  int64_t deadline = 0;
  using Endpoint::Endpoint;
  void Event(uint32_t) override {
    int err = 0;
    socklen_t len = sizeof err;
    const bool ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    Client* h = host;
    s.Forget(this);
    h->probe = nullptr;
    s.Probed(*h, ok);
  }
};

// The relay port of one game: players connect here.
struct Server::RelayGame : Endpoint {
  Client* host = nullptr;
  uint16_t port = 0;
  std::string hostSource;
  std::vector<Pipe*> pipes;
  size_t calls = 0;
  using Endpoint::Endpoint;
  void Event(uint32_t) override { s.AcceptRelayed(*this); }
};

// One end of a relayed player's connection; `in` holds what it sent that the other end has not taken yet.
struct Server::Side : Endpoint {
  Pipe* pipe = nullptr;
  OutQueue in;
  bool eof = false;
  uint32_t watching = 0;
  using Endpoint::Endpoint;
  void Event(uint32_t events) override;
};

struct Server::Pipe {
  RelayGame* game = nullptr;
  Side* player = nullptr;
  Side* host = nullptr;  // null while the call waits for its answer
  std::string token, source;
  int64_t deadline = 0, lastByte = 0;
};

void Server::Client::Event(uint32_t events) {
  if (events & EPOLLOUT) {
    if (!out.Flush(fd)) return s.Drop(*this, "send failed");
    s.Watch(this, uint32_t(EPOLLIN) | (out.Size() > 0 ? uint32_t(EPOLLOUT) : 0u));
  }
  if (!(events & (EPOLLIN | EPOLLHUP | EPOLLERR))) return;
  uint8_t buf[kReadPerRound];
  const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) return s.Drop(*this, n == 0 ? "peer left" : "connection lost");
  lastInput = NowMs();
  s.Input(*this, std::span<const uint8_t>(buf, size_t(n)));
}

void Server::Side::Event(uint32_t events) {
  Pipe& p = *pipe;
  Side* other = this == p.player ? p.host : p.player;
  if ((events & EPOLLOUT) && other) s.Pump(*other, false);
  if (!dead && (events & (EPOLLIN | EPOLLHUP | EPOLLERR))) s.Pump(*this, (events & (EPOLLHUP | EPOLLERR)) != 0);
}

Server::Server() = default;

Server::~Server() {
  live_.clear();
  dead_.clear();
  if (listener_ >= 0) ::close(listener_);
  if (epoll_ >= 0) ::close(epoll_);
  if (spare_ >= 0) ::close(spare_);
}

bool Server::Start(const Config& config) {
  config_ = config;
  spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const std::optional<Addr> addr = ParseAddr(config.bind);
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (addr) listener_ = ListenOn(*addr, config.port, 1024);
  if (!addr || epoll_ < 0 || listener_ < 0) {
    Log("cannot listen on " + (config.bind.empty() ? std::string("*") : config.bind) + ":" +
        std::to_string(config.port) + ": " + std::strerror(errno));
    return false;
  }
  family_ = addr->sa.ss_family;
  Addr local;
  local.len = sizeof local.sa;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local.sa), &local.len);
  port_ = PortOf(local.sa);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = nullptr;  // the list port
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &ev);
  if (config.relayHi >= config.relayLo && config.relayLo > 0) {
    portTaken_.assign(size_t(config.relayHi - config.relayLo) + 1, false);
    Log("relay ports " + std::to_string(config.relayLo) + "-" + std::to_string(config.relayHi));
    if (config.publicAddress.empty())
      Log("warning: no --public-address: relayed games are listed at the address each host reached this "
          "server at, which behind a NAT or in a container players cannot reach");
  }
  Log("listening on port " + std::to_string(port_));
  return true;
}

void Server::Watch(Endpoint* e, uint32_t events) {
  epoll_event ev{};
  ev.events = events;
  ev.data.ptr = e;
  if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, e->fd, &ev) != 0) ::epoll_ctl(epoll_, EPOLL_CTL_ADD, e->fd, &ev);
}

void Server::Forget(Endpoint* e) {
  if (e->dead) return;
  e->dead = true;
  if (e->fd >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, e->fd, nullptr);
  auto it = live_.find(e);
  if (it != live_.end()) {
    dead_.push_back(std::move(it->second));
    live_.erase(it);
  }
}

std::string Server::Who(const Client& c) const {
  return "#" + std::to_string(c.serial) + " " + AddrText(c.peer.sa) + ":" + std::to_string(PortOf(c.peer.sa));
}

size_t Server::GameCount() const {
  return size_t(std::count_if(clients_.begin(), clients_.end(), [](const Client* c) { return c->game && c->game->listed; }));
}

void Server::Run(const volatile std::sig_atomic_t* stop) {
  epoll_event evs[256];
  while (*stop == 0) {
    const int n = ::epoll_wait(epoll_, evs, 256, 250);
    if (n < 0 && errno != EINTR) {
      Log(std::string("epoll failed: ") + std::strerror(errno));
      break;
    }
    for (int i = 0; i < n; ++i) {
      auto* e = static_cast<Endpoint*>(evs[i].data.ptr);
      if (!e) AcceptClients();
      else if (!e->dead) e->Event(evs[i].events);
    }
    if (NowMs() - lastSweep_ >= 250) Sweep();
    dead_.clear();
  }
  while (!clients_.empty()) Drop(*clients_.front(), "server stopping");
  dead_.clear();
  Log("stopped");
}

void Server::AcceptClients() {
  // Bounded per round so a flood of connections cannot hold up the others.
  for (int k = 0; k < 64; ++k) {
    Addr peer;
    peer.len = sizeof peer.sa;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer.sa), &peer.len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE) Shed(listener_);
      return;
    }
    const std::string source = SourceKey(peer.sa);
    const std::string from = AddrText(peer.sa) + ":" + std::to_string(PortOf(peer.sa));
    if (clients_.size() >= kMaxConnections || perSource_[source] >= kMaxConnectionsPerIp) {
      // A flood of refusals would flood the log too.
      const int64_t now = NowMs();
      if (auto [it, fresh] = refusedLogged_.try_emplace(source, now); fresh || now - it->second >= kRefusedLogMs) {
        it->second = now;
        Log("refused " + from + ": too many connections (logged once a minute per source)");
      }
      ::close(fd);
      continue;
    }
    auto c = std::make_unique<Client>(*this);
    c->fd = fd;
    c->peer = peer;
    c->source = source;
    c->serial = nextSerial_++;
    c->lastInput = NowMs();
    NoDelay(fd);
    ++perSource_[source];
    clients_.push_back(c.get());
    Log("connection " + Who(*c) + " opened");
    Watch(c.get(), EPOLLIN);
    live_[c.get()] = std::move(c);
  }
}

void Server::Shed(int listener) {
  if (spare_ < 0) return;  // lost to another process meanwhile: nothing to give back
  ::close(spare_);
  const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) ::close(fd);
  spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  Log("out of descriptors: a connection was closed at once");
}

void Server::Input(Client& c, std::span<const uint8_t> bytes) {
  if (!c.decided) {
    // A host answering a call starts with the token frame; anything else is a list client.
    static constexpr size_t kAnswer = kFrameHeaderSize + kRelayTokenBytes;
    c.head.insert(c.head.end(), bytes.begin(), bytes.end());
    uint8_t expect[kFrameHeaderSize];
    std::copy(kFrameMarkerBytes.begin(), kFrameMarkerBytes.end(), expect);
    expect[8] = uint8_t(kMsgRelayAnswer & 255);
    expect[9] = uint8_t(kMsgRelayAnswer >> 8);
    const size_t cmp = std::min(c.head.size(), kFrameHeaderSize);
    if (std::equal(c.head.begin(), c.head.begin() + std::ptrdiff_t(cmp), expect)) {
      if (c.head.size() < kAnswer) return;
      const std::vector<uint8_t> head = std::move(c.head);
      return Answer(c, std::span(head).subspan(kFrameHeaderSize, kRelayTokenBytes), std::span(head).subspan(kAnswer));
    }
    c.decided = true;
    bytes = c.head;
  }
  const FrameHandler h = [this, &c](uint16_t id, FieldReader& r) { return Handle(c, id, r); };
  const std::vector<uint8_t> held = std::move(c.head);
  if (!held.empty()) bytes = held;
  if (!c.reader.Feed(bytes, h)) Drop(c, "protocol error");
}

Parse Server::Handle(Client& c, uint16_t id, FieldReader& r) {
  if (c.dead) return Parse::Done;
  switch (id) {
    case kMsgHello: {
      const uint8_t kind = r.ReadByte();
      if (!r.Ok() || kind != kKindAnnounce) return Parse::Done;
      // Any line a reader takes is accepted; the list shows as much of it as a player's name may hold.
      const std::string name = CleanName(CutText(r.ReadLine(), kMaxNameChars));
      const int32_t port = r.ReadInt();
      if (!r.Ok()) return Parse::Done;
      // Each announcement costs a log line and a probe: a connection gets one a second.
      const int64_t now = NowMs();
      if (now - c.lastAnnounce < kAnnounceGapMs) {
        if (++c.early > kMaxEarlyAnnouncements) Drop(c, "announcing too often");
        return Parse::Done;
      }
      c.lastAnnounce = now;
      c.early = 0;
      if (port < 1 || port > 65535) {
        Log("connection " + Who(c) + " announced port " + std::to_string(port) + ": ignored");
        return Parse::Done;
      }
      if (!c.game && GameCount() >= kMaxGames) {
        Log("connection " + Who(c) + " announced " + Quoted(name) + ": ignored, list full");
        return Parse::Done;
      }
      const bool samePort = c.game && c.game->port == port;
      c.game = Client::Game{name, port, std::chrono::steady_clock::now(), samePort && c.game->listed};
      Log("connection " + Who(c) + " announced " + Quoted(name) + " on port " + std::to_string(port));
      // A welcomed host sends its relay hello right behind: look at the host once that frame has had its chance.
      if (!samePort) Announced(c);
      return Parse::Done;
    }
    case kMsgListRequest:
      SendList(c);
      return Parse::Done;
    case kMsgRelayHello: {
      r.ReadByte();  // any version: ours is the first
      const uint8_t flags = r.ReadByte();
      if (!r.Ok()) return Parse::Done;
      if (!c.welcomed) {
        MessageWriter w;
        Welcome(c, w);
        Send(c, w.Bytes());
      }
      c.relayMessages = true;
      c.asksRelay = (flags & kRelayAsk) != 0;
      // The hello may come after the probe has decided: a game listed directly that needs the relay moves to it.
      if (c.game && c.game->listed && !c.relay && !portTaken_.empty() &&
          (c.asksRelay || !c.game->reachable || config_.relayAll))
        List(c, true);
      return Parse::Done;
    }
    default:
      return Parse::Unknown;
  }
}

void Server::Announced(Client& c) {
  if (c.relay) CloseRelay(*c.relay);
  if (c.probe) Forget(c.probe);
  c.probe = nullptr;
  if (c.fd < 0) return List(c, false);  // detached: nothing to probe
  Addr target = c.peer;
  SetPort(target.sa, uint16_t(c.game->port));
  int fd = ::socket(target.sa.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&target.sa), target.len) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    fd = -1;
  }
  // Even a probe that failed at once is decided later: the relay hello behind the announcement counts too.
  auto p = std::make_unique<Probe>(*this);
  p->fd = fd;
  p->host = &c;
  p->deadline = NowMs() + (fd >= 0 ? kProbeMs : 0);
  c.probe = p.get();
  if (fd >= 0) Watch(p.get(), EPOLLOUT);
  live_[p.get()] = std::move(p);
}

void Server::Probed(Client& c, bool reachable) {
  if (c.dead || !c.game) return;
  c.game->reachable = reachable;
  const bool relay = (!reachable || c.asksRelay || config_.relayAll) && c.relayMessages && !portTaken_.empty();
  if (!reachable) Log("connection " + Who(c) + ": port " + std::to_string(c.game->port) + " not reachable");
  List(c, relay);
}

void Server::List(Client& c, bool relayed) {
  c.game->listed = true;
  if (!relayed || c.relay) return;
  if (relayGamesPerSource_[c.source] >= kMaxRelayGamesPerIp) {
    Log("connection " + Who(c) + ": too many relayed games from its address; listed directly");
    return;
  }
  const std::optional<Addr> bind = ParseAddr(config_.bind);
  for (size_t i = 0; i < portTaken_.size(); ++i) {
    if (portTaken_[i]) continue;
    const uint16_t port = uint16_t(config_.relayLo + i);
    const int fd = ListenOn(*bind, port, 64);
    if (fd < 0) continue;  // somebody else's
    auto g = std::make_unique<RelayGame>(*this);
    g->fd = fd;
    g->host = &c;
    g->port = port;
    g->hostSource = c.source;
    portTaken_[i] = true;
    ++relayGamesPerSource_[c.source];
    c.relay = g.get();
    Watch(g.get(), EPOLLIN);
    live_[g.get()] = std::move(g);
    Log("game " + Quoted(c.game->name) + " of " + Who(c) + " relayed on port " + std::to_string(port));
    return;
  }
  Log("connection " + Who(c) + ": no relay port free; listed directly");
}

void Server::SendList(Client& c) {
  MessageWriter w;
  w.MNew(kMsgList);
  w.MShort(uint16_t(GameCount()));
  const auto now = std::chrono::steady_clock::now();
  for (const Client* g : clients_) {
    if (!g->game || !g->game->listed) continue;
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - g->game->since).count();
    if (g->relay) {
      std::string address = config_.publicAddress;
      if (address.empty()) {
        // The address this host reached us at reaches us from elsewhere too, as far as we can tell.
        Addr local;
        local.len = sizeof local.sa;
        if (::getsockname(g->fd, reinterpret_cast<sockaddr*>(&local.sa), &local.len) == 0) address = AddrText(local.sa);
      }
      w.MLine(address);
      w.MInt(g->relay->port);
    } else {
      w.MLine(AddrText(g->peer.sa));
      w.MInt(g->game->port);
    }
    w.MShort(uint16_t(std::clamp<int64_t>(age, 0, 65535)));
    w.MLine(g->game->name);
  }
  // Unasked, behind the first list: a game that reads only a block's first frame never sees it.
  if (!c.welcomed) Welcome(c, w);
  Send(c, w.Bytes());
}

void Server::Welcome(Client& c, MessageWriter& w) {
  if (portTaken_.empty()) return;  // nothing to offer
  w.MNew(kMsgRelayWelcome);
  w.MByte(kRelayVersion);
  c.welcomed = true;
}

void Server::Send(Client& c, std::span<const uint8_t> bytes) {
  if (c.out.Size() > kSendCap) return Drop(c, "not reading its replies");
  c.out.bytes.insert(c.out.bytes.end(), bytes.begin(), bytes.end());
  if (c.fd < 0) return;
  if (!c.out.Flush(c.fd)) return Drop(c, "send failed");
  if (c.out.Size() > 0) Watch(&c, EPOLLIN | EPOLLOUT);
}

void Server::Drop(Client& c, const std::string& why) {
  if (c.dead) return;
  if (c.relay) CloseRelay(*c.relay);
  if (c.probe) Forget(c.probe);
  c.probe = nullptr;
  if (c.game) Log("game " + Quoted(c.game->name) + " of " + Who(c) + " removed");
  c.game.reset();
  Log("connection " + Who(c) + " closed: " + why);
  if (c.fd >= 0) {
    c.out.Flush(c.fd);
    if (--perSource_[c.source] == 0) perSource_.erase(c.source);
  }
  std::erase(clients_, &c);
  Forget(&c);
}

void Server::AcceptRelayed(RelayGame& g) {
  for (int k = 0; k < 64 && !g.dead; ++k) {
    Addr peer;
    peer.len = sizeof peer.sa;
    const int fd = ::accept4(g.fd, reinterpret_cast<sockaddr*>(&peer.sa), &peer.len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE) Shed(g.fd);
      return;
    }
    const std::string source = SourceKey(peer.sa);
    if (g.pipes.size() >= kMaxRelayedPerGame || g.calls >= kMaxCallsPerGame || relayed_ >= kMaxRelayed ||
        relayedPerSource_[source] >= kMaxRelayedPerIp) {
      ::close(fd);
      continue;
    }
    uint8_t token[kRelayTokenBytes];
    if (::getrandom(token, sizeof token, 0) != ssize_t(sizeof token)) {
      ::close(fd);
      continue;
    }
    NoDelay(fd);
    auto side = std::make_unique<Side>(*this);
    auto* p = new Pipe;
    side->fd = fd;
    side->pipe = p;
    p->game = &g;
    p->player = side.get();
    p->token.assign(reinterpret_cast<const char*>(token), sizeof token);
    p->source = source;
    p->lastByte = NowMs();
    p->deadline = p->lastByte + kCallMs;
    g.pipes.push_back(p);
    ++g.calls;
    ++relayed_;
    ++relayedPerSource_[source];
    calls_[p->token] = p;
    side->watching = EPOLLIN;
    Watch(side.get(), EPOLLIN);
    live_[side.get()] = std::move(side);
    MessageWriter w;
    w.MNew(kMsgRelayCall);
    w.MBytes(std::span<const uint8_t>(token, sizeof token));
    w.MInt(port_);
    Send(*g.host, w.Bytes());
  }
}

void Server::Answer(Client& c, std::span<const uint8_t> token, std::span<const uint8_t> rest) {
  const auto it = calls_.find(std::string(reinterpret_cast<const char*>(token.data()), token.size()));
  if (it == calls_.end()) return Drop(c, "unknown relay token");
  Pipe* p = it->second;
  calls_.erase(it);  // single use, whatever happens next
  --p->game->calls;
  // The connection leaves the list port's books and becomes the pipe's host end.
  auto side = std::make_unique<Side>(*this);
  side->fd = c.fd;
  side->pipe = p;
  side->in.bytes.assign(rest.begin(), rest.end());
  p->host = side.get();
  p->lastByte = NowMs();
  Log("connection " + Who(c) + " relays a player of " + Quoted(p->game->host->game ? p->game->host->game->name : ""));
  c.fd = -1;
  if (--perSource_[c.source] == 0) perSource_.erase(c.source);
  std::erase(clients_, &c);
  c.dead = true;  // its fd now belongs to the side
  if (auto cit = live_.find(&c); cit != live_.end()) {
    dead_.push_back(std::move(cit->second));
    live_.erase(cit);
  }
  Side* host = side.get();
  host->watching = EPOLLIN;
  Watch(host, EPOLLIN);
  live_[host] = std::move(side);
  Pump(*p->player, false);
  if (!host->dead) Pump(*host, false);
}

// Moves what `from` sent towards the other end, reading from it only while its buffer has room.
void Server::Pump(Side& from, bool hangup) {
  Pipe& p = *from.pipe;
  Side* to = &from == p.player ? p.host : p.player;
  bool got = false;
  if (!from.eof && from.in.Size() < kRelayBuffer) {
    uint8_t buf[kRelayBuffer];
    const ssize_t n = ::recv(from.fd, buf, kRelayBuffer - from.in.Size(), MSG_DONTWAIT);
    if (n > 0) {
      from.in.bytes.insert(from.in.bytes.end(), buf, buf + n);
      p.lastByte = NowMs();
      got = true;
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      from.eof = true;
    }
  }
  // A hung-up end that cannot be read now never can be.
  if (hangup && !got) from.eof = true;
  if (to && !from.in.Flush(to->fd)) return Close(p, "send failed");
  // An end that has gone leaves once what it sent is delivered (a kick, say).
  if (from.eof && (from.in.Size() == 0 || !to)) return Close(p, &from == p.player ? "player left" : "host left");
  Rewatch(from);
  if (to) Rewatch(*to);
}

void Server::Rewatch(Side& s) {
  const Pipe& p = *s.pipe;
  const Side* other = &s == p.player ? p.host : p.player;
  const uint32_t want = (!s.eof && s.in.Size() < kRelayBuffer ? uint32_t(EPOLLIN) : 0u) |
                        (other && other->in.Size() > 0 ? uint32_t(EPOLLOUT) : 0u);
  if (want == s.watching) return;
  s.watching = want;
  // Nothing wanted: off the list entirely, or a hung-up end would be reported round after round.
  if (want == 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, s.fd, nullptr);
  else Watch(&s, want);
}

void Server::Close(Pipe& p, const std::string& why) {
  RelayGame& g = *p.game;
  if (!p.host) {
    calls_.erase(p.token);
    --g.calls;
  } else {
    // Last words either way, as far as the sockets take them at once.
    p.player->in.Flush(p.host->fd);
    p.host->in.Flush(p.player->fd);
  }
  if (why != "host gone") Log("relay on port " + std::to_string(g.port) + " closed: " + why);
  for (Side* s : {p.player, p.host})
    if (s) Forget(s);
  std::erase(g.pipes, &p);
  --relayed_;
  if (--relayedPerSource_[p.source] == 0) relayedPerSource_.erase(p.source);
  delete &p;
}

void Server::CloseRelay(RelayGame& g) {
  while (!g.pipes.empty()) Close(*g.pipes.front(), "host gone");
  portTaken_[size_t(g.port - config_.relayLo)] = false;
  if (--relayGamesPerSource_[g.hostSource] == 0) relayGamesPerSource_.erase(g.hostSource);
  if (g.host) g.host->relay = nullptr;
  Log("relay port " + std::to_string(g.port) + " freed");
  Forget(&g);
}

void Server::Sweep() {
  const int64_t now = NowMs();
  lastSweep_ = now;
  std::vector<Client*> quiet;
  std::vector<Pipe*> stale;
  for (Client* c : clients_) {
    if (c->probe && now >= c->probe->deadline) {
      Forget(c->probe);
      c->probe = nullptr;
      Probed(*c, false);
    }
    if (!c->game && now - c->lastInput >= kQuietMs) quiet.push_back(c);
    if (c->relay)
      for (Pipe* p : c->relay->pipes)
        if ((!p->host && now >= p->deadline) || now - p->lastByte >= kRelayIdleMs) stale.push_back(p);
  }
  for (Pipe* p : stale) Close(*p, p->host ? "idle" : "call not answered");
  std::erase_if(refusedLogged_, [now](const auto& e) { return now - e.second >= kRefusedLogMs; });
  for (Client* c : quiet) Drop(*c, "quiet");
}

size_t Server::FeedDetached(std::span<const uint8_t> bytes) {
  if (!detached_) {
    detached_ = std::make_unique<Client>(*this);
    clients_.push_back(detached_.get());
  }
  Client& c = *detached_;
  if (!c.dead) Input(c, bytes);
  return GameCount();
}

void Server::ResetDetached() {
  std::erase(clients_, detached_.get());
  live_.clear();
  dead_.clear();
  calls_.clear();
  detached_.reset();
}

}  // namespace bg::listserver
