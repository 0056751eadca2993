#include "tools/listserver/listserver.h"

#include <poll.h>

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

}  // namespace

void Log(const std::string& line) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
  std::fflush(stderr);
}

bool Server::Start(uint16_t port, uint32_t bindIp) {
  if (!listener_.CreateTCP() || !listener_.Bind(port, bindIp) || !listener_.Listen(64)) {
    Log("cannot listen on " + IpText(bindIp) + ":" + std::to_string(port) + ": " + std::strerror(errno));
    listener_.Close();
    return false;
  }
  Log("listening on port " + std::to_string(listener_.LocalPort()));
  return true;
}

std::string Server::Who(const Conn& c) const {
  return "#" + std::to_string(c.serial) + " " + IpText(c.sock.RemoteIp()) + ":" + std::to_string(c.sock.RemotePort());
}

size_t Server::GameCount() const {
  return size_t(std::count_if(conns_.begin(), conns_.end(), [](const auto& c) { return c->game.has_value(); }));
}

void Server::Run(const volatile std::sig_atomic_t* stop) {
  std::vector<pollfd> fds;
  while (*stop == 0) {
    fds.clear();
    fds.push_back({listener_.Fd(), POLLIN, 0});
    for (const auto& c : conns_) {
      const short want = short(POLLIN | (c->sock.Queued() > 0 ? POLLOUT : 0));
      fds.push_back({c->sock.Fd(), want, 0});
    }
    const int n = ::poll(fds.data(), fds.size(), 1000);
    if (n < 0) {
      if (errno == EINTR) continue;
      Log(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    // Connections accepted below are not in fds yet; only the first ones are.
    const size_t polled = fds.size() - 1;
    for (size_t i = 0; i < polled; ++i) {
      Conn& c = *conns_[i];
      const short ev = fds[i + 1].revents;
      if (ev & (POLLIN | POLLHUP | POLLERR)) ReadFrom(c);
      if (!c.dead && (ev & POLLOUT) && !c.sock.Flush()) Drop(c, "send failed");
      if (!c.dead && (c.sock.Broken() || !c.sock.IsOpen())) Drop(c, "connection lost");
    }
    if (fds[0].revents & POLLIN) AcceptAll();
    std::erase_if(conns_, [](const auto& c) { return c->dead; });
  }
  for (auto& c : conns_) Drop(*c, "server stopping");
  conns_.clear();
  listener_.Close();
  Log("stopped");
}

void Server::AcceptAll() {
  // Bounded per round so a flood of connections cannot hold up the others.
  for (int k = 0; k < 64; ++k) {
    std::optional<TSocket> s = listener_.Accept();
    if (!s) return;
    const uint32_t ip = s->RemoteIp();
    const size_t fromIp = size_t(std::count_if(conns_.begin(), conns_.end(),
                                               [ip](const auto& c) { return !c->dead && c->sock.RemoteIp() == ip; }));
    const std::string from = IpText(ip) + ":" + std::to_string(s->RemotePort());
    if (conns_.size() >= kMaxConnections || fromIp >= kMaxConnectionsPerIp) {
      Log("refused " + from + ": too many connections");
      s->Close();
      continue;
    }
    auto c = std::make_unique<Conn>();
    c->sock = std::move(*s);
    c->sock.SetTCPNoDelay(true);
    c->sock.SetSendCap(kSendCap);
    c->serial = nextSerial_++;
    Log("connection " + Who(*c) + " opened");
    conns_.push_back(std::move(c));
  }
}

void Server::ReadFrom(Conn& c) {
  std::vector<uint8_t> in;
  const bool open = c.sock.RecvAvail(in, kReadPerRound);
  if (!in.empty()) {
    const FrameHandler h = [this, &c](uint16_t id, FieldReader& r) { return Handle(c, id, r); };
    if (!c.reader.Feed(in, h)) {
      Drop(c, "protocol error");
      return;
    }
  }
  if (!open && !c.dead) Drop(c, "peer left");
}

Parse Server::Handle(Conn& c, uint16_t id, FieldReader& r) {
  if (c.dead) return Parse::Done;
  switch (id) {
    case kMsgHello: {
      const uint8_t kind = r.ReadByte();
      if (!r.Ok() || kind != kKindAnnounce) return Parse::Done;
      // Any line a reader takes is accepted; the list shows as much of it as a player's name may hold.
      const std::string name = CleanName(CutText(r.ReadLine(), kMaxNameChars));
      const int32_t port = r.ReadInt();
      if (!r.Ok()) return Parse::Done;
      if (port < 1 || port > 65535) {
        Log("connection " + Who(c) + " announced port " + std::to_string(port) + ": ignored");
        return Parse::Done;
      }
      if (!c.game && GameCount() >= kMaxGames) {
        Log("connection " + Who(c) + " announced " + Quoted(name) + ": ignored, list full");
        return Parse::Done;
      }
      c.game = Game{name, port, std::chrono::steady_clock::now()};
      Log("connection " + Who(c) + " announced " + Quoted(name) + " on port " + std::to_string(port));
      return Parse::Done;
    }
    case kMsgListRequest:
      SendList(c);
      return Parse::Done;
    default:
      return Parse::Unknown;
  }
}

void Server::SendList(Conn& c) {
  MessageWriter w;
  w.MNew(kMsgList);
  w.MShort(uint16_t(GameCount()));
  const auto now = std::chrono::steady_clock::now();
  for (const auto& g : conns_) {
    if (!g->game) continue;
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - g->game->since).count();
    w.MLine(IpText(g->sock.RemoteIp()));
    w.MInt(g->game->port);
    w.MShort(uint16_t(std::clamp<int64_t>(age, 0, 65535)));
    w.MLine(g->game->name);
  }
  if (!c.sock.Send(w.Bytes())) Drop(c, "not reading its replies");
}

size_t Server::FeedDetached(std::span<const uint8_t> bytes) {
  if (conns_.empty()) conns_.push_back(std::make_unique<Conn>());
  Conn& c = *conns_.front();
  const FrameHandler h = [this, &c](uint16_t id, FieldReader& r) { return Handle(c, id, r); };
  if (!c.dead && !c.reader.Feed(bytes, h)) Drop(c, "protocol error");
  return GameCount();
}

void Server::Drop(Conn& c, const std::string& why) {
  if (c.dead) return;
  c.dead = true;
  if (c.game) Log("game " + Quoted(c.game->name) + " of " + Who(c) + " removed");
  c.game.reset();
  Log("connection " + Who(c) + " closed: " + why);
  c.sock.Close();
}

}  // namespace bg::listserver
