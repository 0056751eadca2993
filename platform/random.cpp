#include "platform/random.h"

namespace bg {

int32_t Rng::Step() {
  // Schrage's method keeps every product inside 32 bits.
  int32_t s = 48271 * (state_ % 44488) - 3399 * (state_ / 44488);
  if (s < 0) s += 0x7FFFFFFF;
  state_ = s;
  return s;
}

void Rng::Seed(int32_t seed) {
  state_ = seed & 0x7FFFFFFF;
  if (state_ == 0 || state_ == 0x7FFFFFFF) state_ = 0x1234;
}

double Rng::Double() {
  const int32_t hi = Step() & 0x1FFFFFFC;
  const int32_t lo = Step() & 0x1FFFFFF8;
  return (hi + lo / 134217728.0) / 536870912.0;
}

double Rng::Rnd(double min, double max) {
  if (max > min) return min + Double() * (max - min);
  return max + Double() * (min - max);
}

int32_t Rng::Rand(int32_t min, int32_t max) {
  // Range in 64 bits: Rand(INT_MIN, INT_MAX) must not overflow.
  const int64_t range = int64_t(max) - int64_t(min);
  if (range > 0) return int32_t(int64_t(Double() * double(range + 1)) + min);
  return int32_t(int64_t(Double() * double(1 - range)) + max);
}

Rng& Cosmetic() {
  static Rng rng;
  return rng;
}

}  // namespace bg
