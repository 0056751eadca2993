#include "platform/clock.h"

#include <chrono>

namespace bg {
namespace {
int32_t (*gSource)() = nullptr;
}

int32_t MilliSecs() {
  if (gSource) return gSource();
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return int32_t(uint32_t(uint64_t(ms)));
}

void SetMilliSecsSource(int32_t (*source)()) { gSource = source; }
}  // namespace bg
