// QtGui against a real X server (Xvfb). Without a window manager frames are
// empty and activation follows the input focus, so the checks avoid assuming
// either a frame size or a window manager's stacking.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QHeaderView>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QSlider>
#include <QTreeView>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "platform/backends/qt_gui.h"
#include "platform/gfx.h"
#include "tests/support/qt_probe.h"

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

  const Event* Last(int id) const {
    const auto it = std::find_if(events.rbegin(), events.rend(), [&](const Event& e) { return e.id == id; });
    return it == events.rend() ? nullptr : &*it;
  }
  bool LastFrom(int id, Gadget* source) const { return Last(id) && Last(id)->source == source; }
  QWidget* W(Gadget* g) const { return test::WidgetOf(g); }
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

TEST_F(QtGuiTest, RedrawPaintsTheCanvasBeforeReturning) {
  Gadget* win = gui->CreateWindow("Canvas", 0, 0, 200, 150, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 200, 150, win);
  QColor colour(255, 0, 0);
  int paints = 0;
  bool ownGraphics = true;
  onEvent = [&](Event& ev) {
    if (ev.id != EVENT_GADGETPAINT || ev.source != canvas) return;
    ++paints;
    ownGraphics = ownGraphics && &G() == &test::QtOf(canvas)->canvas->Graphics();
    G().SetClsColor(colour.red(), colour.green(), colour.blue());
    G().Cls();
  };

  // Not on screen yet: the hook still runs, once, inside Redraw.
  gui->Hide(win);
  gui->Redraw(canvas);
  EXPECT_EQ(paints, 1);

  ASSERT_TRUE(ShowNow(win));
  ASSERT_TRUE(QTest::qWaitFor([&] { return paints > 1; }));  // the expose paint, before the ones counted below
  for (const QColor drawn : {QColor(255, 0, 0), QColor(0, 255, 0)}) {
    colour = drawn;
    const int before = paints;
    gui->Redraw(canvas);
    EXPECT_EQ(paints, before + 1);
    colour = QColor(0, 0, 255);  // a later paint would draw blue; the frame shown must be Redraw's
    EXPECT_EQ(test::CanvasPicture(canvas).pixelColor(100, 75).rgb(), drawn.rgb());
  }
  EXPECT_TRUE(ownGraphics);
}

TEST_F(QtGuiTest, CanvasRaisesMouseAndKeyEvents) {
  Gadget* win = gui->CreateWindow("Input", 0, 0, 200, 150, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 20, 200, 130, win);
  ASSERT_TRUE(ShowNow(win));
  QWidget* c = W(canvas);
  EXPECT_EQ(c->focusPolicy(), Qt::StrongFocus);

  for (auto [button, code] : {std::pair{Qt::LeftButton, 1}, {Qt::RightButton, 2}, {Qt::MiddleButton, 3}}) {
    QTest::mouseClick(c, button, {}, QPoint(12, 34));
    ASSERT_TRUE(Last(EVENT_MOUSEDOWN) && Last(EVENT_MOUSEUP));
    const Event &down = *Last(EVENT_MOUSEDOWN), &up = *Last(EVENT_MOUSEUP);
    EXPECT_TRUE(down.source == canvas && down.data == code && down.x == 12 && down.y == 34 && up.data == code) << code;
  }
  QTest::mouseMove(c, QPoint(50, 60));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Last(EVENT_MOUSEMOVE) != nullptr; }));
  EXPECT_TRUE(Last(EVENT_MOUSEMOVE)->x == 50 && Last(EVENT_MOUSEMOVE)->y == 60);
  const std::pair<Qt::Key, int> keys[] = {
      {Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39}, {Qt::Key_Down, 40},
      {Qt::Key_F1, 112},  {Qt::Key_F5, 116}, {Qt::Key_A, 65},    {Qt::Key_5, 53}};
  for (auto [key, vk] : keys) {
    QTest::keyClick(c, key);
    const Event* down = Last(EVENT_KEYDOWN);
    EXPECT_TRUE(down && down->data == vk && down->source == canvas) << vk;
  }
}

TEST_F(QtGuiTest, ActivateMovesFocusButNeverTheActiveWindow) {
  Gadget* main = gui->CreateWindow("Main", 0, 0, 300, 200, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 300, 150, main);
  Gadget* chat = gui->CreateWindow("Chat", 400, 0, 300, 200, main, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* input = gui->CreateTextField(10, 10, 200, 22, chat);
  ASSERT_TRUE(ShowNow(main) && ShowNow(chat));
  W(main)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W(main))) << "the X server gave the window no focus";
  events.clear();
  W(chat)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W(chat)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return LastFrom(EVENT_WINDOWACTIVATE, chat); }));
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
  EXPECT_TRUE(!W(win)->close() && W(win)->isVisible());  // the hook decides; the window stays
  EXPECT_TRUE(LastFrom(EVENT_WINDOWCLOSE, win));

  Gadget* timer = gui->CreateTimer(70.0);
  QTimer* t = test::QtOf(timer)->timer;
  EXPECT_EQ(t->timerType(), Qt::PreciseTimer);
  // Ticks keep to a schedule of exactly 70 a second, never ahead of it (a repeating 14 ms
  // timer gains 2 %). A busy machine only makes ticks late, so only earliness is checked.
  const auto ticks = [&] { return int(std::ranges::count(events, EVENT_TIMERTICK, &Event::id)); };
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks() >= 140; }, 60000));
  EXPECT_GE(clock.nsecsElapsed(), qint64(138e9 / 70)) << "140 ticks came early";
  // A tick held up for ten periods is not followed by a burst of the ones it missed.
  bool stall = true;
  int afterStall = 0;
  onEvent = [&](Event& ev) {
    if (ev.id != EVENT_TIMERTICK || !std::exchange(stall, false)) return;
    QThread::msleep(150);
    afterStall = ticks();
    clock.restart();
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return !stall && ticks() >= afterStall + 5; }, 60000));
  EXPECT_GE(clock.nsecsElapsed(), qint64(30e6)) << "a burst of missed ticks";
  onEvent = nullptr;
  EXPECT_TRUE(LastFrom(EVENT_TIMERTICK, timer));
  gui->Disable(timer);
  EXPECT_FALSE(t->isActive());
  gui->Enable(timer);
  EXPECT_TRUE(t->isActive());
}

TEST_F(QtGuiTest, TablesChartsAndTrackbars) {
  Gadget* win = gui->CreateWindow("Records", 0, 0, 400, 300, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* table = gui->CreateTable(0, 0, 400, 150, win);
  gui->SetColumns(table, {"Date", "Time"});
  gui->AddItem(table, "today\t1.50 s", "", nullptr);
  gui->AddItem(table, "yesterday\t2.00 s", "", nullptr);
  ASSERT_TRUE(ShowNow(win));
  EXPECT_EQ(gui->ItemText(table, 1), "yesterday\t2.00 s");
  auto* view = static_cast<QTreeView*>(W(table));
  // A click on a column title is the program's to sort by; a click on a row selects it.
  QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {}, QPoint(view->header()->sectionPosition(1) + 5, 5));
  EXPECT_TRUE(LastFrom(EVENT_HEADERCLICK, table) && Last(EVENT_HEADERCLICK)->data == 1);
  EXPECT_EQ(gui->ItemText(table, 0), "today\t1.50 s");  // the rows stay in the program's order
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 0)).center());
  EXPECT_TRUE(LastFrom(EVENT_GADGETSELECT, table) && Last(EVENT_GADGETSELECT)->data == 1);
  EXPECT_EQ(gui->SelectedItem(table), 1);

  Gadget* chart = gui->CreateChart(0, 150, 400, 120, win);
  gui->SetChart(chart, ChartData{"Times", "Win", "Seconds", {{"9 x 9", {{1, 3.5}, {2, 2.5}}, true}}});
  gui->SetChart(chart, ChartData{"Times", "Win", "Seconds", {{"a", {{1, 1}}, true}, {"b", {{1, 2}}, false}}});
  // Each chart replaces the last one whole: its series, and the axes fitted to them.
  QChart* c = static_cast<QChartView*>(W(chart))->chart();
  ASSERT_EQ(c->series().size(), 2);
  EXPECT_NE(qobject_cast<QLineSeries*>(c->series()[0]), nullptr);
  EXPECT_NE(qobject_cast<QScatterSeries*>(c->series()[1]), nullptr);
  EXPECT_EQ(c->axes().size(), 2);
  EXPECT_GE(static_cast<QValueAxis*>(c->axes(Qt::Vertical)[0])->max(), 2.0);

  Gadget* slider = gui->CreateSlider(0, 270, 400, 22, win, SLIDER_HORIZONTAL | SLIDER_TRACKBAR);
  gui->SetSliderRange(slider, 0, 40);
  const size_t before = events.size();
  gui->SetSliderPos(slider, 25);
  EXPECT_EQ(gui->SliderPos(slider), 25);
  EXPECT_EQ(events.size(), before) << "the program's own move raises nothing";
  ASSERT_NE(qobject_cast<QSlider*>(W(slider)), nullptr);
  QTest::keyClick(W(slider), Qt::Key_Right);
  EXPECT_TRUE(LastFrom(EVENT_GADGETACTION, slider) && Last(EVENT_GADGETACTION)->data == 26);
}

}  // namespace
}  // namespace bg
