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
  ASSERT_EQ(StartGame(9, 9, 10, -1, 0.0f, -1), 1);
  TBlock* first = &Blocks[0];
  GameTime = 12.0f;
  EXPECT_EQ(StartGame(9, 9, 69, -1, 0.0f, -1), 0);  // 81 - 12
  EXPECT_EQ(StartGame(0, 9, -100, -1, 0.0f, -1), 0);
  EXPECT_EQ(StartGame(9, -1, -100, -1, 0.0f, -1), 0);
  EXPECT_EQ(StartGame(70000, 70000, 1, -1, 0.0f, -1), 0);  // overflows 32 bits
  EXPECT_EQ(StartGame(65536, 65537, -2000000000, -1, 0.0f, -1), 0);
  EXPECT_EQ(StartGame(2048, 1025, 1, -1, 0.0f, -1), 0);  // over the block cap
  EXPECT_EQ(&Blocks[0], first);
  EXPECT_EQ(GameTime, 12.0f);
  EXPECT_EQ(BlockAW, 9);
  EXPECT_EQ(StartGame(9, 9, 68, -1, 0.0f, -1), 1);
  EXPECT_EQ(Mines, 68);
}

TEST_F(Game, StartGameSetsDesignAreaOptionsAndResetsPlayers) {
  oWrap = 0;
  oBombLose = 0;
  ASSERT_EQ(StartGame(20, 10, 5, -1, 3.5f, -1), 1);
  EXPECT_EQ(DEFWIDTH, 24.0f * 20 + 52);
  EXPECT_EQ(DEFHEIGHT, 24.0f * 10 + 52);
  EXPECT_FLOAT_EQ(winr, DEFWIDTH / DEFHEIGHT);
  EXPECT_EQ(Wrapping, 0);
  EXPECT_EQ(BombLose, 0);
  EXPECT_EQ(GameTime, 3.5f);
  EXPECT_EQ(GameStatus, 0);
  // The window was fitted to the field's proportions and the scale follows the canvas.
  const int cw = world.gui.Width(gCan), ch = world.gui.Height(gCan);
  EXPECT_FLOAT_EQ(SCALEX, std::min(std::max(cw / DEFWIDTH, 0.6f), std::max(ch / DEFHEIGHT, 0.6f)));
  // The window width gives a canvas as wide as the design area; the height follows the ratio.
  const int chromeW = world.gui.Width(gMainWindow) - cw;  // frame and vertical scroll bar
  EXPECT_EQ(chromeW, 16 + world.gui.windowChromeW);
  EXPECT_EQ(world.gui.Width(gMainWindow), 532 + chromeW);
  EXPECT_EQ(world.gui.Height(gMainWindow), int(float(532 + chromeW) / winr + 40.0f));

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
  EXPECT_EQ(a->out, 0);
  EXPECT_EQ(a->score, 0);
  ASSERT_EQ(Players.size(), 1u);
  EXPECT_TRUE(SPlayers.empty());
  EXPECT_EQ(LeavingPlayers.size(), 1u);  // the leaving lists stay
  EXPECT_EQ(world.gui.CountItems(gChatPList), 1);
}

TEST_F(Game, FirstRevealPlacesMinesAroundTheClickedBlock) {
  BombLose = 0;
  ASSERT_EQ(StartGame(9, 9, 20, 1, 0.0f, 0), 1);
  TBlock* own = BlockA(4, 4);
  ClickBlock(own, 2, nullptr);  // own flag: a reveal click does nothing, no mines yet
  ClickBlock(own, 1, nullptr);
  EXPECT_EQ(own->Revealed, 0);
  EXPECT_EQ(TBlock::NumRevealed(), 0);
  for (const TBlock& b : Blocks) EXPECT_NE(b.Value, -1);
  ClickBlock(BlockA(0, 0), 1, nullptr);
  EXPECT_EQ(BlockA(0, 0)->Value, 0);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) EXPECT_NE(BlockA(0, 0)->BlockAt(i, j)->Value, -1);
  int mines = 0;
  for (const TBlock& b : Blocks) mines += b.Value == -1;
  EXPECT_EQ(mines, 20);
  EXPECT_EQ(own->flag, own->Revealed ? 0 : 1);  // flags before the first reveal stay unless flooded
}

TEST_F(Game, NetworkClickOnForeignFlagRevealsAndPlacesMinesFromSeed) {
  TNet::NetStatus = 1;
  rseed = 4242;
  auto a = TPlayer::Create("A", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("B", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(2, 2), 2, b.get());
  ClickBlock(BlockA(2, 2), 2, a.get());  // A cannot remove B's flag
  EXPECT_EQ(BlockA(2, 2)->flag, 1);
  ClickBlock(BlockA(2, 2), 1, a.get());
  EXPECT_EQ(BlockA(2, 2)->Revealed, 1);
  EXPECT_EQ(BlockA(2, 2)->pid, 0);
  std::vector<int> mines;
  for (const TBlock& x : Blocks)
    if (x.Value == -1) mines.push_back(x.id);
  StartGame(9, 9, 10, 1, 0.0f, 1);
  ClickBlock(BlockA(2, 2), 1, nullptr);
  std::vector<int> again;
  for (const TBlock& x : Blocks)
    if (x.Value == -1) again.push_back(x.id);
  EXPECT_EQ(mines, again);
}

TEST_F(Game, LethalMineAloneUncoversFieldPlaysOnceAndShowsNoWindow) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  TBlock* m = Mine();
  ASSERT_NE(m, nullptr);
  ClickBlock(m, 1, nullptr);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
  EXPECT_EQ(world.audio.played.size(), 1u);
  EXPECT_TRUE(world.gui.Hidden(gWinWindow));
  const float t = GameTime;
  test::SetClock(5000);
  Update();
  EXPECT_EQ(GameTime, t);  // the clock stopped
  oSound = 0;
  StartGame(9, 9, 10, 1, 0.0f, 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  ClickBlock(Mine(), 1, nullptr);
  EXPECT_EQ(world.audio.played.size(), 1u);
}

TEST_F(Game, HarmlessMineGoesOnAndWinCountsOnlySafeBlocks) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 0), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  ClickBlock(Mine(), 1, nullptr);
  EXPECT_EQ(GameStatus, 0);
  GameTime = 59.9f;
  while (TBlock* s = Safe()) ClickBlock(s, 1, nullptr);
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(TBlock::NumRevealed(), 81);
  EXPECT_FALSE(world.gui.Hidden(gWinWindow));
  EXPECT_EQ(Text(gWinText), "You have won!");
  EXPECT_EQ(Text(gWinTextTime), "Time Taken: 59 secs.");
  EXPECT_FALSE(world.gui.Enabled(gMainWindow));
  EXPECT_FALSE(world.gui.Enabled(gCan));
  EXPECT_EQ(world.gui.Focus(), gWinWindow);
  EXPECT_EQ(world.gui.X(gWinWindow), world.gui.X(gMainWindow) + 30);
  EXPECT_EQ(world.gui.Y(gWinWindow), world.gui.Y(gMainWindow) + 30);
}

TEST_F(Game, NetworkLethalMinesKnockOutThenEndForAll) {
  TNet::NetStatus = 1;
  rseed = 77;
  auto a = TPlayer::Create("Ann", RGB{1, 1, 1}, 0, nullptr, 0);
  auto b = TPlayer::Create("Bob", RGB{2, 2, 2}, 1, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(4, 4), 1, nullptr);
  TBlock* m1 = Mine();
  ClickBlock(m1, 1, a.get());
  EXPECT_EQ(a->out, 1);
  EXPECT_EQ(GameStatus, 0);
  EXPECT_TRUE(world.audio.played.empty());
  TBlock* s = Safe();
  ClickBlock(s, 1, a.get());  // out: ignored
  EXPECT_EQ(s->Revealed, 0);
  // Bob flags a mine (+1) and then hits one (-5): Ann has -5, Bob -4.
  TBlock* m2 = nullptr;
  for (TBlock& x : Blocks)
    if (x.Value == -1 && !x.Revealed) {
      if (!m2) {
        m2 = &x;
        ClickBlock(&x, 2, b.get());
      } else {
        ClickBlock(&x, 1, b.get());
        break;
      }
    }
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(world.audio.played.size(), 1u);
  EXPECT_EQ(Text(gWinText), "Bob has won!");
  const std::string console = Text(gChatConsole);
  EXPECT_NE(console.find("\n ----------\n   Scores  \n Bob scored: -4\n Ann scored: -5"), std::string::npos) << console;
}

TEST_F(Game, ZeroMinesOpeningRevealWinsForEveryone) {
  TNet::NetStatus = 1;
  TPlayer::Create("A", RGB{}, 0, nullptr, 0);
  ASSERT_EQ(StartGame(9, 9, 0, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(3, 3), 1, nullptr);  // the host's opening reveal, in nobody's name
  EXPECT_EQ(GameStatus, 2);
  EXPECT_EQ(Text(gWinText), "You have won!");
}

TEST_F(Game, FlagClicksAndOtherButtons) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  ClickBlock(BlockA(1, 1), 2, nullptr);
  EXPECT_EQ(BlockA(1, 1)->flag, 1);
  EXPECT_EQ(BlockA(1, 1)->fpid, 255);  // no player
  ClickBlock(BlockA(1, 1), 3, nullptr);
  EXPECT_EQ(BlockA(1, 1)->flag, 1);
  ClickBlock(BlockA(1, 1), 2, nullptr);
  EXPECT_EQ(BlockA(1, 1)->flag, 0);
  EXPECT_EQ(TBlock::flags, 0);
}

TEST_F(Game, UpdateAdvancesClockAndFindsTheBlockUnderThePointer) {
  ASSERT_EQ(StartGame(9, 9, 10, 1, 0.0f, 1), 1);
  SCALEX = SCALEY = 2.0f;
  test::SetClock(2000);
  Delta::Start();
  test::SetClock(2250);
  gMouseX = framex * SCALEX;  // exactly on the left edge: column 0
  gMouseY = (framey + 24 * 3 + 1) * SCALEY;
  Update();
  EXPECT_FLOAT_EQ(GameTime, 0.25f);
  EXPECT_FLOAT_EQ(DeltaTime, 0.25f);
  EXPECT_EQ(Delta::FPS, 4);
  ASSERT_NE(MouseBlock, nullptr);
  EXPECT_EQ(MouseBlock->x, 0);
  EXPECT_EQ(MouseBlock->y, 3);
  EXPECT_EQ(MouseBlock->MouseIn(), 0);  // on the edge, not strictly inside
  gMouseX += 1;
  EXPECT_EQ(MouseBlock->MouseIn(), 1);
  gMouseX = framex * SCALEX - 0.5f;
  Update();
  EXPECT_EQ(MouseBlock, nullptr);
  // After panning the hit test finds the block shown there.
  TBlock::MoveBlocks(1, 0);
  gMouseX = (framex + 1) * SCALEX;
  Update();
  EXPECT_EQ(MouseBlock->id, 8 * 9 + 3);
}

TEST_F(Game, DeltaSamplesFpsAboutOnceASecond) {
  test::SetClock(0);
  Delta::Start();
  Delta::__d = 0;
  for (int t = 20; t <= 1000; t += 20) {
    test::SetClock(t);
    Delta::Update();
  }
  EXPECT_EQ(Delta::GetFPS(0), 50);
  EXPECT_EQ(Delta::GetFPS(1), 50);
  EXPECT_EQ(Delta::GetFPS(2), 0);
  EXPECT_EQ(Delta::__d, 0);
}

TEST_F(Game, ClickReplayCostDoesNotDependOnWalks) {
  // The kept counters agree with walks after a mix of floods and flag toggles.
  ASSERT_EQ(StartGame(40, 30, 150, 1, 0.0f, 0), 1);
  SeedRnd(5);
  for (int i = 0; i < 3000; ++i) {
    TBlock* b = TBlock::FromID(Rand(0, 1199));
    ClickBlock(b, uint8_t(Rand(1, 2)), nullptr);
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
