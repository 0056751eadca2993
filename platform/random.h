#pragma once
#include <cstdint>

// The game's own random generator. Every copy of the game must draw the same
// numbers from the same seed (mine placement is agreed by seed only), so this
// is a Lehmer generator computed exactly, never a library generator.
namespace bg {

// One generator: the mines of a field draw from a generator of their own, so
// nothing drawn for the picture can shift them.
class Rng {
 public:
  Rng() = default;
  explicit Rng(int32_t seed) { Seed(seed); }
  void Seed(int32_t seed);
  double Double();
  double Rnd(double min = 1.0, double max = 0.0);
  int32_t Rand(int32_t min, int32_t max);
  int32_t state() const { return state_; }

 private:
  int32_t Step();
  int32_t state_ = 0x1234;
};

// The program's cosmetic generator: backgrounds, flash effects, default names and colours.
Rng& Cosmetic();
inline void SeedRnd(int32_t seed) { Cosmetic().Seed(seed); }
inline double Rnd(double min = 1.0, double max = 0.0) { return Cosmetic().Rnd(min, max); }
inline int32_t Rand(int32_t min, int32_t max) { return Cosmetic().Rand(min, max); }

}  // namespace bg
