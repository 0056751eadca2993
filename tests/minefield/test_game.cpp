#include <gtest/gtest.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "minefield/game.h"
#include "net/net.h"
#include "net/players.h"
#include "platform/random.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

struct Game : ::testing::Test {
  test::World world;
  void SetUp() override {
    world.MakeGameGadgets();
    test::SetClock(1000);
  }
  std::string Text(Gadget* g) { return world.gui.Text(g); }
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
  ASSERT_EQ(StartGame(9, 9, 10, -1, 0.0f, -1), 1);
  TBlock* first = &Blocks[0];
  GameTime = 12.0f;
  const int bad[][3] = {{9, 9, 69},  {0, 9, -100}, {9, -1, -100}, {70000, 70000, 1}, {65536, 65537, -2000000000},
                        {2048, 1025, 1}};  // too many mines, empty, 32-bit overflow, over the block cap
  for (const auto& b : bad) EXPECT_EQ(StartGame(b[0], b[1], b[2], -1, 0.0f, -1), 0) << b[0] << "x" << b[1];
  EXPECT_EQ(&Blocks[0], first);
  EXPECT_EQ(GameTime, 12.0f);
  EXPECT_EQ(StartGame(9, 9, 68, -1, 0.0f, -1), 1);
  EXPECT_EQ(Mines, 68);
}

TEST_F(Game, StartGameSetsTheDesignAreaOptionsAndResetsPlayers) {
  oWrap = 0;
  oBombLose = 0;
  ASSERT_EQ(StartGame(20, 10, 5, -1, 3.5f, -1), 1);
  EXPECT_EQ(DEFWIDTH, 24.0f * 20 + 52);
  EXPECT_EQ(DEFHEIGHT, 24.0f * 10 + 52);
  EXPECT_EQ(Wrapping, 0);
  EXPECT_EQ(BombLose, 0);
  EXPECT_EQ(GameTime, 3.5f);
  const int cw = world.gui.Width(gCan), ch = world.gui.Height(gCan);
  EXPECT_EQ(cw, 532);  // the window was fitted to the field
  EXPECT_FLOAT_EQ(SCALEX, std::min(cw / DEFWIDTH, ch / DEFHEIGHT));
  ASSERT_EQ(StartGame(20, 10, 5, 1, 0.0f, 257), 1);  // explicit values, low 8 bits
  EXPECT_EQ(Wrapping, 1);
  EXPECT_EQ(BombLose, 1);
  auto a = TPlayer::Create("a", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("b", RGB{}, 1, nullptr, 0);
  auto s = TPlayer::Create("b", RGB{}, 1, nullptr, 1);
  a->out = 1;
  a->score = 9;
  LeavingPlayers.push_back(b);
  SLeavingPlayers.push_back(s);
  ASSERT_EQ(StartGame(20, 10, 5, -1, 0.0f, -1), 1);
  EXPECT_EQ(a->out + a->score, 0);
  EXPECT_EQ(Players.size(), 1u);
  EXPECT_TRUE(SPlayers.empty());
  EXPECT_EQ(LeavingPlayers.size(), 1u);
  EXPECT_EQ(world.gui.CountItems(gChatPList), 1);
}

TEST_F(Game, FirstRevealPlacesMinesAroundTheClickAndFlagsTakeOnlyButtonTwo) {
  ASSERT_EQ(StartGame(9, 9, 20, 1, 0.0f, 0), 1);
  TBlock* own = BlockA(4, 4);
  ClickBlock(own, 2, nullptr);
  ClickBlock(own, 3, nullptr);  // not a button the field knows
  EXPECT_EQ(own->flag, 1);
  EXPECT_EQ(own->fpid, 255);
  ClickBlock(own, 1, nullptr);  // a flag holds the click: no reveal, no mines yet
  EXPECT_EQ(TBlock::NumRevealed(), 0);
  EXPECT_TRUE(MineIds().empty());
  ClickBlock(BlockA(0, 0), 1, nullptr);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) EXPECT_NE(BlockA(0, 0)->BlockAt(i, j)->Value, -1);
  EXPECT_EQ(MineIds().size(), 20u);
  if (!own->Revealed) {
    ClickBlock(own, 2, nullptr);
    EXPECT_EQ(own->flag, 0);
    EXPECT_EQ(TBlock::flags, 0);
  }
}

TEST_F(Game, NetworkClicksKeepForeignFlagsAndPlaceMinesFromTheSeed) {
  TNet::NetStatus = 1;
  rseed = 4242;
  auto a = TPlayer::Create("A", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("B", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(2, 2), 2, b.get());
  ClickBlock(BlockA(2, 2), 2, a.get());  // A cannot remove B's flag
  EXPECT_EQ(BlockA(2, 2)->flag, 1);
  ClickBlock(BlockA(2, 2), 1, a.get());  // but may reveal under it
  EXPECT_EQ(BlockA(2, 2)->Revealed, 1);
  EXPECT_EQ(BlockA(2, 2)->pid, 0);
  const auto mines = MineIds();
  StartGame(9, 9, 10, 1, 0.0f, 1);
  ClickBlock(BlockA(2, 2), 1, nullptr);
  EXPECT_EQ(MineIds(), mines);
}

TEST_F(Game, LethalMineAloneUncoversTheFieldPlaysOnceAndStopsTheClock) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  ClickBlock(Find(true), 1, nullptr);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
  EXPECT_EQ(world.audio.played.size(), 1u);
  EXPECT_TRUE(world.gui.Hidden(gWinWindow));
  const float t = GameTime;
  test::SetClock(5000);
  Update();
  EXPECT_EQ(GameTime, t);
  oSound = 0;
  StartGame(9, 9, 10, 1, 0.0f, 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  ClickBlock(Find(true), 1, nullptr);
  EXPECT_EQ(world.audio.played.size(), 1u);
}

TEST_F(Game, HarmlessMineGoesOnAndTheWinCountsOnlySafeBlocks) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 0), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  ClickBlock(Find(true), 1, nullptr);
  EXPECT_EQ(GameStatus, 0);
  GameTime = 59.9f;
  while (TBlock* s = Find(false)) ClickBlock(s, 1, nullptr);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_FALSE(world.gui.Hidden(gWinWindow));
  EXPECT_EQ(Text(gWinText), "You have won!");
  EXPECT_EQ(Text(gWinTextTime), "Time Taken: 59 secs.");
  EXPECT_FALSE(world.gui.Enabled(gMainWindow));
  EXPECT_EQ(world.gui.Focus(), gWinWindow);
  EXPECT_EQ(world.gui.X(gWinWindow), world.gui.X(gMainWindow) + 30);
}

TEST_F(Game, ScoresComeFromTheBoardAndLethalMinesKnockPlayersOut) {
  TNet::NetStatus = 1;
  rseed = 77;
  auto a = TPlayer::Create("Ann", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("Bob", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  std::vector<TBlock*> mines;
  for (TBlock& x : Blocks)
    if (x.Value == -1) mines.push_back(&x);
  TBlock* safe = Find(false);
  ClickBlock(mines[0], 2, a.get());  // +1
  ClickBlock(mines[1], 2, a.get());  // +1, then taken back: counts for nobody
  ClickBlock(mines[1], 2, a.get());
  ClickBlock(safe, 2, a.get());      // -1
  ClickBlock(mines[2], 2, b.get());  // +1 for Bob
  ClickBlock(mines[2], 2, a.get());  // not Ann's flag: stays Bob's
  a->FindScore();
  b->FindScore();
  EXPECT_EQ(a->score, 0);
  EXPECT_EQ(b->score, 1);
  ClickBlock(mines[3], 1, a.get());  // -5, and Ann is out
  EXPECT_EQ(a->out, 1);
  EXPECT_EQ(GameStatus, 0);
  EXPECT_TRUE(world.audio.played.empty());
  ClickBlock(safe, 2, a.get());  // out: ignored
  EXPECT_EQ(safe->flag, 1);
  ClickBlock(mines[4], 1, b.get());  // Bob too: nobody is left
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(world.audio.played.size(), 1u);
  EXPECT_EQ(Text(gWinText), "Bob has won!");
  EXPECT_NE(Text(gChatConsole).find("\n ----------\n   Scores  \n Bob scored: -4\n Ann scored: -5"), std::string::npos)
      << Text(gChatConsole);
}

TEST_F(Game, ZeroMinesOpeningRevealWinsForEveryone) {
  TNet::NetStatus = 1;
  TPlayer::Create("A", RGB{}, 0, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 0, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(3, 3), 1, nullptr);  // the host's opening reveal, in nobody's name
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(Text(gWinText), "You have won!");
}

TEST_F(Game, UpdateAdvancesTheClockAndFindsTheBlockUnderThePointer) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  SCALEX = SCALEY = 2.0f;
  test::SetClock(2000);
  Delta::Start();
  test::SetClock(2250);
  gMouseX = framex * SCALEX;  // exactly on the left edge: column 0
  gMouseY = (framey + 24 * 3 + 1) * SCALEY;
  Update();
  EXPECT_FLOAT_EQ(GameTime, 0.25f);
  EXPECT_EQ(Delta::FPS, 4);
  ASSERT_NE(MouseBlock, nullptr);
  EXPECT_EQ(MouseBlock->x * 10 + MouseBlock->y, 3);
  EXPECT_EQ(MouseBlock->MouseIn(), 0);  // on the edge, not strictly inside
  gMouseX += 1;
  EXPECT_EQ(MouseBlock->MouseIn(), 1);
  gMouseX = framex * SCALEX - 0.5f;
  Update();
  EXPECT_EQ(MouseBlock, nullptr);
  TBlock::MoveBlocks(1, 0);  // after panning the hit test finds the block shown there
  gMouseX = (framex + 1) * SCALEX;
  Update();
  EXPECT_EQ(MouseBlock->id, 8 * 9 + 3);
}

TEST_F(Game, KeptCountersAgreeWithWalksAfterManyClicks) {
  ASSERT_EQ(StartGame(40, 30, 150, 1, 0.0f, 0), 1);
  SeedRnd(5);
  for (int i = 0; i < 3000; ++i) ClickBlock(TBlock::FromID(Rand(0, 1199)), uint8_t(Rand(1, 2)), nullptr);
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
  auto a = TPlayer::Create("Al", RGB{}, 0, nullptr, 0);
  auto b = TPlayer::Create("al", RGB{}, 1, nullptr, 0);
  auto c = TPlayer::Create("Cy", RGB{}, 2, nullptr, 0);
  b->Left = 1;
  LeavingPlayers.push_back(b);
  EXPECT_EQ(TPlayer::NID(), 3);
  auto s = TPlayer::Create("Al", RGB{}, 3, reinterpret_cast<TNetClient*>(0x10), 1);  // the host's record counts
  EXPECT_EQ(TPlayer::NID(), 4);
  EXPECT_EQ(TPlayer::FindByName("al"), b.get());  // exact, case included
  EXPECT_EQ(TPlayer::FindByID(2), c.get());
  EXPECT_EQ(TPlayer::SFindByClient(reinterpret_cast<TNetClient*>(0x10)), s.get());
  EXPECT_EQ(TPlayer::SFindByID(2), nullptr);
  PlayerlistRefresh();
  ASSERT_EQ(world.gui.CountItems(gChatPList), 3);
  EXPECT_EQ(world.gui.ItemText(gChatPList, 2), "Cy");
  a->score = 1;
  b->score = 3;
  c->score = 1;
  const auto r = RankByScore(Players);
  EXPECT_EQ(r, (std::vector<PlayerRef>{b, a, c}));  // stable for equal scores
  (*a->col)[0] = 1;  // each record owns its colour
  EXPECT_EQ((*c->col)[0], 0);
  s->remove();
  EXPECT_TRUE(SPlayers.empty());
  Players.clear();
  LeavingPlayers.clear();
  for (int i = 0; i < 255; ++i) TPlayer::Create("x", RGB{}, uint8_t(i), nullptr, 0);
  EXPECT_FALSE(TPlayer::NID().has_value());
}
