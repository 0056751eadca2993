#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A small TCP socket (IPv4 and IPv6) for a program that polls once per tick:
// nothing here ever blocks, except Connect (up to its timeout) and the name
// lookups HostIp and Resolve (Connector does both without blocking). IPv4
// addresses as numbers and all ports are in host byte order.
namespace bg {

// One address of a host, without the name it was found by.
struct SockAddr {
  bool v6 = false;
  // Network order; an IPv4 address fills the first four bytes.
  std::array<uint8_t, 16> bytes{};
  uint16_t port = 0;

  static SockAddr V4(uint32_t ip, uint16_t port);
  // A numeric address ("10.0.0.1", "::1", "[::1]"); nothing for a name.
  static std::optional<SockAddr> Parse(const std::string& text, uint16_t port = 0);
  // The IPv4 address as a number; 0 for an IPv6 one.
  uint32_t Ip() const;
  std::string Text() const;
  bool operator==(const SockAddr&) const = default;
};

// "host:port", with an IPv6 literal in brackets so the port stands apart.
std::string HostPortText(const std::string& host, int32_t port);

class TSocket {
 public:
  // Bytes left waiting to leave one socket; past this the peer is taken to
  // have stopped reading (see Send).
  static constexpr size_t kDefaultSendCap = 1024 * 1024;
  static constexpr int kDefaultConnectTimeoutMs = 3000;

  TSocket() = default;
  ~TSocket();
  TSocket(TSocket&& other) noexcept;
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  // A fresh non-blocking TCP socket; an open one is closed first.
  bool CreateTCP(bool v6 = false);
  // ip 0 is every local address: on an IPv6 socket the IPv4 ones too, so one
  // listener takes both. Port 0 lets the system choose (see LocalPort).
  bool Bind(uint16_t port, uint32_t ip = 0);
  bool Listen(int backlog);
  // A waiting connection, without waiting for one.
  std::optional<TSocket> Accept();
  // Creates the socket if needed and connects, giving up after timeoutMs. A
  // socket made by CreateTCP and not yet connected is used as it is, so
  // options set on it before (TCP_NODELAY) hold for the connection.
  // ip 0 is refused: it is what a failed HostIp returns.
  bool Connect(uint32_t ip, uint16_t port, int timeoutMs = kDefaultConnectTimeoutMs);
  bool Connect(const SockAddr& to, int timeoutMs = kDefaultConnectTimeoutMs);
  // The same without waiting: Begin starts the connect (on a socket of the
  // address's family, made here unless a fresh one of it is open), Progress
  // tells how it went; a failed attempt closes the socket.
  enum class Progress { Done, Pending, Failed };
  Progress BeginConnect(const SockAddr& to);
  Progress ConnectProgress();
  bool SetTCPNoDelay(bool on = true);

  // Bytes that Recv can take now.
  size_t ReadAvail() const;
  // Bytes read; 0 when nothing is waiting; -1 when the peer closed or the
  // connection failed (the socket is then closed).
  std::ptrdiff_t Recv(std::span<uint8_t> out);
  // Appends every byte waiting, up to maxBytes; false when the peer closed or
  // the connection failed (the socket is then closed).
  bool RecvAvail(std::vector<uint8_t>& out, size_t maxBytes);

  // Queues the bytes and sends what the system takes without blocking; the
  // rest leaves on later Flush calls. A Send that finds more than the cap
  // still queued breaks the socket, so one Send may exceed the cap but a peer
  // that stops reading cannot grow the queue without bound. False once
  // broken or closed.
  bool Send(std::span<const uint8_t> bytes);
  // As Send, for a batch the peer asked for (a late joiner's history): the
  // batch and whatever was queued before it never count against the cap;
  // only bytes queued after it do.
  bool SendBatch(std::span<const uint8_t> bytes);
  // As Send, but leaves the bytes queued for the next Flush: many small
  // messages to one peer within a tick then cost one system call.
  bool Enqueue(std::span<const uint8_t> bytes);
  // Sends queued bytes without blocking; call once per tick.
  bool Flush();
  size_t Queued() const { return queue_.size() - head_; }
  // Queued bytes that count against the cap.
  size_t QueuedBeyondBatch() const { return queue_.size() - std::max(head_, batchEnd_); }
  void SetSendCap(size_t cap) { sendCap_ = cap; }
  // The send queue overflowed or a send failed.
  bool Broken() const { return broken_; }

  // Still connected: false (and the socket closed) once the peer has closed,
  // the connection failed, or the socket is broken.
  bool Connected();
  // Makes one last attempt to send what is queued, then closes. Idempotent.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The peer, known once connected or accepted; an IPv4 peer of an IPv6
  // socket reads as IPv4.
  const SockAddr& Remote() const { return remote_; }
  uint16_t RemotePort() const { return remote_.port; }
  uint16_t LocalPort() const;

 private:
  void Reset() noexcept;
  void Compact();
  int fd_ = -1;
  bool v6_ = false;
  // Set by BeginConnect until the connect is done; remote_ is set after.
  bool connecting_ = false;
  SockAddr target_;
  SockAddr remote_;
  std::vector<uint8_t> queue_;
  size_t head_ = 0;
  size_t batchEnd_ = 0;  // queue_ index up to which bytes are exempt from the cap
  size_t sendCap_ = kDefaultSendCap;
  bool broken_ = false;
};

// The first IPv4 address of a host name or dotted address; 0 when it does not
// resolve. Callers must treat 0 as failure. Blocks during the lookup.
uint32_t HostIp(const std::string& name);
// Every address of a name or numeric address, IPv6 ones first, each once;
// empty when it does not resolve. Blocks during the lookup.
std::vector<SockAddr> Resolve(const std::string& name);
using Lookup = std::function<std::vector<SockAddr>(const std::string&)>;
// Dotted text of an address.
std::string IpText(uint32_t ip);

}  // namespace bg
