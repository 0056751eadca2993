#pragma once
#include <cstdint>

// The message layer's state that the rest of the program reads.
namespace bg {

class TNet {
 public:
  // 0: not in a network game, 1: joined another host's game, 2: hosting.
  static uint8_t NetStatus;
};

}  // namespace bg
