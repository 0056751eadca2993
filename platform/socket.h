#pragma once
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A small TCP (IPv4) socket for a program that polls once per tick: nothing
// here ever blocks, except Connect and HostIpWithin (each up to its timeout)
// and HostIp (name lookup). Addresses and ports are in host byte order.
namespace bg {

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
  bool CreateTCP();
  // ip 0 is INADDR_ANY; port 0 lets the system choose (see LocalPort).
  bool Bind(uint16_t port, uint32_t ip = 0);
  bool Listen(int backlog);
  // A waiting connection, without waiting for one.
  std::optional<TSocket> Accept();
  // Creates the socket if needed and connects, giving up after timeoutMs. A
  // socket made by CreateTCP and not yet connected is used as it is, so
  // options set on it before (TCP_NODELAY) hold for the connection.
  // ip 0 is refused: it is what a failed HostIp returns.
  bool Connect(uint32_t ip, uint16_t port, int timeoutMs = kDefaultConnectTimeoutMs);
  bool SetTCPNoDelay(bool on = true);
  // Connect without waiting: starts it (false when it failed at once);
  // ConnectDone then says 1 connected, 0 still trying, -1 failed (closed).
  bool ConnectStart(uint32_t ip, uint16_t port);
  int ConnectDone();

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
  uint32_t RemoteIp() const { return remoteIp_; }
  uint16_t RemotePort() const { return remotePort_; }
  uint16_t LocalPort() const;

 private:
  void Reset() noexcept;
  void Compact();
  int fd_ = -1;
  uint32_t remoteIp_ = 0;
  uint16_t remotePort_ = 0;
  std::vector<uint8_t> queue_;
  size_t head_ = 0;
  size_t batchEnd_ = 0;  // queue_ index up to which bytes are exempt from the cap
  size_t sendCap_ = kDefaultSendCap;
  bool broken_ = false;
};

// The first IPv4 address of a host name or dotted address; 0 when it does not
// resolve. Callers must treat 0 as failure. Blocks during the lookup.
uint32_t HostIp(const std::string& name);
// As HostIp, but gives up with 0 after timeoutMs, so a slow resolver cannot
// hold the caller longer: the lookup runs on a thread of its own, whose late
// answer is dropped. A dotted address needs no lookup. `lookup` is HostIp but
// for tests.
using Resolver = std::function<uint32_t(const std::string&)>;
uint32_t HostIpWithin(const std::string& name, int timeoutMs, const Resolver& lookup = HostIp);
// The milliseconds left of timeoutMs since start (steady clock), at least 1.
int MsLeft(std::chrono::steady_clock::time_point start, int timeoutMs);
// Dotted text of an address.
std::string IpText(uint32_t ip);

}  // namespace bg
