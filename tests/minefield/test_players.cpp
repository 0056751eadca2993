#include <gtest/gtest.h>

#include "minefield/game.h"
#include "minefield/players.h"
#include "tests/support/field.h"

using namespace bg;

namespace {
struct Players_ : ::testing::Test {
  test::FieldWorld world;
};
}  // namespace

TEST_F(Players_, ScoreComesFromFlagsAndMinesOnTheBoard) {
  auto p = TPlayer::Create("p", RGB{5, 5, 5}, 3, nullptr, 0);
  auto q = TPlayer::Create("q", RGB{6, 6, 6}, 4, nullptr, 0);
  ASSERT_TRUE(StartGame(9, 9, 10, 0, 0.0f, 0).started);
  ClickBlock(BlockA(4, 4), 1, nullptr, -1);
  std::vector<TBlock*> mines, safe;
  for (TBlock& b : Blocks) (b.Value == -1 ? mines : safe).push_back(&b);
  TBlock* covered = nullptr;
  for (TBlock* b : safe)
    if (!b->Revealed) covered = b;
  ASSERT_GE(mines.size(), 4u);
  ASSERT_NE(covered, nullptr);
  ClickBlock(mines[0], 2, p.get(), -1);
  ClickBlock(mines[1], 2, p.get(), -1);
  ClickBlock(covered, 2, p.get(), -1);
  ClickBlock(mines[2], 1, p.get(), -1);
  ClickBlock(mines[3], 2, q.get(), -1);
  p->FindScore();
  q->FindScore();
  EXPECT_EQ(p->score, 2 - 1 - 5);
  EXPECT_EQ(q->score, 1);
  ClickBlock(mines[3], 2, p.get(), -1);  // not p's flag: stays q's
  ClickBlock(mines[0], 2, p.get(), -1);  // removed: counts for nobody
  p->FindScore();
  q->FindScore();
  EXPECT_EQ(p->score, 1 - 1 - 5);
  EXPECT_EQ(q->score, 1);
}

TEST_F(Players_, IdsAreLowestFreeAndNeverReusedWithinAGame) {
  auto a = TPlayer::Create("a", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("b", RGB{}, 1, nullptr, 0);
  auto c = TPlayer::Create("c", RGB{}, 2, nullptr, 0);
  b->Left = 1;
  b->name += " [left]";
  LeavingPlayers.push_back(b);
  EXPECT_EQ(TPlayer::NID(), 3);
  ASSERT_TRUE(StartGame(9, 9, 10, 1, 0.0f, 1).started);
  EXPECT_EQ(TPlayer::NID(), 1);
  // A record the host has made but its own view does not know yet still counts.
  TPlayer::Create("d", RGB{}, 1, nullptr, 1);
  EXPECT_EQ(TPlayer::NID(), 3);
  Players.clear();
  SPlayers.clear();
  for (int i = 0; i < 255; ++i) TPlayer::Create("x", RGB{}, uint8_t(i), nullptr, 0);
  EXPECT_FALSE(TPlayer::NID().has_value());
}

TEST_F(Players_, FindersListsAndRefresh) {
  auto c = TPlayer::Create("Cy", RGB{}, 5, nullptr, 0);
  auto a = TPlayer::Create("Al", RGB{}, 1, nullptr, 0);
  auto b = TPlayer::Create("al", RGB{}, 3, nullptr, 0);
  auto s = TPlayer::Create("Al", RGB{}, 1, reinterpret_cast<TNetClient*>(0x10), 1);
  EXPECT_EQ(TPlayer::SFindByName("al"), nullptr);  // exact, case included
  EXPECT_EQ(TPlayer::FindByID(5), c.get());
  EXPECT_EQ(TPlayer::FindByID(9), nullptr);
  EXPECT_EQ(TPlayer::SFindByClient(reinterpret_cast<TNetClient*>(0x10)), s.get());
  EXPECT_EQ(TPlayer::SFindByName("Al"), s.get());
  EXPECT_EQ(TPlayer::SFindByID(5), nullptr);
  SortPlayersById(Players);
  ASSERT_EQ(Players.size(), 3u);
  EXPECT_EQ(Players[0], a);
  EXPECT_EQ(Players[1], b);
  EXPECT_EQ(Players[2], c);
  s->remove();
  EXPECT_TRUE(SPlayers.empty());
  EXPECT_EQ(Players.size(), 3u);
}

TEST_F(Players_, RankingIsStableAndLogKeepsClicks) {
  auto a = TPlayer::Create("a", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("b", RGB{}, 1, nullptr, 0);
  auto c = TPlayer::Create("c", RGB{}, 2, nullptr, 0);
  a->score = 1;
  b->score = 3;
  c->score = 1;
  auto r = RankByScore(Players);
  EXPECT_EQ(r[0], b);
  EXPECT_EQ(r[1], a);  // equal scores keep their order
  EXPECT_EQ(r[2], c);
  EXPECT_EQ(compareScore(*a, *c), 0);
  EXPECT_EQ(PlayersSortId(*c, *a), 1);
  const TAction& act = TAction::Add(TAction::ACT_CLICK, 1, 12.0f, 255);
  EXPECT_EQ(Actions.size(), 1u);
  EXPECT_EQ(act.atype, 50);
  // Each record owns its colour: creating from the same array does not share it.
  RGB shared{7, 7, 7};
  auto x = TPlayer::Create("x", shared, 9, nullptr, 0);
  auto y = TPlayer::Create("y", shared, 10, nullptr, 0);
  (*x->col)[0] = 1;
  EXPECT_EQ((*y->col)[0], 7);
}
