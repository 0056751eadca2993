// QtGui against a real X server (Xvfb). Without a window manager frames are
// empty and activation follows the input focus, so the checks avoid assuming
// either a frame size or a window manager's stacking.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <utility>

#include "platform/backends/gl_gfx.h"
#include "platform/backends/qt_gui.h"
#include "platform/gfx.h"

namespace bg {
namespace {

class QtGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt = std::make_unique<QtGui>();
    gui = qt.get();
    SetGui(gui);
    gui->SetHook([this](Event& ev) {
      events.push_back(ev);
      if (onEvent) onEvent(ev);
      return &ev;
    });
  }
  void TearDown() override {
    qt.reset();
    QCoreApplication::processEvents();
  }

  int Count(int id, Gadget* source = nullptr) const {
    int n = 0;
    for (const Event& e : events)
      if (e.id == id && (!source || e.source == source)) ++n;
    return n;
  }
  const Event* Last(int id) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it)
      if (it->id == id) return &*it;
    return nullptr;
  }
  QWidget* W(Gadget* g) const { return qt->WidgetOf(g); }
  QRect Shape(Gadget* g) const { return QRect(gui->X(g), gui->Y(g), gui->Width(g), gui->Height(g)); }
  // Shows a window and waits until the X server has mapped it.
  bool ShowNow(Gadget* window) {
    gui->Show(window);
    return QTest::qWaitForWindowExposed(W(window));
  }

  std::unique_ptr<QtGui> qt;
  Gui* gui = nullptr;  // the calls the game makes, with their default arguments
  std::vector<Event> events;
  std::function<void(Event&)> onEvent;
};

TEST_F(QtGuiTest, LayoutRulesFollowTheParentsClientArea) {
  Gadget* win = gui->CreateWindow("Layout", 0, 0, 400, 300, nullptr,
                                  WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_MENU | WINDOW_CLIENTCOORDS);
  Gadget* stretch = gui->CreateLabel("stretch", 10, 10, 100, 50, win);
  gui->SetLayout(stretch, true, true, true, true);
  Gadget* farEdge = gui->CreateButton("far", 300, 250, 80, 30, win);
  gui->SetLayout(farEdge, false, true, false, true);
  Gadget* nearEdge = gui->CreateLabel("near", 20, 100, 50, 20, win);
  gui->SetLayout(nearEdge, true, false, true, false);
  Gadget* centred = gui->CreateLabel("centre", 150, 100, 100, 40, win);  // no edges held
  Gadget* tabs = gui->CreateTabber(200, 150, 180, 120, win);
  gui->SetLayout(tabs, true, true, true, true);
  const int pageH = gui->ClientHeight(tabs);
  Gadget* inner = gui->CreateButton("inner", 100, pageH - 30, 60, 30, tabs);
  gui->SetLayout(inner, false, true, false, true);

  QRect atSizeEvent;
  onEvent = [&](Event& ev) {
    if (ev.id == EVENT_WINDOWSIZE) atSizeEvent = Shape(stretch);
  };
  const QRect outer = Shape(win);
  gui->SetShape(win, outer.x(), outer.y(), outer.width() + 100, outer.height() + 60);
  EXPECT_EQ(gui->ClientWidth(win), 500);
  EXPECT_EQ(gui->ClientHeight(win), 360);
  EXPECT_EQ(Shape(stretch), QRect(10, 10, 200, 110));
  EXPECT_EQ(Shape(farEdge), QRect(400, 310, 80, 30));
  EXPECT_EQ(Shape(nearEdge), QRect(20, 100, 50, 20));
  // The centre stays at the same fraction: (150 + 50) / 400 and (100 + 20) / 300.
  EXPECT_EQ(Shape(centred), QRect(200, 124, 100, 40));
  EXPECT_EQ(Shape(tabs), QRect(200, 150, 280, 180));
  EXPECT_EQ(Shape(inner), QRect(200, pageH - 30 + 60, 60, 30));  // inside the tab control's page
  EXPECT_EQ(Count(EVENT_WINDOWSIZE, win), 1);
  EXPECT_EQ(atSizeEvent, QRect(10, 10, 200, 110));  // children were placed before the event

}

TEST_F(QtGuiTest, KeyFilterSwallowsRejectedCharacters) {
  Gadget* win = gui->CreateWindow("Keys", 0, 0, 300, 100, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* field = gui->CreateTextField(10, 10, 200, 22, win);
  std::vector<int> seen;
  bool allowBackspace = true;
  gui->SetFilter(field, [&](const Event& ev) {
    EXPECT_EQ(ev.id, EVENT_KEYCHAR);
    EXPECT_EQ(ev.source, field);
    seen.push_back(ev.data);
    if (ev.data == 8) return allowBackspace ? 1 : 0;
    return ev.data >= '0' && ev.data <= '9' ? 1 : 0;
  });
  auto* edit = qobject_cast<QLineEdit*>(W(field));

  QTest::keyClicks(edit, "a1b2");
  EXPECT_EQ(gui->Text(field), "12");
  EXPECT_EQ(seen, (std::vector<int>{'a', '1', 'b', '2'}));
  EXPECT_EQ(Count(EVENT_GADGETACTION, field), 2);

  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(seen.back(), 8);
  EXPECT_EQ(gui->Text(field), "1");
  EXPECT_EQ(Count(EVENT_GADGETACTION, field), 3);
  allowBackspace = false;
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(gui->Text(field), "1");
  // A full field takes no more, typed or set.
  gui->SetText(field, "");
  gui->SetMaxLength(field, 3);
  QTest::keyClicks(edit, "12345");
  EXPECT_EQ(gui->Text(field), "123");
  gui->SetText(field, "98765");
  EXPECT_EQ(gui->Text(field), "987");

}

TEST_F(QtGuiTest, RedrawPaintsTheCanvasBeforeReturning) {
  Gadget* win = gui->CreateWindow("Canvas", 0, 0, 200, 150, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 200, 150, win);
  QColor colour(255, 0, 0);
  int paints = 0;
  bool ownGraphics = true;
  onEvent = [&](Event& ev) {
    if (ev.id != EVENT_GADGETPAINT || ev.source != canvas) return;
    ++paints;
    ownGraphics = ownGraphics && &G() == qt->CanvasGraphics(canvas);
    G().SetClsColor(colour.red(), colour.green(), colour.blue());
    G().Cls();
  };

  // Not on screen yet: the hook still runs, once, inside Redraw.
  gui->Hide(win);
  gui->Redraw(canvas);
  EXPECT_EQ(paints, 1);

  ASSERT_TRUE(ShowNow(win));
  QTest::qWaitFor([&] { return paints > 1; });  // the expose paint, before the ones counted below
  const int before = paints;
  gui->Redraw(canvas);
  EXPECT_EQ(paints, before + 1);
  colour = QColor(0, 0, 255);  // a later paint would draw blue; the frame shown must be Redraw's
  QImage frame = qt->CanvasPicture(canvas);
  ASSERT_FALSE(frame.isNull());
  EXPECT_EQ(frame.pixelColor(100, 75).rgb(), QColor(255, 0, 0).rgb());

  colour = QColor(0, 255, 0);
  gui->Redraw(canvas);
  EXPECT_EQ(paints, before + 2);
  colour = QColor(0, 0, 255);
  frame = qt->CanvasPicture(canvas);
  EXPECT_EQ(frame.pixelColor(10, 10).rgb(), QColor(0, 255, 0).rgb());
  EXPECT_TRUE(ownGraphics);
}

TEST_F(QtGuiTest, CanvasRaisesMouseAndKeyEvents) {
  Gadget* win = gui->CreateWindow("Input", 0, 0, 200, 150, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 20, 200, 130, win);
  ASSERT_TRUE(ShowNow(win));
  QWidget* c = W(canvas);
  EXPECT_EQ(c->focusPolicy(), Qt::StrongFocus);

  QTest::mousePress(c, Qt::RightButton, {}, QPoint(12, 34));
  const Event* down = Last(EVENT_MOUSEDOWN);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->source, canvas);
  EXPECT_EQ(down->data, 2);
  EXPECT_EQ(down->x, 12);
  EXPECT_EQ(down->y, 34);
  QTest::mouseRelease(c, Qt::RightButton, {}, QPoint(12, 34));
  ASSERT_NE(Last(EVENT_MOUSEUP), nullptr);
  EXPECT_EQ(Last(EVENT_MOUSEUP)->data, 2);
  QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(Last(EVENT_MOUSEDOWN)->data, 1);
  QTest::mouseClick(c, Qt::MiddleButton, {}, QPoint(5, 6));
  EXPECT_EQ(Last(EVENT_MOUSEDOWN)->data, 3);
  QTest::mouseMove(c, QPoint(50, 60));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last(EVENT_MOUSEMOVE) != nullptr; }));
  EXPECT_EQ(Last(EVENT_MOUSEMOVE)->x, 50);
  EXPECT_EQ(Last(EVENT_MOUSEMOVE)->y, 60);

  const std::pair<Qt::Key, int> keys[] = {
      {Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39}, {Qt::Key_Down, 40},
      {Qt::Key_F1, 112},  {Qt::Key_F5, 116}, {Qt::Key_A, 65},    {Qt::Key_5, 53}};
  for (auto [key, vk] : keys) {
    QTest::keyClick(c, key);
    ASSERT_NE(Last(EVENT_KEYDOWN), nullptr);
    EXPECT_EQ(Last(EVENT_KEYDOWN)->data, vk);
    EXPECT_EQ(Last(EVENT_KEYDOWN)->source, canvas);
    EXPECT_EQ(Last(EVENT_KEYUP)->data, vk);
  }
}

TEST_F(QtGuiTest, ActivateMovesFocusButNeverTheActiveWindow) {
  Gadget* main = gui->CreateWindow("Main", 0, 0, 300, 200, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 300, 150, main);
  Gadget* chat = gui->CreateWindow("Chat", 400, 0, 300, 200, main, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* input = gui->CreateTextField(10, 10, 200, 22, chat);
  ASSERT_TRUE(ShowNow(main));
  ASSERT_TRUE(ShowNow(chat));
  W(main)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W(main))) << "the X server gave the window no focus";
  events.clear();
  W(chat)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W(chat)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last(EVENT_WINDOWACTIVATE) != nullptr; }));
  EXPECT_EQ(Last(EVENT_WINDOWACTIVATE)->source, chat);
  gui->Activate(input);
  EXPECT_EQ(QApplication::focusWidget(), W(input));

  // What every repaint of the board does: the chat keeps the keyboard.
  gui->Activate(canvas);
  gui->Activate(main);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), W(chat));
  EXPECT_EQ(QApplication::focusWidget(), W(input));
  EXPECT_EQ(W(main)->focusWidget(), W(canvas));

}

TEST_F(QtGuiTest, WindowEventsAndTimersReachTheHook) {
  Gadget* win = gui->CreateWindow("Events", 0, 0, 200, 100, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  ASSERT_TRUE(ShowNow(win));
  EXPECT_FALSE(W(win)->close());  // the hook decides; the window stays
  EXPECT_TRUE(W(win)->isVisible());
  ASSERT_NE(Last(EVENT_WINDOWCLOSE), nullptr);
  EXPECT_EQ(Last(EVENT_WINDOWCLOSE)->source, win);

  QElapsedTimer clock;
  clock.start();
  Gadget* timer = gui->CreateTimer(70.0);
  QTimer* t = qt->TimerOf(timer);
  EXPECT_EQ(t->timerType(), Qt::PreciseTimer);
  // Ticks keep to a schedule of exactly 70 a second: never ahead of it (a
  // repeating 14 ms timer gains 2 %), and a busy machine can only drop some.
  QTest::qWait(2000);
  const double seconds = double(clock.nsecsElapsed()) / 1e9;
  const int ticks = Count(EVENT_TIMERTICK, timer);
  EXPECT_LE(ticks, int(seconds * 70.0) + 1) << seconds << " s";
  EXPECT_GE(ticks, int(seconds * 70.0 * 0.5)) << seconds << " s";  // only a stopped timer fails this
  // A tick held up for ten periods is not followed by a burst of the ones it missed.
  bool stall = true;
  onEvent = [&](Event& ev) {
    if (ev.id == EVENT_TIMERTICK && std::exchange(stall, false)) QThread::msleep(150);
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return !stall; }));
  const int afterStall = Count(EVENT_TIMERTICK, timer);
  QTest::qWait(30);
  EXPECT_LE(Count(EVENT_TIMERTICK, timer), afterStall + 4);
  onEvent = nullptr;
  EXPECT_EQ(Last(EVENT_TIMERTICK)->source, timer);
  gui->Disable(timer);
  EXPECT_FALSE(t->isActive());
  gui->Enable(timer);
  EXPECT_TRUE(t->isActive());
}

}  // namespace
}  // namespace bg

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
