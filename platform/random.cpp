#include "platform/random.h"

namespace bg {
namespace {
int32_t gState = 0x1234;

int32_t Step() {
  // Schrage's method keeps every product inside 32 bits.
  int32_t s = 48271 * (gState % 44488) - 3399 * (gState / 44488);
  if (s < 0) s += 0x7FFFFFFF;
  gState = s;
  return s;
}
}  // namespace

int32_t RndState() { return gState; }
void SetRndState(int32_t state) { gState = state; }

void SeedRnd(int32_t seed) {
  gState = seed & 0x7FFFFFFF;
  if (gState == 0 || gState == 0x7FFFFFFF) gState = 0x1234;
}

double RndDouble() {
  const int32_t hi = Step() & 0x1FFFFFFC;
  const int32_t lo = Step() & 0x1FFFFFF8;
  return (hi + lo / 134217728.0) / 536870912.0;
}

double Rnd(double min, double max) {
  if (max > min) return min + RndDouble() * (max - min);
  return max + RndDouble() * (min - max);
}

int32_t Rand(int32_t min, int32_t max) {
  // Range in 64 bits: Rand(INT_MIN, INT_MAX) must not overflow.
  const int64_t range = int64_t(max) - int64_t(min);
  if (range > 0) return int32_t(int64_t(RndDouble() * double(range + 1)) + min);
  return int32_t(int64_t(RndDouble() * double(1 - range)) + max);
}

}  // namespace bg
