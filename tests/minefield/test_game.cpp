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
  static TBlock* Find(bool mine) {
    for (TBlock& b : Blocks)
      if (mine ? b.Value == -1 && !b.Revealed : b.Value > 0 && !b.Revealed) return &b;
    return nullptr;
  }
  static std::vector<int> MineIds() {
    std::vector<int> ids;
    for (const TBlock& b : Blocks)
      if (b.Value == -1) ids.push_back(b.id);
    return ids;
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

TEST_F(Game, StartGameTakesItsSetupAndResetsPlayers) {
  ASSERT_TRUE(Start(20, 10, 5, 0, 3.5f, 0));
  EXPECT_EQ(Wrapping, 0);
  EXPECT_EQ(BombLose, 0);
  EXPECT_EQ(GameTime, 3.5f);
  ASSERT_TRUE(Start(20, 10, 5, 1, 0.0f, 257));  // low 8 bits
  EXPECT_EQ(Wrapping, 1);
  EXPECT_EQ(BombLose, 1);
  auto c = TPlayer::Create("c", RGB{}, 2, nullptr, 0);
  auto a = TPlayer::Create("a", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("b", RGB{}, 1, nullptr, 0);
  auto s = TPlayer::Create("b", RGB{}, 1, nullptr, 1);
  a->out = true;
  a->score = 9;
  LeavingPlayers.push_back(b);
  SLeavingPlayers.push_back(s);
  ASSERT_TRUE(Start(20, 10, 5, 1, 0.0f, 1));
  EXPECT_EQ(a->out + a->score, 0);
  EXPECT_EQ(Players, (std::vector<PlayerRef>{a, c}));  // in id order
  EXPECT_TRUE(SPlayers.empty());
  EXPECT_EQ(LeavingPlayers.size(), 1u);
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

TEST_F(Game, NetworkClicksKeepForeignFlagsAndPlaceMinesFromTheSeed) {
  auto a = TPlayer::Create("A", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("B", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(2, 2), 2, b.get(), 4242);
  EXPECT_FALSE(Click(BlockA(2, 2), 2, a.get(), 4242).applied);  // A cannot remove B's flag
  EXPECT_EQ(BlockA(2, 2)->flag, 1);
  Click(BlockA(2, 2), 1, a.get(), 4242);  // but may reveal under it
  EXPECT_EQ(BlockA(2, 2)->Revealed, 1);
  EXPECT_EQ(BlockA(2, 2)->pid, 0);
  const auto mines = MineIds();
  Start(9, 9, 10, 1, 0.0f, 1);
  Click(BlockA(2, 2), 1, nullptr, 4242);
  EXPECT_EQ(MineIds(), mines);
}

TEST_F(Game, LethalMineAloneUncoversTheFieldAndStopsTheClock) {
  ASSERT_TRUE(Start(9, 9, 10, 1, 0.0f, 1));
  Click(BlockA(4, 4), 1);
  const ClickOutcome o = Click(Find(true), 1);
  EXPECT_TRUE(o.mineHit && o.ended);
  EXPECT_FALSE(o.won || o.ranked || o.knockedOut);
  EXPECT_EQ(GameStatus, GAME_OVER);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
  const float t = GameTime;
  test::SetClock(5000);
  Update();
  EXPECT_EQ(GameTime, t);
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

TEST_F(Game, ZeroMinesOpeningRevealWinsForEveryone) {
  TPlayer::Create("A", RGB{}, 0, nullptr, 0);
  ASSERT_TRUE(Start(9, 9, 0, 1, 0.0f, 1));
  const ClickOutcome o = Click(BlockA(3, 3), 1, nullptr, 5);  // the host's opening reveal, in nobody's name
  EXPECT_EQ(GameStatus, GAME_OVER);
  EXPECT_TRUE(o.won && !o.ranked);
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

TEST_F(Game, KeptCountersAgreeWithWalksAfterManyClicks) {
  ASSERT_TRUE(Start(40, 30, 150, 1, 0.0f, 0));
  SeedRnd(5);
  for (int i = 0; i < 3000; ++i) Click(TBlock::FromID(Rand(0, 1199)), uint8_t(Rand(1, 2)));
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

TEST_F(Game, PlayerIdsListsAndRanking) {
  auto c = TPlayer::Create("Cy", RGB{}, 2, nullptr, 0);
  auto a = TPlayer::Create("Al", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("al", RGB{}, 1, nullptr, 0);
  b->Left = true;
  LeavingPlayers.push_back(b);
  EXPECT_EQ(TPlayer::NID(), 3);
  auto s = TPlayer::Create("Al", RGB{}, 3, reinterpret_cast<TNetClient*>(0x10), 1);  // the host's record counts
  EXPECT_EQ(TPlayer::NID(), 4);
  EXPECT_EQ(TPlayer::SFindByName("al"), nullptr);  // exact, case included
  EXPECT_EQ(TPlayer::FindByID(2), c.get());
  EXPECT_EQ(TPlayer::SFindByClient(reinterpret_cast<TNetClient*>(0x10)), s.get());
  EXPECT_EQ(TPlayer::SFindByID(2), nullptr);
  SortPlayersById(Players);
  EXPECT_EQ(Players, (std::vector<PlayerRef>{a, b, c}));
  a->score = 1;
  b->score = 3;
  c->score = 1;
  EXPECT_EQ(RankByScore(Players), (std::vector<PlayerRef>{b, a, c}));  // stable for equal scores
  (*a->col)[0] = 1;  // each record owns its colour
  EXPECT_EQ((*c->col)[0], 0);
  s->remove();
  EXPECT_TRUE(SPlayers.empty());
  Players.clear();
  LeavingPlayers.clear();
  for (int i = 0; i < 255; ++i) TPlayer::Create("x", RGB{}, uint8_t(i), nullptr, 0);
  EXPECT_FALSE(TPlayer::NID().has_value());
}
