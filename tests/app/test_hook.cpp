#include <gtest/gtest.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/windows.h"
#include "minefield/game.h"
#include "net/message.h"
#include "net/net.h"
#include "minefield/players.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

struct HookTest : ::testing::Test {
  test::TempDir dir;
  test::World world;
  void SetUp() override {
    test::SetClock(10000);
    ASSERT_TRUE(world.Start());
    firstgame = false;
  }
  // Moves the pointer over a block and lets a tick find it.
  void PointAt(const TBlock* b) {
    const int x = int((framex + b->dx + 12) * SCALEX + OriginX);
    const int y = int((framey + b->dy + 12) * SCALEY + OriginY);
    world.Send(EVENT_MOUSEMOVE, gCan, 0, x, y);
    UpdateMouseBlock();
  }

  test::TestGui& gui() { return world.gui; }
};

}  // namespace

TEST_F(HookTest, RightReleaseFlagsOnlyCoveredBlocksWithoutAPress) {
  TBlock* b = BlockA(3, 3);
  PointAt(b);
  world.Send(EVENT_MOUSEUP, gCan, 2);
  EXPECT_EQ(b->flag, 1);
  world.Send(EVENT_MOUSEUP, gCan, 2);
  EXPECT_EQ(b->flag, 0);
  world.Send(EVENT_MOUSEDOWN, gCan, 1);
  world.Send(EVENT_MOUSEUP, gCan, 1);
  ASSERT_EQ(b->Revealed, 1);
  world.Send(EVENT_MOUSEUP, gCan, 2);
  EXPECT_EQ(b->flag, 0);
  // Events from another gadget do not act on the field.
  PointAt(BlockA(7, 7));
  world.Send(EVENT_MOUSEUP, gCanScore, 2);
  EXPECT_EQ(BlockA(7, 7)->flag, 0);
}

TEST_F(HookTest, ArrowKeysPanOnlyAWrappingFieldFromTheCanvas) {
  const TBlock* b0 = TBlock::FromID(0);
  const struct {
    Gadget** source;
    int key, inverted, pan, x, y;  // where block 0 is after the key
  } keys[] = {{&gCan, 39, 0, 1, 1, 0}, {&gCan, 40, 0, 1, 1, 1}, {&gCan, 37, 0, 1, 0, 1}, {&gCan, 38, 0, 1, 0, 0},
              {&gCan, 39, 1, 1, 8, 0}, {&gCan, 40, 1, 1, 8, 8}, {&gCan, 37, 1, 1, 0, 8}, {&gCan, 38, 1, 1, 0, 0},
              {&gChatInp, 37, 0, 1, 0, 0},  // typed in a text field: edits text, no pan
              {&gCan, 37, 0, 0, 0, 0}};
  for (const auto& k : keys) {
    oInverted = k.inverted;
    oPan = k.pan;
    world.Send(EVENT_KEYDOWN, *k.source, k.key);
    EXPECT_EQ(b0->x * 10 + b0->y, k.x * 10 + k.y) << "key " << k.key << " inverted " << k.inverted;
  }
  oPan = 1;
  NewGame(9, 9, 10, 0, 0.0f, -1);
  world.Send(EVENT_KEYDOWN, gCan, 37);
  EXPECT_EQ(TBlock::FromID(0)->x, 0);
}

// The scale rule on a 9 x 9 field (a 268 x 268 design area): each axis at least 0.6, the board
// at the smaller of the two, the background at each.
TEST_F(HookTest, ScaleRuleCases) {
  const struct {
    int cw, ch, scrollTotal;
    float scale, backX, backY;
  } cases[] = {{536, 804, 536, 2.0f, 2.0f, 3.0f}, {804, 536, 536, 2.0f, 3.0f, 2.0f}, {268, 268, 268, 1.0f, 1.0f, 1.0f},
               {100, 100, 160, 0.6f, 0.6f, 0.6f}, {268, 100, 160, 0.6f, 1.0f, 0.6f}, {67, 1072, 160, 0.6f, 0.6f, 4.0f}};
  for (const auto& c : cases) {
    gui().SetShape(gCan, 0, 40, c.cw, c.ch);
    ApplyCanvasScale();
    EXPECT_FLOAT_EQ(SCALEX, c.scale) << c.cw << "x" << c.ch;
    EXPECT_EQ(SCALEX, SCALEY);
    EXPECT_FLOAT_EQ(BACKSCALEX, c.backX) << c.cw << "x" << c.ch;
    EXPECT_FLOAT_EQ(BACKSCALEY, c.backY) << c.cw << "x" << c.ch;
    EXPECT_TRUE(MemoryGui::M(gHScroll)->total == c.scrollTotal && MemoryGui::M(gHScroll)->visible == c.cw);
  }
  // A resize by the user applies the rule; the ratio menu keeps the width.
  gui().SetMinWindowSize(gMainWindow, 0, 0);
  gui().SetShape(gMainWindow, 0, 0, 100, 100);
  EXPECT_FLOAT_EQ(SCALEX, 0.6f);
  world.Send(EVENT_MENUACTION, menu_game_ratio);
  EXPECT_EQ(gui().Width(gMainWindow), 100);
}

TEST_F(HookTest, NewGameTakesTheOptionsAndFitsTheWindowToTheField) {
  oWrap = 0;
  oBombLose = 0;
  ASSERT_EQ(NewGame(20, 10, 5, -1, 3.5f, -1), 1);
  EXPECT_EQ(Wrapping, 0);
  EXPECT_EQ(BombLose, 0);
  EXPECT_EQ(DEFWIDTH, 532.0f);
  EXPECT_EQ(DEFHEIGHT, 292.0f);
  // The canvas is as wide as the design area; the window's height follows the field's
  // ratio, 532 : 292, plus the menu's 40.
  const int chromeW = gui().Width(gMainWindow) - gui().Width(gCan);
  EXPECT_EQ(gui().Width(gCan), 532);
  EXPECT_EQ(gui().Height(gMainWindow), int((532 + chromeW) * 292 / 532.0 + 40));
  EXPECT_EQ(NewGame(9, 9, 69, -1, 0.0f, -1), 0);
  EXPECT_EQ(BlockAW, 20);
}

TEST_F(HookTest, ALethalMineSoundsAndAClearedFieldShowsTheWinWindow) {
  auto click = [this](TBlock* b) {
    PointAt(b);
    world.Send(EVENT_MOUSEDOWN, gCan, 1);
    world.Send(EVENT_MOUSEUP, gCan, 1);
  };
  SExplosion = std::make_shared<Sound>();  // no res/ here
  for (const uint8_t sound : {1, 0}) {
    oSound = sound;
    world.audio.played.clear();
    ASSERT_EQ(NewGame(9, 9, 10, 1, 0.0f, 1), 1);
    click(BlockA(4, 4));
    click(TBlock::FromID(test::MineIds().at(0)));
    EXPECT_EQ(GameStatus, 2);
    EXPECT_EQ(world.audio.played.size(), size_t(sound));
    EXPECT_TRUE(gui().Hidden(gWinWindow));
  }
  ASSERT_EQ(NewGame(9, 9, 0, 1, 0.0f, 1), 1);
  GameTime = 59.9f;
  click(BlockA(4, 4));
  EXPECT_FALSE(gui().Hidden(gWinWindow));
  EXPECT_EQ(gui().Text(gWinText), "You have won!");
  EXPECT_EQ(gui().Text(gWinTextTime), "Time Taken: 59 secs.");
  EXPECT_FALSE(gui().Enabled(gMainWindow) || gui().Enabled(gCan));
  EXPECT_EQ(gui().Focus(), gWinWindow);
  EXPECT_EQ(gui().X(gWinWindow), gui().X(gMainWindow) + 30);
  EXPECT_TRUE(world.audio.played.empty());
}
