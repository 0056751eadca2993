#include "tests/support/field.h"

#include "minefield/block.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/clock.h"
#include "platform/random.h"

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

void ResetMinefield() {
  Blocks.clear();
  Blocks.shrink_to_fit();
  BlockA.Reset(1, 1);
  BlockAW = BlockAH = 0;
  Wrapping = 1;
  TBlock::flags = 0;
  TBlock::recursekill = 0;
  StartBlocks(0, 0);
  BlockA.Reset(1, 1);
  GameStatus = 0;
  Mines = 13;
  BombLose = 0;
  rseed = 0;
  GameTime = 0.0f;
  wtime = 0;
  DeltaTime = 0.001f;
  Players.clear();
  SPlayers.clear();
  LeavingPlayers.clear();
  SLeavingPlayers.clear();
  MPlayer.reset();
  Actions.clear();
  SetRndState(0x1234);
}

std::vector<int> MineIds() {
  std::vector<int> ids;
  for (const TBlock& b : Blocks)
    if (b.Value == -1) ids.push_back(b.id);
  return ids;
}

FieldWorld::FieldWorld() { ResetMinefield(); }
FieldWorld::~FieldWorld() {
  ResetMinefield();
  UseRealClock();
}

}  // namespace bg::test
