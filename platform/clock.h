#pragma once
#include <cstdint>

namespace bg {
// Milliseconds since an arbitrary start; wraps as a signed 32-bit value.
int32_t MilliSecs();
// Tests replace the clock to make time-dependent rules exact; nullptr restores it.
void SetMilliSecsSource(int32_t (*source)());
}  // namespace bg
