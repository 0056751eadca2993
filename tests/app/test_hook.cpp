#include <gtest/gtest.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/windows.h"
#include "minefield/game.h"
#include "net/message.h"
#include "net/net.h"
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
    gView.back.firstgame = false;
  }
  // Moves the pointer over a block and lets a tick find it.
  void PointAt(int id) {
    const Scale& s = gView.scale;
    const int x = int((gView.framex + DrawX(gGame, gView, id) + 12) * s.SCALEX + s.OriginX);
    const int y = int((gView.framey + DrawY(gGame, gView, id) + 12) * s.SCALEY + s.OriginY);
    world.Send(EVENT_MOUSEMOVE, gCan, 0, x, y);
    UpdateMouseBlock(gGame, gView);
  }
  // A press and release of the button over a block.
  void Click(int id, int button) {
    PointAt(id);
    world.Send(EVENT_MOUSEDOWN, gCan, button);
    world.Send(EVENT_MOUSEUP, gCan, button);
  }
  static TBlock& B(int x, int y) { return gGame.Blocks[size_t(x * gGame.BlockAH + y)]; }

  test::TestGui& gui() { return world.gui; }
};

}  // namespace

TEST_F(HookTest, LeftReleaseNeedsAPressOverTheFieldAndRightReleaseFlagsOnlyCoveredBlocks) {
  TBlock* b = &B(3, 3);
  world.Send(EVENT_MOUSEMOVE, gCan, 0, 2, 2);  // pressed off the board, let go over a block
  UpdateMouseBlock(gGame, gView);
  world.Send(EVENT_MOUSEDOWN, gCan, 1);
  PointAt(3 * 9 + 3);
  world.Send(EVENT_MOUSEUP, gCan, 1);
  EXPECT_EQ(gGame.revealed, 0);
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
  PointAt(7 * 9 + 7);
  world.Send(EVENT_MOUSEUP, gCanScore, 2);
  EXPECT_EQ(B(7, 7).flag, 0);
}

// Panning moves where blocks are shown, never the game.
TEST_F(HookTest, ArrowKeysPanOnlyAWrappingFieldFromTheCanvas) {
  auto at = [] { return int(DrawX(gGame, gView, 0) / 24) * 10 + int(DrawY(gGame, gView, 0) / 24); };
  Click(40, 1);
  const Game before = gGame;
  const struct {
    Gadget** source;
    int key, inverted, pan, x, y;  // where block 0 is after the key
  } keys[] = {{&gCan, 39, 0, 1, 1, 0}, {&gCan, 40, 0, 1, 1, 1}, {&gCan, 37, 0, 1, 0, 1}, {&gCan, 38, 0, 1, 0, 0},
              {&gCan, 39, 1, 1, 8, 0}, {&gCan, 40, 1, 1, 8, 8}, {&gCan, 37, 1, 1, 0, 8}, {&gCan, 38, 1, 1, 0, 0},
              {&gChatInp, 37, 0, 1, 0, 0},  // typed in a text field: edits text, no pan
              {&gCan, 37, 0, 0, 0, 0}};
  for (const auto& k : keys) {
    gOptions.oInverted = k.inverted;
    gOptions.oPan = k.pan;
    world.Send(EVENT_KEYDOWN, *k.source, k.key);
    EXPECT_EQ(at(), k.x * 10 + k.y) << "key " << k.key << " inverted " << k.inverted;
  }
  EXPECT_EQ(test::MineIds(gGame), test::MineIds(before));
  EXPECT_EQ(gGame.revealed, before.revealed);
  gOptions.oPan = 1;
  NewGame(9, 9, 10, 0, 0.0f, -1);
  world.Send(EVENT_KEYDOWN, gCan, 37);
  EXPECT_EQ(at(), 0);
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
    const Scale& s = gView.scale;
    EXPECT_FLOAT_EQ(s.SCALEX, c.scale) << c.cw << "x" << c.ch;
    EXPECT_EQ(s.SCALEX, s.SCALEY);
    EXPECT_FLOAT_EQ(s.BACKSCALEX, c.backX) << c.cw << "x" << c.ch;
    EXPECT_FLOAT_EQ(s.BACKSCALEY, c.backY) << c.cw << "x" << c.ch;
    EXPECT_TRUE(MemoryGui::M(gHScroll)->total == c.scrollTotal && MemoryGui::M(gHScroll)->visible == c.cw);
  }
  // A resize by the user applies the rule; the ratio menu keeps the width.
  gui().SetMinWindowSize(gMainWindow, 0, 0);
  gui().SetShape(gMainWindow, 0, 0, 100, 100);
  EXPECT_FLOAT_EQ(gView.scale.SCALEX, 0.6f);
  world.Send(EVENT_MENUACTION, menu_game_ratio);
  EXPECT_EQ(gui().Width(gMainWindow), 100);
}

TEST_F(HookTest, NewGameTakesTheOptionsAndFitsTheWindowToTheField) {
  gOptions.oWrap = 0;
  gOptions.oBombLose = 0;
  ASSERT_TRUE(NewGame(20, 10, 5, -1, 3.5f, -1));
  EXPECT_EQ(gGame.Wrapping, 0);
  EXPECT_EQ(gGame.BombLose, 0);
  EXPECT_EQ(gView.scale.DEFWIDTH, 532.0f);
  EXPECT_EQ(gView.scale.DEFHEIGHT, 292.0f);
  // The canvas is as wide as the design area; the window's height follows the field's
  // ratio, 532 : 292, plus the menu's 40.
  const int chromeW = gui().Width(gMainWindow) - gui().Width(gCan);
  EXPECT_EQ(gui().Width(gCan), 532);
  EXPECT_EQ(gui().Height(gMainWindow), int((532 + chromeW) * 292 / 532.0 + 40));
  EXPECT_FALSE(NewGame(9, 9, 69, -1, 0.0f, -1));
  EXPECT_EQ(gGame.BlockAW, 20);
}

TEST_F(HookTest, ALethalMineSoundsAndAClearedFieldShowsTheWinWindow) {
  gRes.SExplosion = std::make_shared<Sound>();  // no res/ here
  for (const uint8_t sound : {1, 0}) {
    gOptions.oSound = sound;
    world.audio.played.clear();
    ASSERT_TRUE(NewGame(9, 9, 10, 1, 0.0f, 1));
    Click(40, 1);
    Click(test::MineIds(gGame)[0], 1);
    EXPECT_EQ(world.audio.played.size(), size_t(sound));
    EXPECT_TRUE(gui().Hidden(gWinWindow));
  }
  ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 1));
  gGame.GameTime = 59.9f;
  Click(40, 1);
  EXPECT_FALSE(gui().Hidden(gWinWindow));
  EXPECT_EQ(gui().Text(gWinText), "You have won!");
  EXPECT_EQ(gui().Text(gWinTextTime), "Time Taken: 59 secs. New best time! Rank 1.");
  EXPECT_FALSE(gui().Enabled(gMainWindow) || gui().Enabled(gCan));
  EXPECT_EQ(gui().Focus(), gWinWindow);
  EXPECT_EQ(gui().X(gWinWindow), gui().X(gMainWindow) + 30);
  EXPECT_TRUE(world.audio.played.empty());
}

// "Ok" writes each field to its own key, and refuses a field no game starts on.
TEST_F(HookTest, OptionsOkSavesEachFieldToItsKey) {
  const struct {
    Gadget** control;
    const char* text;  // null: the check box is flipped
    std::string line;  // the key's line after "Ok"
    bool refused = false;
  } fields[] = {{&gOptionWidth, "12", "Width=12"}, {&gOptionHeight, "11", "Height=11"}, {&gOptionMines, "20", "Mines=20"},
                {&gOptionWrap, nullptr, "Wrap=0"},  {&gOptionSound, nullptr, "Sound=0"},  {&gOptionBombL, nullptr, "Bombkill=0"},
                {&gOptionPan, nullptr, "Pan=0"},    {&gOptionInvert, nullptr, "InvertArrows=1"},
                {&gOptionMines, "120", "Mines=20", true}, {&gOptionMines, "119", "Mines=119"}};  // 12 x 11 - 12 refused
  for (const auto& f : fields) {
    const std::string key = f.line.substr(0, f.line.find('='));
    std::string want = test::ReadFile("config.ini");
    const size_t at = want.find("\n" + key + "=") + 1;
    want.replace(at, want.find('\r', at) - at, f.line);
    world.Send(EVENT_MENUACTION, menu_game_options);
    f.text ? gui().SetText(*f.control, f.text) : gui().SetButtonState(*f.control, !gui().ButtonState(*f.control));
    world.Send(EVENT_GADGETACTION, gOptionOK);
    EXPECT_EQ(gui().Hidden(gOptionWindow), !f.refused) << f.line;
    EXPECT_EQ(test::ReadFile("config.ini"), want) << f.line;
    EXPECT_EQ(key + "=" + OptionText(Option(key), gOptions), f.line);  // in use as saved
  }
  EXPECT_EQ(gGame.BlockAW, 9);  // takes effect at the next game
}

// Alone, a middle release chords a number whose marks match it; a wrong mark sets the mine off. The clock
// catches up at once after a stall, and stops for good with the game, which then takes no more clicks.
TEST_F(HookTest, ChordsAloneAndTheEndOfALethalGame) {
  gGame = test::Field(9, 9, 0);
  gGame.BombLose = 1;
  B(1, 1).Value = -1;
  MakeMines(gGame, 0, 0, 0, 1);  // the numbers around it
  Reveal(gGame, 0, nullptr, false, true);
  const int steps[][5] = {{3, 0, 0, 1, 5},                                    // button, x, y; revealed, time
                          {2, 1, 1, 1, 10}, {3, 0, 0, 3, 15},                  // marked: its two safe neighbours
                          {2, 1, 1, 3, 20}, {2, 0, 2, 3, 25}, {3, 0, 1, 81, 30},  // a wrong mark: all goes up
                          {1, 5, 5, 81, 30}, {2, 5, 5, 81, 30}, {3, 0, 1, 81, 30}};
  int32_t now = 10000;
  for (const auto& [button, x, y, revealed, time] : steps) {
    test::SetClock(now += 5000);  // five seconds without a tick
    world.Send(EVENT_TIMERTICK, nullptr);
    Click(x * 9 + y, button);
    EXPECT_EQ(gGame.revealed, revealed) << button << " at " << x << "," << y;
    EXPECT_FLOAT_EQ(gGame.GameTime, float(time)) << button << " at " << x << "," << y;
  }
  EXPECT_EQ(gGame.GameStatus, GAME_OVER);
  EXPECT_EQ(gGame.flags, 1);
}
