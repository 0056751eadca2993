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
