#include <gtest/gtest.h>

#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;

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
  static TBlock* Mine() {
    for (TBlock& b : Blocks)
      if (b.Value == -1) return &b;
    return nullptr;
  }
  static TBlock* Safe() {
    for (TBlock& b : Blocks)
      if (b.Value > 0 && !b.Revealed) return &b;
    return nullptr;
  }
};

}  // namespace

TEST_F(Game, StartGameRefusesBadSetupsAndChangesNothing) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  TBlock* first = &Blocks[0];
  GameTime = 12.0f;
  EXPECT_FALSE(Start(9, 9, 69, 1, 0.0f, 1));  // 81 - 12
  EXPECT_FALSE(Start(0, 9, -100, 1, 0.0f, 1));
  EXPECT_FALSE(Start(9, -1, -100, 1, 0.0f, 1));
  EXPECT_FALSE(Start(70000, 70000, 1, 1, 0.0f, 1));  // overflows 32 bits
  EXPECT_FALSE(Start(65536, 65537, -2000000000, 1, 0.0f, 1));
  EXPECT_FALSE(Start(2048, 1025, 1, 1, 0.0f, 1));  // over the block cap
  EXPECT_EQ(&Blocks[0], first);
  EXPECT_EQ(GameTime, 12.0f);
  EXPECT_EQ(BlockAW, 9);
  const StartOutcome same = StartGame(9, 9, 68, 1, 0.0f, 1);
  EXPECT_TRUE(same.started);
  EXPECT_FALSE(same.sizeChanged);
  EXPECT_EQ(Mines, 68);
  EXPECT_TRUE(StartGame(9, 8, 10, 1, 0.0f, 1).sizeChanged);
}

TEST_F(Game, StartGameTakesItsSetupAndResetsPlayers) {
  ASSERT_TRUE(Start(20, 10, 5, 0, 3.5f, 0));
  EXPECT_EQ(Wrapping, 0);
  EXPECT_EQ(BombLose, 0);
  EXPECT_EQ(GameTime, 3.5f);
  EXPECT_EQ(GameStatus, 0);
  ASSERT_TRUE(Start(20, 10, 5, 1, 0.0f, 257));  // low 8 bits
  EXPECT_EQ(Wrapping, 1);
  EXPECT_EQ(BombLose, 1);

  auto c = TPlayer::Create("c", RGB{}, 2, nullptr, 0);
  auto a = TPlayer::Create("a", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("b", RGB{}, 1, nullptr, 0);
  auto s = TPlayer::Create("b", RGB{}, 1, nullptr, 1);
  a->out = 1;
  a->score = 9;
  LeavingPlayers.push_back(b);
  SLeavingPlayers.push_back(s);
  ASSERT_TRUE(Start(20, 10, 5, 1, 0.0f, 1));
  EXPECT_EQ(a->out, 0);
  EXPECT_EQ(a->score, 0);
  ASSERT_EQ(Players.size(), 2u);
  EXPECT_EQ(Players[0], a);  // in id order
  EXPECT_EQ(Players[1], c);
  EXPECT_TRUE(SPlayers.empty());
  EXPECT_EQ(LeavingPlayers.size(), 1u);  // the leaving lists stay
}

TEST_F(Game, FirstRevealPlacesMinesAroundTheClickedBlock) {
  BombLose = 0;
  ASSERT_TRUE(Start(9, 9, 20, 1, 0.0f, 0));
  TBlock* own = BlockA(4, 4);
  EXPECT_TRUE(Click(own, 2).applied);
  EXPECT_FALSE(Click(own, 1).applied);  // own flag: a reveal click does nothing, no mines yet
  EXPECT_EQ(own->Revealed, 0);
  EXPECT_EQ(TBlock::NumRevealed(), 0);
  for (const TBlock& b : Blocks) EXPECT_NE(b.Value, -1);
  Click(BlockA(0, 0), 1);
  EXPECT_EQ(BlockA(0, 0)->Value, 0);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) EXPECT_NE(BlockA(0, 0)->BlockAt(i, j)->Value, -1);
  int mines = 0;
  for (const TBlock& b : Blocks) mines += b.Value == -1;
  EXPECT_EQ(mines, 20);
  EXPECT_EQ(own->flag, own->Revealed ? 0 : 1);  // flags before the first reveal stay unless flooded
}

TEST_F(Game, NetworkClickOnForeignFlagRevealsAndPlacesMinesFromSeed) {
  auto a = TPlayer::Create("A", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("B", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(2, 2), 2, b.get(), 4242);
  EXPECT_FALSE(Click(BlockA(2, 2), 2, a.get(), 4242).applied);  // A cannot remove B's flag
  EXPECT_EQ(BlockA(2, 2)->flag, 1);
  Click(BlockA(2, 2), 1, a.get(), 4242);
  EXPECT_EQ(BlockA(2, 2)->Revealed, 1);
  EXPECT_EQ(BlockA(2, 2)->pid, 0);
  std::vector<int> mines;
  for (const TBlock& x : Blocks)
    if (x.Value == -1) mines.push_back(x.id);
  Start(9, 9, 10, 1, 0.0f, 1);
  Click(BlockA(2, 2), 1, nullptr, 4242);
  std::vector<int> again;
  for (const TBlock& x : Blocks)
    if (x.Value == -1) again.push_back(x.id);
  EXPECT_EQ(mines, again);
}

TEST_F(Game, LethalMineAloneUncoversFieldAndEndsTheGame) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(4, 4), 1);
  TBlock* m = Mine();
  ASSERT_NE(m, nullptr);
  const ClickOutcome o = Click(m, 1);
  EXPECT_TRUE(o.mineHit && o.ended);
  EXPECT_FALSE(o.won || o.ranked || o.knockedOut);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
  const float t = GameTime;
  test::SetClock(5000);
  Update();
  EXPECT_EQ(GameTime, t);  // the clock stopped
}

TEST_F(Game, HarmlessMineGoesOnAndWinCountsOnlySafeBlocks) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 0));
  Click(BlockA(4, 4), 1);
  const ClickOutcome hit = Click(Mine(), 1);
  EXPECT_TRUE(hit.mineHit);
  EXPECT_FALSE(hit.ended);
  EXPECT_EQ(GameStatus, 0);
  GameTime = 59.9f;
  ClickOutcome last;
  while (TBlock* s = Safe()) last = Click(s, 1);
  EXPECT_TRUE(last.won && last.ended);
  EXPECT_FALSE(last.ranked);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(wtime, 59);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
}

TEST_F(Game, NetworkLethalMinesKnockOutThenEndForAll) {
  auto a = TPlayer::Create("Ann", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("Bob", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(4, 4), 1, nullptr, 77);
  TBlock* m1 = Mine();
  const ClickOutcome out = Click(m1, 1, a.get(), 77);
  EXPECT_TRUE(out.knockedOut);
  EXPECT_FALSE(out.ended);
  EXPECT_EQ(a->out, 1);
  EXPECT_EQ(GameStatus, 0);
  TBlock* s = Safe();
  EXPECT_FALSE(Click(s, 1, a.get(), 77).applied);  // out: ignored
  EXPECT_EQ(s->Revealed, 0);
  // Bob flags a mine (+1) and then hits one (-5): Ann has -5, Bob -4.
  ClickOutcome last;
  TBlock* m2 = nullptr;
  for (TBlock& x : Blocks)
    if (x.Value == -1 && !x.Revealed) {
      if (!m2) {
        m2 = &x;
        Click(&x, 2, b.get(), 77);
      } else {
        last = Click(&x, 1, b.get(), 77);
        break;
      }
    }
  EXPECT_TRUE(last.ended && last.ranked && last.knockedOut);
  EXPECT_FALSE(last.won);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(a->score, -5);
  EXPECT_EQ(b->score, -4);
}

TEST_F(Game, ZeroMinesOpeningRevealWinsForEveryone) {
  TPlayer::Create("A", RGB{}, 0, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 0, 1, 0.0f, 1));
  const ClickOutcome o = Click(BlockA(3, 3), 1, nullptr, 5);  // the host's opening reveal, in nobody's name
  EXPECT_EQ(GameStatus, 2);
  EXPECT_TRUE(o.won);
  EXPECT_FALSE(o.ranked);
}

TEST_F(Game, FlagClicksAndOtherButtons) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(1, 1), 2);
  EXPECT_EQ(BlockA(1, 1)->flag, 1);
  EXPECT_EQ(BlockA(1, 1)->fpid, 255);  // no player
  EXPECT_FALSE(Click(BlockA(1, 1), 3).applied);
  EXPECT_EQ(BlockA(1, 1)->flag, 1);
  Click(BlockA(1, 1), 2);
  EXPECT_EQ(BlockA(1, 1)->flag, 0);
  EXPECT_EQ(TBlock::flags, 0);
}

TEST_F(Game, UpdateAdvancesTheClock) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  test::SetClock(2000);
  Delta::Start();
  test::SetClock(2250);
  Update();
  EXPECT_FLOAT_EQ(GameTime, 0.25f);
  EXPECT_FLOAT_EQ(DeltaTime, 0.25f);
}

TEST_F(Game, ClickReplayCostDoesNotDependOnWalks) {
  // The kept counters agree with walks after a mix of floods and flag toggles.
  ASSERT_TRUE(Start(40, 30, 150, 1, 0.0f, 0));
  SeedRnd(5);
  for (int i = 0; i < 3000; ++i) {
    TBlock* b = TBlock::FromID(Rand(0, 1199));
    Click(b, uint8_t(Rand(1, 2)));
  }
  int revealed = 0, flags = 0, coveredSafe = 0;
  for (const TBlock& b : Blocks) {
    revealed += b.Revealed;
    flags += b.flag;
    coveredSafe += !b.Revealed && b.Value > -1;
  }
  EXPECT_EQ(TBlock::NumRevealed(), revealed);
  EXPECT_EQ(TBlock::CountFlags(), flags);
  EXPECT_EQ(TBlock::CoveredSafe(), coveredSafe);
}
