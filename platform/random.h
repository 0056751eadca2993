#pragma once
#include <cstdint>

// The game's own random generator. Every copy of the game must draw the same
// numbers from the same seed (mine placement is agreed by seed only), so this
// is a Lehmer generator computed exactly, never a library generator.
namespace bg {

int32_t RndState();
void SetRndState(int32_t state);

void SeedRnd(int32_t seed);
double RndDouble();
double Rnd(double min = 1.0, double max = 0.0);
int32_t Rand(int32_t min, int32_t max);

}  // namespace bg
