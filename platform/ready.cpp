#include "platform/ready.h"

#include <netinet/in.h>
// The kernel's own tcp_info: the C library's lacks the byte counts.
#include <linux/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace bg {

bool AnyReadable(const std::vector<int>& fds) {
  std::vector<pollfd> p;
  p.reserve(fds.size());
  for (int fd : fds) p.push_back(pollfd{fd, POLLIN, 0});
  return !p.empty() && ::poll(p.data(), nfds_t(p.size()), 0) > 0;
}

uint64_t BytesReceived(const std::vector<int>& fds) {
  uint64_t sum = 0;
  for (int fd : fds) {
    tcp_info info{};
    socklen_t len = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) == 0) sum += info.tcpi_bytes_received;
  }
  return sum;
}

}  // namespace bg
