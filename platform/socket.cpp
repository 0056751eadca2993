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
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace bg {

namespace {

sockaddr_in MakeAddr(uint32_t ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(port);
  return a;
}

// Send with MSG_NOSIGNAL so a peer that has gone never raises SIGPIPE.
constexpr int kSendFlags = MSG_DONTWAIT | MSG_NOSIGNAL;
// Compacting the queue only past this keeps small sends from moving memory.
constexpr size_t kCompactAfter = 64 * 1024;

}  // namespace

TSocket::~TSocket() { Close(); }

TSocket::TSocket(TSocket&& other) noexcept
    : fd_(other.fd_),
      remoteIp_(other.remoteIp_),
      remotePort_(other.remotePort_),
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
    remoteIp_ = other.remoteIp_;
    remotePort_ = other.remotePort_;
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
  remoteIp_ = 0;
  remotePort_ = 0;
  queue_.clear();
  head_ = 0;
  batchEnd_ = 0;
  broken_ = false;
}

bool TSocket::CreateTCP() {
  Close();
  Reset();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return fd_ >= 0;
}

bool TSocket::Bind(uint16_t port, uint32_t ip) {
  if (fd_ < 0 && !CreateTCP()) return false;
  const int one = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in a = MakeAddr(ip, port);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool TSocket::Listen(int backlog) { return fd_ >= 0 && ::listen(fd_, backlog) == 0; }

std::optional<TSocket> TSocket::Accept() {
  if (fd_ < 0) return std::nullopt;
  for (;;) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // A connection reset while it waited is simply gone; try the next one.
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return std::nullopt;
    }
    TSocket s;
    s.fd_ = fd;
    s.remoteIp_ = ntohl(a.sin_addr.s_addr);
    s.remotePort_ = ntohs(a.sin_port);
    return s;
  }
}

bool TSocket::Connect(uint32_t ip, uint16_t port, int timeoutMs) {
  if (ip == 0 || port == 0) return false;
  if ((fd_ < 0 || remoteIp_ != 0) && !CreateTCP()) return false;
  const sockaddr_in a = MakeAddr(ip, port);
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno != EINPROGRESS) {
      Close();
      return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{fd_, POLLOUT, 0};
      const int n = ::poll(&p, 1, left > 0 ? int(left) : 0);
      if (n > 0) break;
      if ((n == 0 || errno != EINTR) || left <= 0) {
        Close();
        return false;
      }
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      Close();
      return false;
    }
  }
  remoteIp_ = ip;
  remotePort_ = port;
  return true;
}

bool TSocket::ConnectStart(uint32_t ip, uint16_t port) {
  if (ip == 0 || port == 0 || !CreateTCP()) return false;
  const sockaddr_in a = MakeAddr(ip, port);
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINPROGRESS) {
    Close();
    return false;
  }
  remoteIp_ = ip;
  remotePort_ = port;
  return true;
}

int TSocket::ConnectDone() {
  if (fd_ < 0) return -1;
  pollfd p{fd_, POLLOUT, 0};
  if (::poll(&p, 1, 0) <= 0) return 0;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
    Close();
    return -1;
  }
  return 1;
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
  queue_.clear();
  head_ = 0;
  batchEnd_ = 0;
}

uint16_t TSocket::LocalPort() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
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

uint32_t HostIpWithin(const std::string& name, int timeoutMs, const Resolver& lookup) {
  if (name.empty() || name.find('\0') != std::string::npos) return 0;
  if (in_addr a{}; ::inet_pton(AF_INET, name.c_str(), &a) == 1) return ntohl(a.s_addr);
  // Shared with the lookup thread, which may outlive this call.
  struct Answer {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    uint32_t ip = 0;
  };
  auto answer = std::make_shared<Answer>();
  try {
    std::thread([answer, name, lookup] {
      const uint32_t ip = lookup(name);
      std::lock_guard<std::mutex> lock(answer->m);
      answer->ip = ip;
      answer->done = true;
      answer->cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return 0;
  }
  std::unique_lock<std::mutex> lock(answer->m);
  answer->cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [&] { return answer->done; });
  return answer->done ? answer->ip : 0;
}

int MsLeft(std::chrono::steady_clock::time_point start, int timeoutMs) {
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  return int(std::max<int64_t>(1, timeoutMs - spent.count()));
}

std::string IpText(uint32_t ip) {
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." + std::to_string((ip >> 8) & 255) +
         "." + std::to_string(ip & 255);
}

}  // namespace bg
