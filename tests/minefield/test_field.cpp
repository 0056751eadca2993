#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "minefield/block.h"
#include "minefield/chord.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;
using bg::test::MineIds;

namespace {

using XY = std::pair<int, int>;
constexpr XY N{-9, -9};

struct Field : ::testing::Test {
  test::FieldWorld world;
  void Build(int w, int h, int wrap) {
    Wrapping = wrap;
    StartBlocks(w, h);
  }
  static std::vector<XY> Adj(const TBlock* b) {
    std::vector<XY> out;
    for (const TBlock* a : b->AdjBlocks) out.push_back(a ? XY{a->x, a->y} : N);
    return out;
  }
};

}  // namespace

TEST_F(Field, GridIdsWrapAndNeighbourOrder) {
  Build(7, 4, 0);
  for (const TBlock& b : Blocks) {
    EXPECT_EQ(BlockA(b.x, b.y), &b);
    EXPECT_EQ(b.id, b.x * 4 + b.y);
    EXPECT_EQ(TBlock::FromID(b.id), &b);
    EXPECT_FLOAT_EQ(b.dx, 24.0f * b.x);
  }
  EXPECT_EQ(TBlock::FromID(28), nullptr);
  Build(9, 9, 1);
  const std::pair<XY, XY> wraps[] = {{{-1, 5}, {8, 5}}, {{9, 9}, {0, 0}}, {{8, 8}, {8, 8}}, {{10, 3}, {0, 3}}};
  for (const auto& [in, out] : wraps) EXPECT_EQ((XY{WrapPos(in.first, in.second).x, WrapPos(in.first, in.second).y}), out);
  EXPECT_EQ(Adj(BlockA(0, 0)), (std::vector<XY>{{8, 8}, {8, 0}, {8, 1}, {0, 8}, {0, 1}, {1, 8}, {1, 0}, {1, 1}, N}));
  EXPECT_EQ(Adj(BlockA(8, 8)), (std::vector<XY>{{7, 7}, {7, 8}, {7, 0}, {8, 7}, {8, 0}, {0, 7}, {0, 8}, {0, 0}, N}));
  EXPECT_EQ(BlockA(0, 0)->AdjacentToBlock(BlockA(8, 8)), 1);
  EXPECT_EQ(BlockA(0, 0)->AdjacentToBlock(BlockA(2, 0)), 0);
  Build(9, 9, 0);
  EXPECT_EQ(Adj(BlockA(0, 0)), (std::vector<XY>{N, N, N, N, {0, 1}, N, {1, 0}, {1, 1}, N}));
  Build(2, 5, 1);  // left and right neighbour are the same block
  EXPECT_EQ(Adj(BlockA(0, 2)), (std::vector<XY>{{1, 1}, {1, 2}, {1, 3}, {0, 1}, {0, 3}, {1, 1}, {1, 2}, {1, 3}, N}));
  BlockA(1, 2)->Value = -1;
  MakeMines(0, 0, 0, 5);  // no new mines; values recomputed
  EXPECT_EQ(BlockA(0, 2)->Value, 2);  // a doubled neighbour counts twice
  Build(1, 4, 1);  // offsets that wrap onto the block itself are skipped
  EXPECT_EQ(Adj(BlockA(0, 1)), (std::vector<XY>{{0, 0}, {0, 2}, {0, 0}, {0, 2}, {0, 0}, {0, 2}, N, N, N}));
}

TEST_F(Field, MinesFollowTheReferencePlacementAndAvoidTheSafeZone) {
  // The rule written out: seed, then x and y per attempt, skipping the 3 x 3 around the click.
  for (int seed : {424242, 1, -5}) {
    Build(9, 9, 0);
    MakeMines(4, 4, 10, seed);
    SeedRnd(seed);
    std::set<int> expect;
    while (expect.size() < 10) {
      const int cx = Rand(0, 8), cy = Rand(0, 8);
      if (std::abs(cx - 4) > 1 || std::abs(cy - 4) > 1) expect.insert(cx * 9 + cy);
    }
    const auto got = MineIds();
    EXPECT_EQ(std::set<int>(got.begin(), got.end()), expect) << "seed " << seed;
  }
  for (int seed = 1; seed < 200; ++seed) {
    Build(9, 9, 1);
    MakeMines(0, 0, 71, seed);  // 81 - 10: as many as may be placed
    ASSERT_EQ(MineIds().size(), 71u) << "seed " << seed;
    for (XY p : std::vector<XY>{{0, 0}, {8, 8}, {8, 0}, {0, 8}, {8, 1}, {1, 8}, {1, 0}, {0, 1}, {1, 1}})
      ASSERT_NE(BlockA(p.first, p.second)->Value, -1) << "seed " << seed << " at " << p.first << "," << p.second;
  }
  Build(9, 9, 1);
  MakeMines(4, 4, 72, 11);  // one more than allowed: none placed
  EXPECT_TRUE(MineIds().empty());
  Build(12, 7, 0);
  MakeMines(3, 3, 20, 77);
  for (const TBlock& b : Blocks) {
    if (b.Value == -1) continue;
    int n = 0;
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j)
        if (const TBlock* a = BlockA(b.x + i, b.y + j); (i || j) && a && a->Value == -1) ++n;
    EXPECT_EQ(b.Value, n) << b.x << "," << b.y;
  }
}

TEST_F(Field, PanningMovesBlocksAroundTheTorus) {
  Build(9, 9, 1);
  TBlock::MoveBlocks(1, 0);
  EXPECT_EQ(TBlock::FromID(0)->x, 1);
  EXPECT_EQ(BlockA(0, 0)->id, 8 * 9);
  for (const TBlock& b : Blocks) EXPECT_EQ(BlockA(b.x, b.y), &b);
  for (int i = 0; i < 8; ++i) TBlock::MoveBlocks(1, 0);
  for (const TBlock& b : Blocks) EXPECT_EQ(b.id, b.x * 9 + b.y);
  TBlock::MoveBlocks(0, -1);
  EXPECT_EQ(TBlock::FromID(0)->y, 8);
  EXPECT_FLOAT_EQ(TBlock::FromID(0)->dy, 8 * 24.0f);
}

TEST_F(Field, ChordTargetsNeedMarksEqualToTheNumber) {
  using XY = std::pair<int, int>;
  struct Case {
    int w, h, wrap;
    std::vector<XY> mines, flags, revealed;  // revealed: besides the block at (0, 2) or (0, 0)
    std::vector<XY> want;
  };
  const std::vector<Case> cases{
      // The corner of a wrapping field reaches round both edges; neighbour order.
      {9, 9, 1, {{8, 8}, {1, 1}}, {{8, 8}, {1, 1}}, {}, {{8, 0}, {8, 1}, {0, 8}, {0, 1}, {1, 8}, {1, 0}}},
      {9, 9, 1, {{8, 8}, {1, 1}}, {{8, 8}, {0, 1}}, {}, {{8, 0}, {8, 1}, {0, 8}, {1, 8}, {1, 0}, {1, 1}}},  // wrong flag
      {9, 9, 1, {{8, 8}, {1, 1}}, {{8, 8}}, {}, {}},                                                    // too few
      {9, 9, 1, {{8, 8}, {1, 1}}, {{8, 8}, {1, 1}, {0, 1}}, {}, {}},                                    // too many
      {9, 9, 1, {{8, 8}, {1, 1}}, {{8, 8}}, {{1, 1}, {8, 0}}, {{8, 1}, {0, 8}, {0, 1}, {1, 8}, {1, 0}}},  // a mine shown
      {9, 9, 0, {{1, 1}}, {{1, 1}}, {}, {{0, 1}, {1, 0}}},  // no wrap: three neighbours
      {2, 5, 1, {{1, 2}}, {{1, 2}}, {}, {{1, 1}, {1, 3}, {0, 1}, {0, 3}}},  // a doubled neighbour counts twice
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    Build(c.w, c.h, c.wrap);
    for (auto [x, y] : c.mines) BlockA(x, y)->Value = -1;
    MakeMines(0, 0, 0, 1);  // numbers for the mines set by hand
    TBlock* b = c.w == 2 ? BlockA(0, 2) : BlockA(0, 0);
    EXPECT_TRUE(ChordTargets(*b).empty()) << "case " << i << ": still covered";
    b->Revealed = 1;
    for (auto [x, y] : c.flags) BlockA(x, y)->ToggleFlag(nullptr);
    for (auto [x, y] : c.revealed) BlockA(x, y)->Revealed = 1;
    std::vector<XY> got;
    for (const TBlock* t : ChordTargets(*b)) got.emplace_back(t->x, t->y);
    EXPECT_EQ(got, c.want) << "case " << i;
  }
}
