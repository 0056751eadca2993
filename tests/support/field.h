#pragma once
#include <cstdint>
#include <vector>

#include "minefield/game.h"

// Fields for tests that link the rules alone.
namespace bg::test {

// A covered field without mines of any size, even one StartGame would refuse.
Game Field(int32_t w, int32_t h, int32_t wrap);

// Ids of the blocks that hold a mine.
std::vector<int> MineIds(const Game& g);

// A fixed clock for the duration of a test.
void SetClock(int32_t ms);
void UseRealClock();

}  // namespace bg::test
