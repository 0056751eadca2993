#include <gtest/gtest.h>

#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;
using bg::test::MineIds;

namespace {

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
