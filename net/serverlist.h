#pragma once
#include <array>
#include <cstdint>
#include <string>

// The list-server client: class-level state only.
namespace bg {

class TServerList {
 public:
  // List servers to try, in order: the configured one, then one on this machine.
  static std::array<std::string, 2> IPs;
  static std::array<int32_t, 2> Ports;
  static int32_t lists;
};

}  // namespace bg
