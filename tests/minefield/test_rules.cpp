// The rules alone: the generator, the field's geometry and mines, chords, and games.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "minefield/block.h"
#include "minefield/chord.h"
#include "minefield/game.h"
#include "minefield/players.h"
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

struct Game : ::testing::Test {
  test::FieldWorld world;
  void SetUp() override { test::SetClock(1000); }
  static bool Start(int32_t w, int32_t h, int32_t m, int32_t wrap, float time, int32_t lethal) {
    return StartGame(w, h, m, wrap, time, lethal).started;
  }
  static ClickOutcome Click(TBlock* b, uint8_t button, TPlayer* p = nullptr, int32_t seed = -1) {
    return ClickBlock(b, button, p, seed);
  }
  static TBlock* Find(bool mine) {
    for (TBlock& b : Blocks)
      if (mine ? b.Value == -1 && !b.Revealed : b.Value > 0 && !b.Revealed) return &b;
    return nullptr;
  }
};

}  // namespace

// Known values of the generator live in the start-up test (the default name and colour).
TEST(Random, LehmerStepAgainstThe64BitProductAndSeedRules) {
  for (int32_t seed : {0, 2147483647, -1}) {
    SeedRnd(seed);
    EXPECT_EQ(RndState(), 4660) << "seed " << seed;
  }
  SeedRnd(-2);
  EXPECT_EQ(RndState(), 0x7FFFFFFE);
  for (int64_t s : {int64_t(1), int64_t(44487), int64_t(44488), int64_t(2147483646), int64_t(123456789)}) {
    SetRndState(int32_t(s));
    int64_t expect = s;
    for (int i = 0; i < 1000; ++i) expect = expect * 48271 % 2147483647;
    for (int i = 0; i < 500; ++i) RndDouble();  // two steps each
    EXPECT_EQ(RndState(), expect) << "from state " << s;
  }
}

TEST(Random, BoundsCoverBothEndsAndEveryCallTakesTwoSteps) {
  SeedRnd(99);
  bool seen3 = false, seen5 = false, negative = false, positive = false;
  for (int i = 0; i < 2000; ++i) {
    const int32_t v = Rand(5, 3);  // reversed bounds too
    ASSERT_TRUE(v >= 3 && v <= 5) << v;
    seen3 |= v == 3;
    seen5 |= v == 5;
    const double r = Rnd(0.5, 5.0);
    ASSERT_TRUE(r >= 0.5 && r < 5.0) << r;
    const int32_t wide = Rand(INT32_MIN, INT32_MAX);  // the full range, without overflow
    negative |= wide < -(1 << 30);
    positive |= wide > (1 << 30);
  }
  EXPECT_TRUE(seen3 && seen5 && negative && positive);
  SeedRnd(7);
  RndDouble();
  const int32_t afterTwo = RndState();
  SeedRnd(7);
  Rand(0, 10);
  EXPECT_EQ(RndState(), afterTwo);
  SeedRnd(7);
  Rnd(0.0, 1.0);
  EXPECT_EQ(RndState(), afterTwo);
}

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

TEST_F(Game, StartGameRefusesBadSetupsAndChangesNothing) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  TBlock* first = &Blocks[0];
  GameTime = 12.0f;
  const int bad[][3] = {{9, 9, 69},  {0, 9, -100}, {9, -1, -100}, {70000, 70000, 1}, {65536, 65537, -2000000000},
                        {2048, 1025, 1}};  // too many mines, empty, 32-bit overflow, over the block cap
  for (const auto& b : bad) EXPECT_FALSE(Start(b[0], b[1], b[2], 1, 0.0f, 1)) << b[0] << "x" << b[1];
  EXPECT_EQ(&Blocks[0], first);
  EXPECT_EQ(GameTime, 12.0f);
  const StartOutcome same = StartGame(9, 9, 68, 1, 0.0f, 1);
  EXPECT_TRUE(same.started && !same.sizeChanged);
  EXPECT_EQ(Mines, 68);
  EXPECT_TRUE(StartGame(9, 8, 10, 1, 0.0f, 1).sizeChanged);
}

TEST_F(Game, FirstRevealPlacesMinesAroundTheClickAndFlagsTakeOnlyButtonTwo) {
  ASSERT_TRUE(Start(9, 9, 20, 1, 0.0f, 0));
  TBlock* own = BlockA(4, 4);
  EXPECT_TRUE(Click(own, 2).applied);
  EXPECT_FALSE(Click(own, 3).applied);  // not a button the field knows
  EXPECT_EQ(own->flag, 1);
  EXPECT_EQ(own->fpid, 255);
  EXPECT_FALSE(Click(own, 1).applied);  // a flag holds the click: no reveal, no mines yet
  EXPECT_EQ(TBlock::NumRevealed(), 0);
  EXPECT_TRUE(MineIds().empty());
  Click(BlockA(0, 0), 1);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) EXPECT_NE(BlockA(0, 0)->BlockAt(i, j)->Value, -1);
  EXPECT_EQ(MineIds().size(), 20u);
  if (!own->Revealed) {
    Click(own, 2);
    EXPECT_EQ(own->flag, 0);
    EXPECT_EQ(TBlock::flags, 0);
  }
}

TEST_F(Game, HarmlessMineGoesOnAndTheWinCountsOnlySafeBlocks) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 0));
  Click(BlockA(4, 4), 1);
  const ClickOutcome hit = Click(Find(true), 1);
  EXPECT_TRUE(hit.mineHit && !hit.ended);
  EXPECT_EQ(GameStatus, GAME_PLAYING);
  GameTime = 59.9f;
  ClickOutcome last;
  while (TBlock* s = Find(false)) last = Click(s, 1);
  EXPECT_TRUE(last.won && last.ended && !last.ranked);
  EXPECT_EQ(GameStatus, GAME_OVER);
  EXPECT_EQ(wtime, 59);
}

TEST_F(Game, ScoresComeFromTheBoardAndLethalMinesKnockPlayersOut) {
  auto a = TPlayer::Create("Ann", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("Bob", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(4, 4), 1, nullptr, 77);
  std::vector<TBlock*> mines;
  for (TBlock& x : Blocks)
    if (x.Value == -1) mines.push_back(&x);
  TBlock* safe = Find(false);
  Click(mines[0], 2, a.get());  // +1
  Click(mines[1], 2, a.get());  // +1, then taken back: counts for nobody
  Click(mines[1], 2, a.get());
  Click(safe, 2, a.get());      // -1
  Click(mines[2], 2, b.get());  // +1 for Bob
  Click(mines[2], 2, a.get());  // not Ann's flag: stays Bob's
  a->FindScore();
  b->FindScore();
  EXPECT_EQ(a->score, 0);
  EXPECT_EQ(b->score, 1);
  EXPECT_TRUE(Click(mines[3], 1, a.get()).knockedOut);  // -5, and Ann is out
  EXPECT_TRUE(a->out);
  EXPECT_EQ(GameStatus, GAME_PLAYING);
  EXPECT_FALSE(Click(safe, 2, a.get()).applied);  // out: ignored
  EXPECT_EQ(safe->flag, 1);
  const ClickOutcome end = Click(mines[4], 1, b.get());  // Bob too: nobody is left
  EXPECT_TRUE(end.ended && end.ranked && !end.won);
  EXPECT_EQ(GameStatus, GAME_OVER);
  EXPECT_EQ(RankByScore(Players), (std::vector<PlayerRef>{b, a}));
  EXPECT_EQ(b->score, -4);
  EXPECT_EQ(a->score, -5);
}
