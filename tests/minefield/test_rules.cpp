// The rules alone: the generator, the field's geometry and mines, chords, and games.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "minefield/block.h"
#include "minefield/chord.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "minefield/record.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;
using bg::test::MineIds;

namespace {

using XY = std::pair<int, int>;

XY At(const Game& g, int id) { return {g.X(id), g.Y(id)}; }
int Id(const Game& g, XY p) { return p.first * g.BlockAH + p.second; }
std::vector<XY> Adj(const Game& g, XY p) {
  std::vector<XY> out;
  for (int32_t a : g.Around(Id(g, p))) out.push_back(At(g, a));
  return out;
}

struct Rules : ::testing::Test {
  Game g;
  bool Start(int32_t w, int32_t h, int32_t m, int32_t wrap, float time, int32_t lethal, int32_t seed = 1000) {
    return StartGame(g, w, h, m, wrap, time, lethal, seed).started;
  }
  ClickOutcome Click(int id, uint8_t button, uint8_t player = kNoPlayer) { return Apply(g, Move{id, button, player}); }
  ClickOutcome Click(XY p, uint8_t button) { return Click(Id(g, p), button); }
  int Find(bool mine) const {
    for (int id = 0; id < g.Count(); ++id) {
      const TBlock& b = g.Blocks[size_t(id)];
      if (mine ? b.Value == -1 && !b.Revealed : b.Value > 0 && !b.Revealed) return id;
    }
    return -1;
  }
};

}  // namespace

// Known values of the cosmetic generator live in the start-up test (the default name and colour).
TEST(Random, LehmerStepAgainstThe64BitProductAndSeedRules) {
  for (int32_t seed : {0, 2147483647, -1}) EXPECT_EQ(Rng(seed).state(), 4660) << "seed " << seed;
  EXPECT_EQ(Rng(-2).state(), 0x7FFFFFFE);
  for (int64_t s : {int64_t(1), int64_t(44487), int64_t(44488), int64_t(2147483646), int64_t(123456789)}) {
    Rng r{int32_t(s)};
    int64_t expect = s;
    for (int i = 0; i < 1000; ++i) expect = expect * 48271 % 2147483647;
    for (int i = 0; i < 500; ++i) r.Double();  // two steps each
    EXPECT_EQ(r.state(), expect) << "from state " << s;
  }
}

TEST(Random, BoundsCoverBothEndsAndEveryCallTakesTwoSteps) {
  Rng r(99);
  bool seen3 = false, seen5 = false, negative = false, positive = false;
  for (int i = 0; i < 2000; ++i) {
    const int32_t v = r.Rand(5, 3);  // reversed bounds too
    ASSERT_TRUE(v >= 3 && v <= 5) << v;
    seen3 |= v == 3;
    seen5 |= v == 5;
    const double d = r.Rnd(0.5, 5.0);
    ASSERT_TRUE(d >= 0.5 && d < 5.0) << d;
    const int32_t wide = r.Rand(INT32_MIN, INT32_MAX);  // the full range, without overflow
    negative |= wide < -(1 << 30);
    positive |= wide > (1 << 30);
  }
  EXPECT_TRUE(seen3 && seen5 && negative && positive);
  Rng two(7), rand(7), rnd(7);
  two.Double();
  rand.Rand(0, 10);
  rnd.Rnd(0.0, 1.0);
  EXPECT_EQ(rand.state(), two.state());
  EXPECT_EQ(rnd.state(), two.state());
  // The program's cosmetic draws are a generator of their own.
  SeedRnd(7);
  Rand(0, 10);
  EXPECT_EQ(Cosmetic().state(), two.state());
}

TEST(Field, GridIdsWrapAndNeighbourOrder) {
  Game g = test::Field(7, 4, 0);
  for (int id = 0; id < g.Count(); ++id) {
    EXPECT_EQ(g.X(id) * 4 + g.Y(id), id);
    EXPECT_EQ(g.FromID(id), &g.Blocks[size_t(id)]);
  }
  EXPECT_EQ(g.FromID(28), nullptr);
  EXPECT_EQ(g.FromID(-1), nullptr);
  EXPECT_EQ(g.At(0, 0, -1, 0), -1);
  g = test::Field(9, 9, 1);
  const struct { int x, y, dx, dy; XY want; } wraps[] = {
      {0, 5, -1, 0, {8, 5}}, {8, 8, 1, 1, {0, 0}}, {8, 0, 1, -1, {0, 8}}, {8, 8, 0, 0, {8, 8}}};
  for (const auto& w : wraps) EXPECT_EQ(At(g, g.At(w.x, w.y, w.dx, w.dy)), w.want);
  EXPECT_EQ(Adj(g, {0, 0}), (std::vector<XY>{{8, 8}, {8, 0}, {8, 1}, {0, 8}, {0, 1}, {1, 8}, {1, 0}, {1, 1}}));
  EXPECT_EQ(Adj(g, {8, 8}), (std::vector<XY>{{7, 7}, {7, 8}, {7, 0}, {8, 7}, {8, 0}, {0, 7}, {0, 8}, {0, 0}}));
  EXPECT_TRUE(g.Touches(0, Id(g, {8, 8})));
  EXPECT_FALSE(g.Touches(0, Id(g, {2, 0})));
  g = test::Field(9, 9, 0);
  EXPECT_EQ(Adj(g, {0, 0}), (std::vector<XY>{{0, 1}, {1, 0}, {1, 1}}));
  EXPECT_FALSE(g.Touches(0, Id(g, {8, 8})));
  g = test::Field(2, 5, 1);  // left and right neighbour are the same block
  EXPECT_EQ(Adj(g, {0, 2}), (std::vector<XY>{{1, 1}, {1, 2}, {1, 3}, {0, 1}, {0, 3}, {1, 1}, {1, 2}, {1, 3}}));
  g.Blocks[size_t(Id(g, {1, 2}))].Value = -1;
  MakeMines(g, 0, 0, 0, 5);  // no new mines; values recomputed
  EXPECT_EQ(g.Blocks[size_t(Id(g, {0, 2}))].Value, 2);  // a doubled neighbour counts twice
  g = test::Field(1, 4, 1);  // offsets that wrap onto the block itself are skipped
  EXPECT_EQ(Adj(g, {0, 1}), (std::vector<XY>{{0, 0}, {0, 2}, {0, 0}, {0, 2}, {0, 0}, {0, 2}}));
}

TEST(Field, MinesFollowTheReferencePlacementAndAvoidTheSafeZone) {
  // The rule written out: seed, then x and y per attempt, skipping the 3 x 3 around the click.
  for (int seed : {424242, 1, -5}) {
    Game g = test::Field(9, 9, 0);
    SeedRnd(seed + 1);  // cosmetic draws must not shift the mines
    MakeMines(g, 4, 4, 10, seed);
    Rng r(seed);
    std::set<int> expect;
    while (expect.size() < 10) {
      const int cx = r.Rand(0, 8), cy = r.Rand(0, 8);
      if (std::abs(cx - 4) > 1 || std::abs(cy - 4) > 1) expect.insert(cx * 9 + cy);
    }
    const auto got = test::MineIds(g);
    EXPECT_EQ(std::set<int>(got.begin(), got.end()), expect) << "seed " << seed;
  }
  for (int seed = 1; seed < 200; ++seed) {
    Game g = test::Field(9, 9, 1);
    MakeMines(g, 0, 0, 71, seed);  // 81 - 10: as many as may be placed
    ASSERT_EQ(test::MineIds(g).size(), 71u) << "seed " << seed;
    for (XY p : std::vector<XY>{{0, 0}, {8, 8}, {8, 0}, {0, 8}, {8, 1}, {1, 8}, {1, 0}, {0, 1}, {1, 1}})
      ASSERT_NE(g.Blocks[size_t(Id(g, p))].Value, -1) << "seed " << seed << " at " << p.first << "," << p.second;
  }
  Game g = test::Field(12, 7, 0);
  MakeMines(g, 3, 3, 20, 77);
  for (int id = 0; id < g.Count(); ++id) {
    if (g.Blocks[size_t(id)].Value == -1) continue;
    int n = 0;
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j) {
        const int x = g.X(id) + i, y = g.Y(id) + j;
        n += (i || j) && x >= 0 && y >= 0 && x < 12 && y < 7 && g.Blocks[size_t(x * 7 + y)].Value == -1;
      }
    EXPECT_EQ(g.Blocks[size_t(id)].Value, n) << id;
  }
  EXPECT_EQ(g.coveredSafe, 84 - 20);
}

TEST(Field, ChordTargetsNeedMarksEqualToTheNumber) {
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
    Game g = test::Field(c.w, c.h, c.wrap);
    for (XY p : c.mines) g.Blocks[size_t(Id(g, p))].Value = -1;
    MakeMines(g, 0, 0, 0, 1);  // numbers for the mines set by hand
    const int b = c.w == 2 ? Id(g, {0, 2}) : 0;
    EXPECT_TRUE(ChordTargets(g, b).empty()) << "case " << i << ": still covered";
    g.Blocks[size_t(b)].Revealed = 1;
    for (XY p : c.flags) ToggleFlag(g, Id(g, p), nullptr);
    for (XY p : c.revealed) g.Blocks[size_t(Id(g, p))].Revealed = 1;
    std::vector<XY> got;
    for (const Move& m : ChordMoves(g, b, 3)) {
      EXPECT_TRUE(m.button == CLICK_UNCOVER && m.player == 3);
      got.push_back(At(g, m.block));
    }
    EXPECT_EQ(got, c.want) << "case " << i;
  }
}

TEST_F(Rules, StartGameRefusesBadSetupsAndChangesNothing) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  g.GameTime = 12.0f;
  const int bad[][3] = {{9, 9, 69},  {0, 9, -100}, {9, -1, -100}, {70000, 70000, 1}, {65536, 65537, -2000000000},
                        {2048, 1025, 1}};  // too many mines, empty, 32-bit overflow, over the block cap
  for (const auto& b : bad) EXPECT_FALSE(Start(b[0], b[1], b[2], 1, 0.0f, 1)) << b[0] << "x" << b[1];
  EXPECT_EQ(g.Count(), 81);
  EXPECT_EQ(g.GameTime, 12.0f);
  const StartOutcome same = StartGame(g, 9, 9, 68, 1, 0.0f, 1, 5);
  EXPECT_TRUE(same.started && !same.sizeChanged);
  EXPECT_EQ(g.Mines, 68);
  EXPECT_TRUE(StartGame(g, 9, 8, 10, 1, 0.0f, 1, 5).sizeChanged);
}

TEST_F(Rules, FirstRevealPlacesMinesAroundTheClickAndFlagsTakeOnlyButtonTwo) {
  ASSERT_TRUE(Start(9, 9, 20, 1, 0.0f, 0));
  const int own = Id(g, {4, 4});
  EXPECT_TRUE(Click(own, 2).applied);
  EXPECT_FALSE(Click(own, 3).applied);  // not a button the field knows
  EXPECT_EQ(g.Blocks[size_t(own)].flag, 1);
  EXPECT_EQ(g.Blocks[size_t(own)].fpid, 255);
  EXPECT_FALSE(Click(own, 1).applied);  // a flag holds the click: no reveal, no mines yet
  EXPECT_EQ(g.revealed, 0);
  EXPECT_TRUE(test::MineIds(g).empty());
  EXPECT_FALSE(Click(0, 1, 4).applied);  // a player who is not in the game
  EXPECT_FALSE(Click(81, 1).applied);
  Click(0, 1);
  for (int32_t a : g.Around(0)) EXPECT_NE(g.Blocks[size_t(a)].Value, -1);
  EXPECT_EQ(test::MineIds(g).size(), 20u);
  Game same = test::Field(9, 9, 1);
  MakeMines(same, 0, 0, 20, 1000);  // from the game's seed
  EXPECT_EQ(test::MineIds(same), test::MineIds(g));
  if (!g.Blocks[size_t(own)].Revealed) {
    Click(own, 2);
    EXPECT_EQ(g.Blocks[size_t(own)].flag, 0);
    EXPECT_EQ(g.flags, 0);
  }
}

TEST_F(Rules, HarmlessMineGoesOnAndTheWinCountsOnlySafeBlocks) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 0));
  Click(XY{4, 4}, 1);
  const ClickOutcome hit = Click(Find(true), 1);
  EXPECT_TRUE(hit.mineHit && !hit.ended);
  EXPECT_EQ(g.GameStatus, GAME_PLAYING);
  Update(g, 59.9f);
  ClickOutcome last;
  for (int s; (s = Find(false)) >= 0;) last = Click(s, 1);
  EXPECT_TRUE(last.won && last.ended && !last.ranked);
  EXPECT_EQ(g.GameStatus, GAME_OVER);
  EXPECT_EQ(g.wtime, 59);
}

TEST_F(Rules, ScoresComeFromTheBoardAndLethalMinesKnockPlayersOut) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1, 77));
  AddPlayer(g, "Bob", RGB{2, 2, 2}, 1);
  AddPlayer(g, "Ann", RGB{1, 1, 1}, 0);
  ASSERT_EQ(g.Players[0].name, "Ann");  // kept in id order
  Click(XY{4, 4}, 1);
  const std::vector<int> mines = test::MineIds(g);
  const int safe = Find(false);
  Click(mines[0], 2, 0);  // +1
  Click(mines[1], 2, 0);  // +1, then taken back: counts for nobody
  Click(mines[1], 2, 0);
  Click(safe, 2, 0);      // -1
  Click(mines[2], 2, 1);  // +1 for Bob
  Click(mines[2], 2, 0);  // not Ann's flag: stays Bob's
  EXPECT_FALSE(Click(mines[0], 1, 0).applied);  // her own flag holds her click
  EXPECT_EQ(FindScore(g, 0), 0);
  EXPECT_EQ(FindScore(g, 1), 1);
  EXPECT_TRUE(Click(mines[3], 1, 0).knockedOut);  // -5, and Ann is out
  EXPECT_TRUE(g.FindByID(0)->out);
  EXPECT_EQ(g.GameStatus, GAME_PLAYING);
  EXPECT_FALSE(Click(safe, 2, 0).applied);  // out: ignored
  EXPECT_EQ(g.Blocks[size_t(safe)].flag, 1);
  const ClickOutcome end = Click(mines[4], 1, 1);  // Bob too: nobody is left
  EXPECT_TRUE(end.ended && end.ranked && !end.won);
  EXPECT_EQ(g.GameStatus, GAME_OVER);
  const std::vector<TPlayer> ranked = RankByScore(g.Players);
  ASSERT_EQ(ranked.size(), 2u);
  EXPECT_EQ(ranked[0].id, 1);
  EXPECT_EQ(ranked[0].score, -4);
  EXPECT_EQ(ranked[1].score, -5);
}

// A game replayed from its record lives beside the live game: the same board, and neither touches the other.
TEST_F(Rules, AReplayedGameEqualsTheLiveOneAndIsItsOwnValue) {
  GameRecord r;
  r.Clear(GameSetup{9, 9, 10, 1, 1, 4242});
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1, 4242));
  r.AddJoin("Ann", RGB{1, 2, 3}, 0, 0.0f);
  r.AddJoin("Bob", RGB{4, 5, 6}, 1, 0.5f);
  r.AddMove({40, CLICK_UNCOVER, kNoPlayer}, 1.0f);
  for (const RecordEvent& e : r.events) ApplyEvent(g, r, e);
  const int mine = test::MineIds(g)[0], safe = Find(false);
  r.AddMove({mine, CLICK_FLAG, 0}, 2.0f);
  r.AddColour(0, RGB{7, 8, 9}, 3.0f);
  r.AddMove({safe, CLICK_UNCOVER, 1}, 4.0f);
  r.AddLeave(1, 5.0f);
  for (size_t i = 3; i < r.events.size(); ++i) ApplyEvent(g, r, r.events[i]);
  auto board = [](const Game& x) {
    std::vector<int> out;
    for (const TBlock& b : x.Blocks) out.insert(out.end(), {b.Value, b.Revealed, b.flag, b.pid, b.fpid});
    return out;
  };
  const Game replayed = Replay(r);
  EXPECT_EQ(board(replayed), board(g));
  EXPECT_EQ(replayed.revealed, g.revealed);
  EXPECT_EQ(replayed.flags, 1);
  EXPECT_EQ(replayed.colours[0], (RGB{7, 8, 9}));
  ASSERT_EQ(replayed.Players.size(), 2u);
  EXPECT_EQ(replayed.Players[1].name, "Bob [left]");
  EXPECT_FLOAT_EQ(replayed.GameTime, 5.0f);
  EXPECT_EQ(Replay(r, 3).flags, 0);  // the first three events only
  Game again = Replay(r);
  Click(Find(false), 1, 0);
  SetColour(g, 0, RGB{0, 0, 0});
  EXPECT_EQ(board(again), board(replayed));
  EXPECT_EQ(again.colours[0], (RGB{7, 8, 9}));
  ToggleFlag(again, mine, nullptr);
  EXPECT_EQ(g.Blocks[size_t(mine)].flag, 1);
  EXPECT_NE(board(again), board(replayed));
  ASSERT_TRUE(StartGame(again, 9, 9, 10, 1, 0.0f, 1, 1).started);
  EXPECT_EQ(again.Players.size(), 1u);  // who left is gone with the field
}
