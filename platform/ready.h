#pragma once
#include <cstdint>
#include <vector>

// Whether sockets have something waiting, asked without waiting.
namespace bg {

// True when any of `fds` can be read now (bytes, a connection to accept, or the peer closed).
bool AnyReadable(const std::vector<int>& fds);
// Bytes the system has received on the TCP sockets `fds` over their lives,
// read or not: a change tells that something arrived, even if it is read already.
uint64_t BytesReceived(const std::vector<int>& fds);

}  // namespace bg
