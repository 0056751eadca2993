#include "tests/support/field.h"

#include "platform/clock.h"

namespace bg::test {

namespace {
int32_t gFixedClock = 0;
int32_t FixedClock() { return gFixedClock; }
}  // namespace

void SetClock(int32_t ms) {
  gFixedClock = ms;
  SetMilliSecsSource(&FixedClock);
}
void UseRealClock() { SetMilliSecsSource(nullptr); }

Game Field(int32_t w, int32_t h, int32_t wrap) {
  Game g;
  g.BlockAW = w;
  g.BlockAH = h;
  g.Wrapping = wrap;
  g.Blocks.resize(size_t(w) * size_t(h));
  g.coveredSafe = w * h;
  return g;
}

std::vector<int> MineIds(const Game& g) {
  std::vector<int> ids;
  for (int id = 0; id < g.Count(); ++id)
    if (g.Blocks[size_t(id)].Value == -1) ids.push_back(id);
  return ids;
}

}  // namespace bg::test
