#include <gtest/gtest.h>

#include <vector>

#include "minefield/block.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;

namespace {

struct Field : ::testing::Test {
  test::FieldWorld world;
  void Build(int w, int h, int wrap) {
    Wrapping = wrap;
    StartBlocks(w, h);
  }
  static std::vector<std::pair<int, int>> Adj(const TBlock* b) {
    std::vector<std::pair<int, int>> out;
    for (const TBlock* a : b->AdjBlocks) out.push_back(a ? std::make_pair(a->x, a->y) : std::make_pair(-9, -9));
    return out;
  }
  static std::vector<int> MineIds() {
    std::vector<int> ids;
    for (const TBlock& b : Blocks)
      if (b.Value == -1) ids.push_back(b.id);
    return ids;
  }
};

constexpr std::pair<int, int> N{-9, -9};

}  // namespace

TEST_F(Field, WrapPosMovesOneStepAroundAndClampsFurtherToZero) {
  Build(9, 9, 1);
  EXPECT_EQ(WrapPos(-1, 5).x, 8);
  EXPECT_EQ(WrapPos(-1, 5).y, 5);
  EXPECT_EQ(WrapPos(9, 9).x, 0);
  EXPECT_EQ(WrapPos(9, 9).y, 0);
  EXPECT_EQ(WrapPos(10, 3).x, 0);  // two steps beyond: 0, not the remainder
  EXPECT_EQ(WrapPos(10, 3).y, 3);
}

TEST_F(Field, GridIdsAndListAgree) {
  Build(7, 4, 0);
  ASSERT_EQ(Blocks.size(), 28u);
  for (const TBlock& b : Blocks) {
    EXPECT_EQ(BlockA(b.x, b.y), &b);
    EXPECT_EQ(b.id, b.x * 4 + b.y);
    EXPECT_EQ(TBlock::FromID(b.id), &b);
    EXPECT_FLOAT_EQ(b.dx, 24.0f * b.x);
    EXPECT_FLOAT_EQ(b.dy, 24.0f * b.y);
  }
  EXPECT_EQ(TBlock::FromID(-1), nullptr);
  EXPECT_EQ(TBlock::FromID(28), nullptr);
}

TEST_F(Field, NeighbourOrderWithAndWithoutWrap) {
  Build(9, 9, 0);
  const TBlock* c = BlockA(0, 0);
  std::vector<std::pair<int, int>> want{N, N, N, N, {0, 1}, N, {1, 0}, {1, 1}, N};
  EXPECT_EQ(Adj(c), want);
  Build(9, 9, 1);
  c = BlockA(0, 0);
  want = {{8, 8}, {8, 0}, {8, 1}, {0, 8}, {0, 1}, {1, 8}, {1, 0}, {1, 1}, N};
  EXPECT_EQ(Adj(c), want);
  EXPECT_EQ(c->AdjacentToBlock(c), 1);
  EXPECT_EQ(c->AdjacentToBlock(BlockA(8, 8)), 1);
  EXPECT_EQ(c->AdjacentToBlock(BlockA(2, 0)), 0);
}

TEST_F(Field, NarrowWrappingFieldsDoubleOrSkipNeighbours) {
  Build(2, 5, 1);  // left and right neighbour are the same block
  const TBlock* b = BlockA(0, 2);
  std::vector<std::pair<int, int>> want{{1, 1}, {1, 2}, {1, 3}, {0, 1}, {0, 3}, {1, 1}, {1, 2}, {1, 3}, N};
  EXPECT_EQ(Adj(b), want);
  Build(1, 4, 1);  // offsets that wrap onto the block itself are skipped
  b = BlockA(0, 1);
  want = {{0, 0}, {0, 2}, {0, 0}, {0, 2}, {0, 0}, {0, 2}, N, N, N};
  EXPECT_EQ(Adj(b), want);
}

TEST_F(Field, MineInADoubledNeighbourCountsTwice) {
  Build(2, 5, 1);
  SetRndState(0x1234);
  // Place by hand through the public rule: count mines in AdjBlocks.
  BlockA(1, 2)->Value = -1;
  MakeMines(0, 0, 0, 5);  // no new mines, but values are recomputed
  EXPECT_EQ(BlockA(0, 2)->Value, 2);
}

TEST_F(Field, MinesAvoidTheSafeZoneAcrossWrappedEdges) {
  for (int seed = 1; seed < 200; ++seed) {
    Build(9, 9, 1);
    MakeMines(0, 0, 71, seed);  // 81 - 10: as many as may be placed
    ASSERT_EQ(MineIds().size(), 71u) << "seed " << seed;
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {8, 8}, {8, 0}, {0, 8}, {8, 1}, {1, 8}, {1, 0}, {0, 1}, {1, 1}})
      ASSERT_NE(BlockA(x, y)->Value, -1) << "seed " << seed << " at " << x << "," << y;
  }
  bool edgeMine = false;
  for (int seed = 1; seed < 50 && !edgeMine; ++seed) {
    Build(9, 9, 0);
    MakeMines(0, 0, 60, seed);
    for (int i = 0; i < 9; ++i) edgeMine |= BlockA(8, i)->Value == -1 || BlockA(i, 8)->Value == -1;
  }
  EXPECT_TRUE(edgeMine);
}

TEST_F(Field, MineCountLimitsAndValues) {
  Build(9, 9, 1);
  MakeMines(4, 4, 72, 11);  // one more than allowed: none placed
  EXPECT_TRUE(MineIds().empty());
  for (const TBlock& b : Blocks) EXPECT_EQ(b.Value, 0);
  Build(9, 9, 1);
  MakeMines(4, 4, -3, 11);
  EXPECT_TRUE(MineIds().empty());
  Build(12, 7, 0);
  MakeMines(3, 3, 20, 77);
  for (const TBlock& b : Blocks) {
    if (b.Value == -1) continue;
    int n = 0;
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j) {
        const TBlock* a = BlockA(b.x + i, b.y + j);
        if ((i || j) && a && a->Value == -1) ++n;
      }
    EXPECT_EQ(b.Value, n) << b.x << "," << b.y;
  }
}

TEST_F(Field, SameSeedSameMinesCallForCall) {
  for (int seed : {1, 2, 12345, 99999, -5}) {
    Build(30, 16, 1);
    MakeMines(7, 9, 99, seed);
    const auto a = MineIds();
    const int32_t stateA = RndState();
    Build(30, 16, 1);
    MakeMines(7, 9, 99, seed);
    EXPECT_EQ(MineIds(), a);
    EXPECT_EQ(RndState(), stateA);  // the same number of draws
  }
  // A reference placement written out from the rule: seed, then x and y per attempt.
  Build(9, 9, 0);
  MakeMines(4, 4, 10, 424242);
  SeedRnd(424242);
  std::set<int> expect;
  while (expect.size() < 10) {
    const int cx = Rand(0, 8), cy = Rand(0, 8);
    if ((std::abs(cx - 4) > 1 || std::abs(cy - 4) > 1)) expect.insert(cx * 9 + cy);
  }
  const auto got = MineIds();
  EXPECT_EQ(std::set<int>(got.begin(), got.end()), expect);
}

TEST_F(Field, PanningMovesBlocksAroundTheTorus) {
  Build(9, 9, 1);
  TBlock::MoveBlocks(1, 0);
  EXPECT_EQ(TBlock::FromID(0)->x, 1);
  EXPECT_EQ(BlockA(0, 0)->id, 8 * 9);  // the block that was at (8, 0)
  for (const TBlock& b : Blocks) EXPECT_EQ(BlockA(b.x, b.y), &b);
  for (int i = 0; i < 8; ++i) TBlock::MoveBlocks(1, 0);
  for (const TBlock& b : Blocks) EXPECT_EQ(b.id, b.x * 9 + b.y);
  TBlock::MoveBlocks(0, -1);
  EXPECT_EQ(TBlock::FromID(0)->y, 8);
  EXPECT_FLOAT_EQ(TBlock::FromID(0)->dy, 8 * 24.0f);
}

TEST_F(Field, CountFlagsCountsStandingFlags) {
  EXPECT_EQ(TBlock::CountFlags(), 0);  // the empty 1 x 1 grid
  Build(5, 5, 0);
  BlockA(1, 1)->ToggleFlag(nullptr);
  BlockA(2, 1)->ToggleFlag(nullptr);
  EXPECT_EQ(TBlock::flags, 2);
  BlockA(1, 1)->ToggleFlag(nullptr);
  EXPECT_EQ(TBlock::CountFlags(), 1);
  EXPECT_EQ(BlockA(1, 1)->flag, 0);
  EXPECT_EQ(BlockA(1, 1)->fpid, 255);
}
