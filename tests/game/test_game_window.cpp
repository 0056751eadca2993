#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/record_windows.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "minefield/text.h"
#include "platform/backends/qt_gui.h"
#include "platform/sound.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"
#include "tests/support/qt_probe.h"
#include "tests/support/scratch.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

QtGui* gQt = nullptr;
MemoryAudio gAudio;

QWidget* Canvas() { return test::WidgetOf(gCan); }

// Redraw paints before it returns, so the grabbed frame shows the state right now.
QImage Frame() {
  gQt->Redraw(gCan);
  return test::CanvasPicture(gCan).convertToFormat(QImage::Format_RGB32);
}

// A block's centre in canvas pixels.
QPoint Centre(int id) {
  const Scale& s = gView.scale;
  return QPoint(int((gView.framex + DrawX(gGame, gView, id) + 12) * s.SCALEX + s.OriginX),
                int((gView.framey + DrawY(gGame, gView, id) + 12) * s.SCALEY + s.OriginY));
}
int Id(int x, int y) { return x * gGame.BlockAH + y; }
const TBlock& B(int id) { return gGame.Blocks[size_t(id)]; }

void Click(int id, Qt::MouseButton button) {
  const QPoint p = Centre(id);
  QTest::mouseMove(Canvas(), p);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gView.MouseBlock == id; })) << "no tick found the block under the pointer";
  QTest::mousePress(Canvas(), button, {}, p);
  QTest::mouseRelease(Canvas(), button, {}, p);  // the hook plays the click before this returns
}

// A key pressed on the X server, as a player's keyboard does, once the window
// has the input focus (which a window manager gives a new window; Xvfb has none).
void PressKey(Gadget* window, const char* key) {
  const std::string cmd =
      "xdotool windowfocus --sync " + std::to_string(test::WidgetOf(window)->winId()) + " key " + key;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The window is shown, framed and holds the keyboard focus.
void ExpectActive(Gadget* window) {
  QWidget* w = test::WidgetOf(window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->isVisible(); }));
  ASSERT_TRUE(QTest::qWaitForWindowActive(w)) << "no keyboard focus for " << gQt->Text(window);
}

// A label shows its whole text on one line and overlaps no other control of its window.
void ExpectOneWholeLine(QLabel* label) {
  const QFontMetrics fm(label->font());
  EXPECT_LE(fm.horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
  EXPECT_LE(label->heightForWidth(label->width()), fm.height() + 1) << label->text().toStdString() << " wraps";
  for (QWidget* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_TRUE(other == label || !other->isVisible() || !label->geometry().intersects(other->geometry()))
        << label->text().toStdString();
}

int Brightness(QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); }

Event Send(int id, Gadget* source, int data = 0) { return test::World::Send(id, source, data); }

class GameWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const test::ScratchDir scratch;
    const std::string& dir = scratch.path;
    std::filesystem::create_directory_symlink(BG_RES_DIR, dir + "/res");
    std::ofstream(dir + "/config.ini") << "[settings]\r\nEffects=0\r\n";
    ASSERT_EQ(chdir(dir.c_str()), 0);
    gQt = new QtGui();
    SetGui(gQt);
    SetAudio(&gAudio);
    std::string error;
    ASSERT_TRUE(Initialise(error, true)) << error;
    gView.back.firstgame = false;  // no opening flash over the pictures we read
    ASSERT_TRUE(QTest::qWaitForWindowExposed(test::WidgetOf(gMainWindow)));
  }
};

TEST_F(GameWindow, FirstFrameShowsTheFramedBoardAtItsPlace) {
  ASSERT_TRUE(test::WidgetOf(gMainWindow)->isVisible());
  const QImage img = Frame();
  ASSERT_EQ(img.width(), gQt->Width(gCan));  // a frame is there
  // The frame grows outward from the board's edge: the pixel just left of the board is black.
  const Scale& s = gView.scale;
  const float framex = gView.framex, framey = gView.framey;
  const int edgeX = int(framex * s.SCALEX + s.OriginX) - 2;
  const int midY = int((framey + 12 * 4.5f) * s.SCALEY);
  EXPECT_LT(Brightness(img.pixel(edgeX, midY)), 60);
  // A covered block is light, and so is the background beside the frame.
  EXPECT_GT(Brightness(img.pixel(Centre(Id(4, 4)))), 450);
  EXPECT_GT(Brightness(img.pixel(int(framex * s.SCALEX) - 10, midY)), 300);
  // The board is as large as the scale says: the frame's right edge is where it should be.
  const int rightX = int((framex + 24 * 9) * s.SCALEX) + 1;
  EXPECT_LT(Brightness(img.pixel(rightX, midY)), 60);
  // Resized, the board keeps its proportions: the frame's corners follow the one scale.
  ASSERT_TRUE(NewGame(12, 8, 10, 1, 0.0f, 1));
  gQt->SetShape(gMainWindow, 40, 40, 900, 500);
  EXPECT_EQ(s.SCALEX, s.SCALEY);
  const QImage resized = Frame();
  const int y = int((framey + 24 * 4) * s.SCALEY);
  EXPECT_LT(Brightness(resized.pixel(int(framex * s.SCALEX) - 2, y)), 60);
  EXPECT_LT(Brightness(resized.pixel(int((framex + 24 * 12) * s.SCALEX) + 1, y)), 60);
}

TEST_F(GameWindow, MultiplayerTabsAndLabelsFit) {
  Send(EVENT_MENUACTION, menu_multiplayer);
  QWidget* win = test::WidgetOf(gMultiWindow);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
  QTabBar* bar = test::WidgetOf(gMultiTabber)->findChild<QTabBar*>();
  ASSERT_TRUE(bar && bar->count() == 4);
  EXPECT_GE(gQt->Width(gMultiWindow), 350);
  for (int i = 0; i < bar->count(); ++i) {
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << bar->tabText(i).toStdString() << " runs past the tab row";
    EXPECT_GT(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
  }
  for (QToolButton* arrow : bar->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible()) << "scroll arrows";
  int labels = 0;
  for (int page = 0; page < 4; ++page) {
    bar->setCurrentIndex(page);  // as a click on the tab does: the page shows at once
    for (QLabel* label : win->findChildren<QLabel*>())
      if (label->isVisible() && label->parentWidget() == test::QtOf(gMultiTabber)->client) {
        ExpectOneWholeLine(label);
        ++labels;
      }
  }
  EXPECT_EQ(labels, 3);  // "Name:", "Server IP", "Server Port"
  bar->setCurrentIndex(0);
  Send(EVENT_MENUACTION, menu_multiplayer);
  EXPECT_FALSE(win->isVisible());
}

TEST_F(GameWindow, WinWindowFitsALongWinnersName) {
  const std::string name = "Wilhelmina Featherstonehaugh-Cholmondeley";
  ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 0));
  AddPlayer(gGame, name, RGB{200, 40, 40}, 0);
  PresentClick(Apply(gGame, Move{Id(2, 2), CLICK_UNCOVER, 0}));
  ASSERT_EQ(gGame.GameStatus, GAME_OVER);
  ASSERT_EQ(gQt->Text(gWinText), name + " has won!");
  QWidget* win = test::WidgetOf(gWinWindow);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
  auto* text = static_cast<QLabel*>(test::WidgetOf(gWinText));
  ExpectOneWholeLine(text);
  EXPECT_EQ(text->geometry().right() + 1, win->width()) << "the label spans the client area";
  const int x = gQt->X(gWinWindow), w = gQt->Width(gWinWindow);
  EXPECT_TRUE(w > 200 && x >= 0 && x + w <= gQt->DesktopWidth()) << "at " << x << ", " << w << " wide";
  Send(EVENT_WINDOWCLOSE, gWinWindow);
  gGame.Players.clear();
  // Alone, won by a click of the mouse: the described window, over a disabled main window.
  ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 0));
  Click(Id(2, 2), Qt::LeftButton);
  ASSERT_EQ(gGame.GameStatus, GAME_OVER);
  ASSERT_EQ(gQt->Text(gWinText), "You have won!");
  EXPECT_TRUE(win->isVisible());
  // The window widens for the best time's rank, the time's whole line in view.
  EXPECT_NE(gQt->Text(gWinTextTime).find(" New best time! Rank "), std::string::npos) << gQt->Text(gWinTextTime);
  ExpectOneWholeLine(static_cast<QLabel*>(test::WidgetOf(gWinTextTime)));
  ExpectOneWholeLine(text);
  EXPECT_FALSE(gQt->Enabled(gMainWindow));  // (each repaint enables the canvas itself again)
  Send(EVENT_WINDOWCLOSE, gWinWindow);
  EXPECT_FALSE(win->isVisible());
  EXPECT_TRUE(gQt->Enabled(gMainWindow) && gQt->Enabled(gCan));
}

TEST_F(GameWindow, EscapeAndReturnCloseTheDialogs) {
  const auto closedByKey = [](Gadget* window, const char* key) {
    ExpectActive(window);
    PressKey(window, key);
    EXPECT_TRUE(QTest::qWaitFor([&] { return gQt->Hidden(window); })) << key << " left " << gQt->Text(window) << " open";
    EXPECT_TRUE(gQt->Enabled(gMainWindow) && gQt->Enabled(gCan));
  };
  Send(EVENT_MENUACTION, menu_help_about);
  closedByKey(gAboutWindow, "Escape");
  const int32_t width = gOptions.oWidth;
  Send(EVENT_MENUACTION, menu_game_options);
  gQt->SetText(gOptionWidth, "12");
  closedByKey(gOptionWindow, "Escape");
  EXPECT_EQ(gOptions.oWidth, width);  // cancelled
  gQt->SetText(gOptionWidth, std::to_string(width));
  for (const char* key : {"Return", "Escape"}) {
    ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 0));
    PresentClick(ClickBlock(gGame, Id(2, 2), CLICK_UNCOVER, nullptr));
    closedByKey(gWinWindow, key);
  }
}

// Each tick draws only what changed since the frame on screen, or nothing:
// at every step of a session the picture equals the whole frame drawn afresh.
TEST_F(GameWindow, RedrawingOnlyWhatChangedLeavesTheWholePicture) {
  ASSERT_TRUE(NewGame(12, 10, 15, 1, 0.0f, 1));
  gQt->SetShape(gMainWindow, 40, 40, 420, 400);
  QTest::qWait(300);
  const auto same = [](const char* step) {
    QTest::qWait(60);
    for (Gadget* c : {gCan, gCanScore}) {
      const QImage shown = test::CanvasPicture(c);
      test::QtOf(c)->canvas->RedrawWhole();  // what drawing every frame whole would show
      EXPECT_TRUE(!shown.isNull() && shown == test::CanvasPicture(c)) << step << (c == gCan ? " (board)" : " (score)");
    }
  };
  same("new field");
  ASSERT_TRUE(QTest::qWaitFor([] { return TickResting(); })) << "with nothing happening the tick rests";
  const auto rest = gQt->FramesOf(gCan);
  QTest::qWait(300);
  EXPECT_EQ(gQt->FramesOf(gCan).presented, rest.presented) << "a board at rest is not drawn";
  EXPECT_LT(gQt->FramesOf(gCan).skipped, rest.skipped + 5) << "nor recorded 70 times a second";
  QTest::mouseMove(Canvas(), Centre(Id(3, 3)));
  same("pointer over a block");
  const QPoint p = Centre(Id(9, 7));
  QTest::mouseMove(Canvas(), p);
  same("pointer over another");
  const QRgb before = test::CanvasPicture(gCan).pixel(p);
  QTest::mousePress(Canvas(), Qt::LeftButton, {}, p);
  same("button held");
  QTest::mouseRelease(Canvas(), Qt::LeftButton, {}, p);
  same("revealed");
  ASSERT_EQ(B(Id(9, 7)).Revealed, 1);
  EXPECT_NE(test::CanvasPicture(gCan).pixel(p), before) << "the revealed look differs from the covered one";
  EXPECT_GT(gQt->FramesOf(gCan).partial, rest.partial);
  int covered = 0;
  while (B(covered).Revealed) ++covered;
  Click(covered, Qt::RightButton);
  same("flagged");
  ASSERT_EQ(B(covered).flag, 1);
  const QRgb flag = test::CanvasPicture(gCan).pixel(Centre(covered) + QPoint(0, -2));
  EXPECT_GT(qRed(flag), qBlue(flag) + 40) << "a red flag";
  QTest::qWait(1000);
  same("a second later");
  ASSERT_TRUE(QTest::qWaitFor([] { return TickResting(); }));
  while (B(covered).Revealed || B(covered).flag) ++covered;
  Click(covered, Qt::RightButton);
  same("flagged after a rest");
  ASSERT_EQ(B(covered).flag, 1);
  Send(EVENT_MENUACTION, menu_game_theme);
  same("plain background");
  gQt->SetShape(gMainWindow, 40, 40, 240, 250);
  QTest::qWait(200);
  Send(EVENT_GADGETACTION, gHScroll, 20);
  same("smaller and scrolled");
  Send(EVENT_MENUACTION, menu_game_theme);
  const auto fading = gQt->FramesOf(gCan);
  EXPECT_TRUE(QTest::qWaitFor([&] { return gQt->FramesOf(gCan).presented > fading.presented + 3; }))
      << "the cross-fade animates";
  same("cross-fade");
  Send(EVENT_MENUACTION, menu_game_theme);
  gOptions.oEffects = 1;
  ASSERT_TRUE(NewGame(12, 10, 15, 1, 0.0f, 1));
  gOptions.oEffects = 0;
  same("opening effect");
  QTest::qWait(300);
  same("opening effect later");
  // A big field, scrolled: only what is on the canvas is drawn, and that is whole.
  ASSERT_TRUE(NewGame(600, 500, 3000, 1, 0.0f, 1));
  gQt->SetShape(gMainWindow, 40, 40, 420, 400);
  QTest::qWait(200);
  same("big field");
  for (const auto& [dx, dy] : {std::pair{3000, 2000}, {3010, 2000}, {2500, 2600}}) {
    Send(EVENT_GADGETACTION, gHScroll, dx);
    Send(EVENT_GADGETACTION, gVScroll, dy);
    const QPoint mid(Canvas()->width() / 2, Canvas()->height() / 2);
    QTest::mouseMove(Canvas(), mid);
    ASSERT_TRUE(QTest::qWaitFor([] { return gView.MouseBlock >= 0; }));
    const int id = gView.MouseBlock;
    QTest::mousePress(Canvas(), Qt::LeftButton, {}, mid);
    QTest::mouseRelease(Canvas(), Qt::LeftButton, {}, mid);
    EXPECT_EQ(B(id).Revealed, 1);
    same("big field, scrolled");
  }
}

}  // namespace

TEST_F(GameWindow, AWatchedGameIsDrawnOnItsOwnCanvasInItsPlayersColours) {
  constexpr int kBlock = 4 * 9 + 4;
  KeptGame kept;
  kept.record.Clear(GameSetup{9, 9, 10, 0, 1, 42});
  kept.record.AddJoin("Red", RGB{255, 0, 0}, 0, 0.0f);
  kept.record.AddMove(Move{kBlock, CLICK_UNCOVER, 0}, 1.0f);
  const std::string played = BoardText(gGame);
  WatchGame(kept);
  RecordWindows& u = RecordUi();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(test::WidgetOf(u.watch)));
  const Watch& w = *u.watching;
  // Beside the block's number, where only the block's own picture shows.
  auto corner = [&] {
    gQt->Redraw(u.watchCanvas);
    const QImage img = test::CanvasPicture(u.watchCanvas).convertToFormat(QImage::Format_RGB32);
    const Scale& s = w.view.scale;
    return img.pixel(int((w.view.framex + DrawX(w.player.Now(), w.view, kBlock) + 4) * s.SCALEX),
                     int((w.view.framey + DrawY(w.player.Now(), w.view, kBlock) + 20) * s.SCALEY));
  };
  const QRgb covered = corner();
  EXPECT_GT(Brightness(covered), 450);
  EXPECT_LT(std::abs(qRed(covered) - qBlue(covered)), 30);
  Send(EVENT_GADGETACTION, u.watchStep);
  const QRgb revealed = corner();
  EXPECT_GT(qRed(revealed) - qBlue(revealed), 40) << "uncovered in the player's red";
  EXPECT_EQ(BoardText(gGame), played);
}
