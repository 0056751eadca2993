#pragma once
#include <cstdint>
#include <vector>

// A clean minefield for tests that link the rules alone.
namespace bg::test {

// Every minefield global (field, game, players, click log) back to its start-up value.
void ResetMinefield();

// Ids of the blocks that hold a mine.
std::vector<int> MineIds();

// A fixed clock for the duration of a test.
void SetClock(int32_t ms);
void UseRealClock();

// A clean field and a seeded generator for one test, the real clock after it.
struct FieldWorld {
  FieldWorld();
  ~FieldWorld();
};

}  // namespace bg::test
