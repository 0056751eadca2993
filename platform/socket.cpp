#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace bg {

namespace {

// The system's form of an address; an IPv4 one is mapped when the socket is IPv6.
socklen_t ToSys(const SockAddr& a, bool v6Socket, sockaddr_storage& out) {
  out = {};
  if (v6Socket) {
    auto& in = reinterpret_cast<sockaddr_in6&>(out);
    in.sin6_family = AF_INET6;
    in.sin6_port = htons(a.port);
    if (a.v6) {
      std::memcpy(&in.sin6_addr, a.bytes.data(), 16);
    } else if (a.Ip() != 0) {
      in.sin6_addr.s6_addr[10] = in.sin6_addr.s6_addr[11] = 0xFF;
      std::memcpy(&in.sin6_addr.s6_addr[12], a.bytes.data(), 4);
    }
    return sizeof in;
  }
  auto& in = reinterpret_cast<sockaddr_in&>(out);
  in.sin_family = AF_INET;
  in.sin_port = htons(a.port);
  std::memcpy(&in.sin_addr, a.bytes.data(), 4);
  return sizeof in;
}

SockAddr FromSys(const sockaddr* sa) {
  SockAddr a;
  if (sa->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    std::memcpy(a.bytes.data(), &in->sin_addr, 4);
    a.port = ntohs(in->sin_port);
  } else if (sa->sa_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(sa);
    a.port = ntohs(in->sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&in->sin6_addr)) {
      std::memcpy(a.bytes.data(), &in->sin6_addr.s6_addr[12], 4);
    } else {
      a.v6 = true;
      std::memcpy(a.bytes.data(), &in->sin6_addr, 16);
    }
  }
  return a;
}

// The text between the brackets of "[::1]", else the text itself.
std::string Unbracket(const std::string& text) {
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') return text.substr(1, text.size() - 2);
  return text;
}

// Send with MSG_NOSIGNAL so a peer that has gone never raises SIGPIPE.
constexpr int kSendFlags = MSG_DONTWAIT | MSG_NOSIGNAL;
// Compacting the queue only past this keeps small sends from moving memory.
constexpr size_t kCompactAfter = 64 * 1024;

}  // namespace

TSocket::~TSocket() { Close(); }

TSocket::TSocket(TSocket&& other) noexcept
    : fd_(other.fd_),
      v6_(other.v6_),
      connecting_(other.connecting_),
      target_(other.target_),
      remote_(other.remote_),
      queue_(std::move(other.queue_)),
      head_(other.head_),
      batchEnd_(other.batchEnd_),
      sendCap_(other.sendCap_),
      broken_(other.broken_) {
  other.fd_ = -1;
  other.Reset();
}

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    v6_ = other.v6_;
    connecting_ = other.connecting_;
    target_ = other.target_;
    remote_ = other.remote_;
    queue_ = std::move(other.queue_);
    head_ = other.head_;
    batchEnd_ = other.batchEnd_;
    sendCap_ = other.sendCap_;
    broken_ = other.broken_;
    other.fd_ = -1;
    other.Reset();
  }
  return *this;
}

void TSocket::Reset() noexcept {
  connecting_ = false;
  remote_ = SockAddr{};
  queue_.clear();
  head_ = 0;
  batchEnd_ = 0;
  broken_ = false;
}

bool TSocket::CreateTCP(bool v6) {
  Close();
  Reset();
  fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  v6_ = v6 && fd_ >= 0;
  return fd_ >= 0;
}

bool TSocket::Bind(uint16_t port, uint32_t ip) {
  if (fd_ < 0 && !CreateTCP()) return false;
  const int one = 1, zero = 0;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Some systems make IPv6 sockets IPv6-only by default.
  if (v6_) ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
  sockaddr_storage a;
  const socklen_t len = ToSys(SockAddr::V4(ip, port), v6_, a);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), len) == 0;
}

bool TSocket::Listen(int backlog) { return fd_ >= 0 && ::listen(fd_, backlog) == 0; }

std::optional<TSocket> TSocket::Accept() {
  if (fd_ < 0) return std::nullopt;
  for (;;) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // A connection reset while it waited is simply gone; try the next one.
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return std::nullopt;
    }
    TSocket s;
    s.fd_ = fd;
    s.v6_ = v6_;
    s.remote_ = FromSys(reinterpret_cast<const sockaddr*>(&a));
    return s;
  }
}

bool TSocket::Connect(uint32_t ip, uint16_t port, int timeoutMs) {
  return Connect(SockAddr::V4(ip, port), timeoutMs);
}

bool TSocket::Connect(const SockAddr& to, int timeoutMs) {
  Progress p = BeginConnect(to);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  while (p == Progress::Pending) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd w{fd_, POLLOUT, 0};
    if (left <= 0 || (::poll(&w, 1, int(left)) < 0 && errno != EINTR)) {
      Close();
      return false;
    }
    p = ConnectProgress();
  }
  return p == Progress::Done;
}

TSocket::Progress TSocket::BeginConnect(const SockAddr& to) {
  // Address 0 would reach this machine, port 0 no service.
  if (to.port == 0 || (!to.v6 && to.Ip() == 0)) return Progress::Failed;
  if ((fd_ < 0 || connecting_ || remote_.port != 0 || v6_ != to.v6) && !CreateTCP(to.v6)) return Progress::Failed;
  sockaddr_storage a;
  const socklen_t len = ToSys(to, v6_, a);
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), len);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINPROGRESS) {
    Close();
    return Progress::Failed;
  }
  connecting_ = true;
  target_ = to;
  return rc == 0 ? ConnectProgress() : Progress::Pending;
}

TSocket::Progress TSocket::ConnectProgress() {
  if (fd_ < 0) return Progress::Failed;
  if (!connecting_) return remote_.port != 0 ? Progress::Done : Progress::Failed;
  pollfd w{fd_, POLLOUT, 0};
  const int n = ::poll(&w, 1, 0);
  if (n == 0 || (n < 0 && errno == EINTR)) return Progress::Pending;
  int err = 0;
  socklen_t len = sizeof err;
  if (n < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
    Close();
    return Progress::Failed;
  }
  connecting_ = false;
  remote_ = target_;
  return Progress::Done;
}

bool TSocket::SetTCPNoDelay(bool on) {
  const int v = on ? 1 : 0;
  return fd_ >= 0 && ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

size_t TSocket::ReadAvail() const {
  int n = 0;
  if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
  return size_t(n);
}

std::ptrdiff_t TSocket::Recv(std::span<uint8_t> out) {
  if (fd_ < 0) return -1;
  if (out.empty()) return 0;
  for (;;) {
    const ssize_t n = ::recv(fd_, out.data(), out.size(), MSG_DONTWAIT);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    Close();
    return -1;
  }
}

bool TSocket::RecvAvail(std::vector<uint8_t>& out, size_t maxBytes) {
  uint8_t chunk[16 * 1024];
  size_t got = 0;
  while (got < maxBytes) {
    const size_t want = std::min(sizeof chunk, maxBytes - got);
    const std::ptrdiff_t n = Recv(std::span<uint8_t>(chunk, want));
    if (n < 0) return false;
    if (n == 0) break;
    out.insert(out.end(), chunk, chunk + n);
    got += size_t(n);
  }
  return true;
}

bool TSocket::Send(std::span<const uint8_t> bytes) { return Enqueue(bytes) && Flush(); }

bool TSocket::Enqueue(std::span<const uint8_t> bytes) {
  if (fd_ < 0 || broken_) return false;
  // Checked before appending, so one send larger than the cap still goes;
  // only a peer that stops reading breaks it.
  if (QueuedBeyondBatch() > sendCap_) {
    broken_ = true;
    queue_.clear();
    head_ = 0;
    batchEnd_ = 0;
    return false;
  }
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
  return true;
}

bool TSocket::SendBatch(std::span<const uint8_t> bytes) {
  if (fd_ < 0 || broken_) return false;
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
  batchEnd_ = queue_.size();
  return Flush();
}

bool TSocket::Flush() {
  if (fd_ < 0 || broken_) return false;
  while (Queued() > 0) {
    const ssize_t n = ::send(fd_, queue_.data() + head_, Queued(), kSendFlags);
    if (n > 0) {
      head_ += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    broken_ = true;
    queue_.clear();
    head_ = 0;
    batchEnd_ = 0;
    return false;
  }
  Compact();
  return true;
}

void TSocket::Compact() {
  if (head_ == queue_.size()) {
    queue_.clear();
    head_ = 0;
    batchEnd_ = 0;
  } else if (head_ > kCompactAfter && head_ > queue_.size() / 2) {
    queue_.erase(queue_.begin(), queue_.begin() + std::ptrdiff_t(head_));
    batchEnd_ -= std::min(batchEnd_, head_);
    head_ = 0;
  }
}

bool TSocket::Connected() {
  if (fd_ < 0) return false;
  if (broken_) {
    Close();
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  const int n = ::poll(&p, 1, 0);
  if (n <= 0) return true;
  if (p.revents & POLLNVAL) {
    fd_ = -1;
    Reset();
    return false;
  }
  // Unread bytes stay readable after the peer closes; report the close only
  // once they are taken, so the last messages are not lost.
  if (ReadAvail() > 0) return true;
  Close();
  return false;
}

void TSocket::Close() {
  if (fd_ < 0) return;
  if (!broken_ && Queued() > 0) Flush();
  ::close(fd_);
  fd_ = -1;
  connecting_ = false;
  queue_.clear();
  head_ = 0;
  batchEnd_ = 0;
}

uint16_t TSocket::LocalPort() const {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return FromSys(reinterpret_cast<const sockaddr*>(&a)).port;
}

uint32_t HostIp(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return 0;
  uint32_t ip = 0;
  for (const addrinfo* ai = res; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
      ip = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
      break;
    }
  }
  ::freeaddrinfo(res);
  return ip;
}

std::string IpText(uint32_t ip) {
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." + std::to_string((ip >> 8) & 255) +
         "." + std::to_string(ip & 255);
}


SockAddr SockAddr::V4(uint32_t ip, uint16_t port) {
  SockAddr a;
  const uint32_t n = htonl(ip);
  std::memcpy(a.bytes.data(), &n, 4);
  a.port = port;
  return a;
}

std::optional<SockAddr> SockAddr::Parse(const std::string& text, uint16_t port) {
  const std::string t = Unbracket(text);
  SockAddr a;
  a.port = port;
  if (::inet_pton(AF_INET, t.c_str(), a.bytes.data()) == 1) return a;
  a.v6 = true;
  if (::inet_pton(AF_INET6, t.c_str(), a.bytes.data()) == 1) return a;
  return std::nullopt;
}

uint32_t SockAddr::Ip() const {
  if (v6) return 0;
  uint32_t n;
  std::memcpy(&n, bytes.data(), 4);
  return ntohl(n);
}

std::string SockAddr::Text() const {
  char buf[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), buf, sizeof buf);
  return buf;
}

std::string HostPortText(const std::string& host, int32_t port) {
  const bool bare6 = host.find(':') != std::string::npos && host.front() != '[';
  return (bare6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::vector<SockAddr> Resolve(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return {};
  if (auto literal = SockAddr::Parse(name)) return {*literal};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return {};
  std::vector<SockAddr> out;
  for (const addrinfo* ai = res; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_addr == nullptr || (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)) continue;
    const SockAddr a = FromSys(ai->ai_addr);
    if (std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
  }
  ::freeaddrinfo(res);
  for (SockAddr& a : out) a.port = 0;
  std::stable_partition(out.begin(), out.end(), [](const SockAddr& a) { return a.v6; });
  return out;
}

}  // namespace bg
