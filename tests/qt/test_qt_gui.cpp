// QtGui against a real X server (Xvfb). Without a window manager frames are
// empty and activation follows the input focus, so the checks avoid assuming
// either a frame size or a window manager's stacking.
#include <gtest/gtest.h>

#include <utility>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "platform/backends/gl_gfx.h"
#include "platform/backends/qt_gui.h"
#include "platform/gfx.h"

namespace bg {
namespace {

struct Tag : Object {
  explicit Tag(int v) : value(v) {}
  int value;
};

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

TEST_F(QtGuiTest, WindowsAppearAtTheNextEventPassUnlessHiddenFirst) {
  Gadget* shown = gui->CreateWindow("Shown", 30, 40, 300, 200, nullptr,
                                    WINDOW_TITLEBAR | WINDOW_MENU | WINDOW_STATUS | WINDOW_CLIENTCOORDS);
  Gadget* hidden = gui->CreateWindow("Hidden", 60, 60, 200, 100, shown, WINDOW_TITLEBAR);
  gui->Hide(hidden);
  EXPECT_FALSE(gui->Hidden(shown));
  EXPECT_FALSE(W(shown)->isVisible());  // not before the event pass: no flash for windows hidden at once
  EXPECT_TRUE(gui->Hidden(hidden));
  QCoreApplication::processEvents();
  EXPECT_TRUE(W(shown)->isVisible());
  EXPECT_FALSE(W(hidden)->isVisible());
  // Some window managers misplace a window destroyed while they are still framing it.
  EXPECT_TRUE(QTest::qWaitForWindowExposed(W(shown)));
  QTest::qWait(50);  // a frame seen on one window corrects the guess for the others

  EXPECT_EQ(gui->ClientWidth(shown), 300);
  EXPECT_EQ(gui->ClientHeight(shown), 200);
  const QMargins frame = qt->FrameOf(shown);
  EXPECT_EQ(gui->Width(shown), 300 + frame.left() + frame.right());
  EXPECT_GT(gui->Height(shown), 200 + frame.top() + frame.bottom());  // menu bar and status bar
  EXPECT_EQ(gui->Text(shown), "Shown");
  gui->SetText(shown, "Renamed");
  EXPECT_EQ(W(shown)->windowTitle(), "Renamed");

  // A child window is its own top-level window, stacked on its parent.
  EXPECT_TRUE(W(hidden)->isWindow());
  EXPECT_EQ(W(hidden)->parentWidget(), W(shown));
  EXPECT_EQ(gui->Width(hidden), 200);
  EXPECT_EQ(gui->Height(hidden), 100);

  // Setting a window to its own shape changes nothing and raises nothing.
  events.clear();
  gui->SetShape(hidden, gui->X(hidden), gui->Y(hidden), gui->Width(hidden), gui->Height(hidden));
  EXPECT_EQ(Shape(hidden), QRect(60, 60, 200, 100));
  EXPECT_EQ(Count(EVENT_WINDOWSIZE), 0);
  gui->SetShape(hidden, 70, 80, 220, 130);
  EXPECT_EQ(Shape(hidden), QRect(70, 80, 220, 130));
  EXPECT_EQ(Count(EVENT_WINDOWSIZE, hidden), 1);

  ASSERT_TRUE(ShowNow(hidden));
  EXPECT_FALSE(gui->Hidden(hidden));
  gui->Hide(shown);
  EXPECT_TRUE(gui->Hidden(shown));
  EXPECT_FALSE(gui->Hidden(hidden));  // its own flag, not its parent's
}

TEST_F(QtGuiTest, ControlsKeepWhatTheProgramSets) {
  Gadget* win = gui->CreateWindow("Controls", 0, 0, 400, 300, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* label = gui->CreateLabel("Width:", 10, 20, 70, 20, win, LABEL_LEFT);
  Gadget* push = gui->CreateButton("Go", 10, 50, 80, 30, win, BUTTON_PUSH);
  Gadget* check = gui->CreateButton("Wrap", 100, 50, 14, 14, win, BUTTON_CHECKBOX);
  Gadget* field = gui->CreateTextField(90, 20, 120, 22, win);
  Gadget* area = gui->CreateTextArea(10, 90, 200, 80, win, TEXTAREA_READONLY);
  Gadget* panel = gui->CreatePanel(220, 20, 40, 40, win);

  EXPECT_EQ(gui->Text(label), "Width:");
  EXPECT_EQ(qobject_cast<QLabel*>(W(label))->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
  EXPECT_EQ(Shape(label), QRect(10, 20, 70, 20));
  EXPECT_EQ(gui->Text(push), "Go");
  EXPECT_NE(qobject_cast<QCheckBox*>(W(check)), nullptr);
  EXPECT_FALSE(gui->ButtonState(check));
  gui->SetButtonState(check, true);
  EXPECT_TRUE(gui->ButtonState(check));
  EXPECT_FALSE(gui->Hidden(label));

  gui->SetText(field, "12");
  EXPECT_EQ(gui->Text(field), "12");
  gui->SetText(field, "Grüße");
  EXPECT_EQ(gui->Text(field), "Grüße");
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(W(area))->isReadOnly());
  gui->AddText(area, "\nhello");
  gui->AddText(area, "\nworld");
  EXPECT_EQ(gui->Text(area), "\nhello\nworld");
  EXPECT_EQ(Count(EVENT_GADGETACTION), 0);  // the program's own changes raise nothing

  gui->SetPanelColor(panel, Colour{10, 20, 30});
  EXPECT_EQ(W(panel)->palette().color(QPalette::Window), QColor(10, 20, 30));

  // AddText keeps the newest line in view.
  ASSERT_TRUE(ShowNow(win));
  for (int i = 0; i < 50; ++i) gui->AddText(area, "\nline " + std::to_string(i));
  QScrollBar* lines = qobject_cast<QPlainTextEdit*>(W(area))->verticalScrollBar();
  EXPECT_GT(lines->maximum(), 0);
  EXPECT_EQ(lines->value(), lines->maximum());

  gui->SetShape(push, 5, 6, 70, 25);
  EXPECT_EQ(Shape(push), QRect(5, 6, 70, 25));

  // Enabled and Hidden report each gadget's own flag.
  gui->Disable(win);
  EXPECT_FALSE(gui->Enabled(win));
  EXPECT_TRUE(gui->Enabled(push));
  EXPECT_FALSE(W(push)->isEnabled());
  gui->Enable(win);
  EXPECT_TRUE(W(push)->isEnabled());
  gui->Disable(push);
  EXPECT_FALSE(gui->Enabled(push));
  gui->Hide(label);
  EXPECT_TRUE(gui->Hidden(label));
  gui->Show(label);
  EXPECT_FALSE(gui->Hidden(label));
}

TEST_F(QtGuiTest, ListsTabsAndSlidersRoundTrip) {
  Gadget* win = gui->CreateWindow("Items", 0, 0, 400, 300, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* list = gui->CreateListBox(0, 0, 200, 150, win);
  Gadget* tabs = gui->CreateTabber(200, 0, 200, 150, win);
  Gadget* slider = gui->CreateSlider(0, 280, 400, 20, win, SLIDER_HORIZONTAL | SLIDER_SCROLLBAR);

  auto one = std::make_shared<Tag>(1);
  gui->AddItem(list, "first", "tip one", one);
  gui->AddItem(list, "second", "", nullptr);
  EXPECT_EQ(gui->CountItems(list), 2);
  EXPECT_EQ(gui->ItemText(list, 1), "second");
  EXPECT_EQ(gui->ItemExtra(list, 0), one);
  EXPECT_EQ(gui->ItemExtra(list, 1), nullptr);
  EXPECT_EQ(gui->ItemExtra(list, 5), nullptr);
  EXPECT_EQ(qobject_cast<QListWidget*>(W(list))->item(0)->toolTip(), "tip one");
  EXPECT_EQ(gui->SelectedItem(list), -1);
  gui->SelectItem(list, 1);
  EXPECT_EQ(gui->SelectedItem(list), 1);
  gui->SelectItem(list, -1);
  EXPECT_EQ(gui->SelectedItem(list), -1);
  gui->SelectItem(list, 0);
  gui->ClearItems(list);
  EXPECT_EQ(gui->CountItems(list), 0);
  EXPECT_EQ(gui->SelectedItem(list), -1);

  for (const char* t : {"Settings", "Direct Connect", "Server list"}) gui->AddItem(tabs, t);
  EXPECT_EQ(gui->CountItems(tabs), 3);
  EXPECT_EQ(gui->ItemText(tabs, 2), "Server list");
  EXPECT_EQ(gui->SelectedItem(tabs), 0);
  gui->SelectItem(tabs, 2);
  EXPECT_EQ(gui->SelectedItem(tabs), 2);
  EXPECT_EQ(gui->ClientWidth(tabs), 200);
  EXPECT_LT(gui->ClientHeight(tabs), 150);  // the tab row is not client area
  EXPECT_GT(gui->ClientHeight(tabs), 100);

  auto* bar = qobject_cast<QScrollBar*>(W(slider));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->orientation(), Qt::Horizontal);
  gui->SetSliderRange(slider, 10, 50);
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->pageStep(), 10);
  EXPECT_EQ(Count(EVENT_GADGETSELECT) + Count(EVENT_GADGETACTION), 0);

  // What the user does raises events.
  bar->setValue(30);
  ASSERT_NE(Last(EVENT_GADGETACTION), nullptr);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->source, slider);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->data, 30);
  EXPECT_EQ(gui->SliderPos(slider), 30);
  events.clear();
  gui->SetSliderRange(slider, 10, 20);  // the position is clamped without an event
  EXPECT_EQ(gui->SliderPos(slider), 10);
  gui->SetSliderRange(slider, 30, 20);
  EXPECT_EQ(gui->SliderPos(slider), 0);
  EXPECT_EQ(Count(EVENT_GADGETACTION), 0);

  qobject_cast<QTabBar*>(W(tabs)->findChild<QTabBar*>())->setCurrentIndex(1);
  ASSERT_NE(Last(EVENT_GADGETACTION), nullptr);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->source, tabs);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->data, 1);
}

TEST_F(QtGuiTest, ListBoxReportsActivationSelectionAndContextMenu) {
  Gadget* win = gui->CreateWindow("List", 0, 0, 300, 200, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* list = gui->CreateListBox(0, 0, 300, 200, win);
  auto a = std::make_shared<Tag>(10), b = std::make_shared<Tag>(20);
  gui->AddItem(list, "alpha", "", a);
  gui->AddItem(list, "beta", "", b);
  ASSERT_TRUE(ShowNow(win));
  auto* view = qobject_cast<QListWidget*>(W(list));
  const QPoint second = view->visualItemRect(view->item(1)).center();

  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
  ASSERT_NE(Last(EVENT_GADGETSELECT), nullptr);
  EXPECT_EQ(Last(EVENT_GADGETSELECT)->source, list);
  EXPECT_EQ(Last(EVENT_GADGETSELECT)->data, 1);
  EXPECT_EQ(Last(EVENT_GADGETSELECT)->extra, b);

  emit view->itemActivated(view->item(0));
  ASSERT_NE(Last(EVENT_GADGETACTION), nullptr);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->data, 0);
  EXPECT_EQ(Last(EVENT_GADGETACTION)->extra, a);

  QContextMenuEvent menu(QContextMenuEvent::Mouse, second, view->viewport()->mapToGlobal(second));
  QCoreApplication::sendEvent(view->viewport(), &menu);
  ASSERT_NE(Last(EVENT_GADGETMENU), nullptr);
  EXPECT_EQ(Last(EVENT_GADGETMENU)->source, list);
  EXPECT_EQ(Last(EVENT_GADGETMENU)->data, 1);
  EXPECT_EQ(Last(EVENT_GADGETMENU)->extra, b);
}

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

  // Odd sizes and the way back: nothing drifts.
  gui->SetShape(win, outer.x(), outer.y(), outer.width() + 33, outer.height() + 17);
  gui->SetShape(win, outer.x(), outer.y(), outer.width(), outer.height());
  EXPECT_EQ(Shape(stretch), QRect(10, 10, 100, 50));
  EXPECT_EQ(Shape(farEdge), QRect(300, 250, 80, 30));
  EXPECT_EQ(Shape(centred), QRect(150, 100, 100, 40));
  EXPECT_EQ(Shape(inner), QRect(100, pageH - 30, 60, 30));

  // A resize by the user (the window manager) follows the same rules.
  ASSERT_TRUE(ShowNow(win));
  events.clear();
  const QSize before = W(win)->size();
  W(win)->resize(before.width() + 50, before.height() + 40);
  EXPECT_TRUE(QTest::qWaitFor([&] { return gui->ClientWidth(win) == 450; }));
  EXPECT_EQ(gui->ClientHeight(win), 340);
  EXPECT_EQ(Shape(stretch), QRect(10, 10, 150, 90));
  EXPECT_EQ(Shape(farEdge), QRect(350, 290, 80, 30));
  EXPECT_GE(Count(EVENT_WINDOWSIZE, win), 1);

  // A minimum size holds for the program too.
  gui->SetMinWindowSize(win, 600, 500);
  EXPECT_GE(gui->Width(win), 600);
  EXPECT_GE(gui->Height(win), 500);
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

  // Navigation passes without asking the filter and edits rather than scrolls the board.
  seen.clear();
  EXPECT_EQ(edit->cursorPosition(), 1);
  QTest::keyClick(edit, Qt::Key_Left);
  EXPECT_EQ(edit->cursorPosition(), 0);
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_EQ(gui->Text(field), "");
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(Count(EVENT_KEYDOWN), 0);

  // A full field takes no more, typed or set.
  gui->SetMaxLength(field, 3);
  QTest::keyClicks(edit, "12345");
  EXPECT_EQ(gui->Text(field), "123");
  gui->SetText(field, "98765");
  EXPECT_EQ(gui->Text(field), "987");
}

TEST_F(QtGuiTest, ReturnAndEscapePressTheWindowsOkAndCancelButtons) {
  Gadget* win = gui->CreateWindow("Dialog", 0, 0, 300, 100, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* field = gui->CreateTextField(10, 10, 200, 22, win);
  Gadget* ok = gui->CreateButton("Ok", 10, 50, 80, 30, win, BUTTON_OK);
  Gadget* cancel = gui->CreateButton("Cancel", 100, 50, 80, 30, win, BUTTON_CANCEL);
  ASSERT_TRUE(ShowNow(win));

  QTest::keyClick(W(field), Qt::Key_Return);
  EXPECT_EQ(Count(EVENT_GADGETACTION, ok), 1);
  QTest::keyClick(W(field), Qt::Key_Escape);
  EXPECT_EQ(Count(EVENT_GADGETACTION, cancel), 1);
  gui->Hide(ok);
  QTest::keyClick(W(field), Qt::Key_Return);
  EXPECT_EQ(Count(EVENT_GADGETACTION, ok), 1);
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
  QTest::qWait(50);
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
  // Qt turns the second press of a double click into a double-click event.
  events.clear();
  QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(7, 8));
  QTest::mouseDClick(c, Qt::LeftButton, {}, QPoint(7, 8));
  QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(7, 8));
  EXPECT_EQ(Count(EVENT_MOUSEDOWN, canvas), 2);
  EXPECT_EQ(Count(EVENT_MOUSEUP, canvas), 2);
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

TEST_F(QtGuiTest, MenusRaiseMenuActionWithTheItem) {
  Gadget* win = gui->CreateWindow("Menus", 0, 0, 300, 200, nullptr,
                                  WINDOW_TITLEBAR | WINDOW_MENU | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 300, 200, win);
  Gadget* game = gui->CreateMenu("Game", 0, win);
  Gadget* newGame = gui->CreateMenu("New Game", 7, game, 113);
  Gadget* more = gui->CreateMenu("More", 3, game);
  Gadget* leaf = gui->CreateMenu("Leaf", 4, more);
  Gadget* player = gui->CreateMenu("Player", 0, nullptr);
  Gadget* slap = gui->CreateMenu("Slap!", 1, player);
  gui->UpdateWindowMenu(win);
  EXPECT_EQ(gui->ClientHeight(win), 200);  // the menu bar's room was kept from the start

  EXPECT_EQ(qt->ActionOf(newGame)->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(gui->Text(newGame), "New Game");
  qt->ActionOf(newGame)->trigger();
  ASSERT_NE(Last(EVENT_MENUACTION), nullptr);
  EXPECT_EQ(Last(EVENT_MENUACTION)->source, newGame);
  EXPECT_EQ(Last(EVENT_MENUACTION)->data, 7);

  ASSERT_NE(qt->ActionOf(more)->menu(), nullptr);  // an item that got items is a submenu
  qt->ActionOf(leaf)->trigger();
  EXPECT_EQ(Last(EVENT_MENUACTION)->source, leaf);
  ASSERT_NE(qt->MenuOf(player), nullptr);
  EXPECT_TRUE(qt->MenuOf(player)->actions().contains(qt->ActionOf(slap)));
  qt->ActionOf(slap)->trigger();
  EXPECT_EQ(Last(EVENT_MENUACTION)->source, slap);

  gui->Disable(newGame);
  EXPECT_FALSE(gui->Enabled(newGame));
  EXPECT_FALSE(qt->ActionOf(newGame)->isEnabled());
  gui->Enable(newGame);
  EXPECT_TRUE(qt->ActionOf(newGame)->isEnabled());
  gui->Disable(game);
  EXPECT_FALSE(qt->ActionOf(game)->isEnabled());
  gui->Enable(game);

  // The hotkey works while the board has the focus.
  ASSERT_TRUE(ShowNow(win));
  W(win)->activateWindow();
  if (!QTest::qWaitForWindowActive(W(win))) GTEST_SKIP() << "the X server gave the window no focus";
  gui->Activate(canvas);
  events.clear();
  QTest::keyClick(W(canvas), Qt::Key_F2);
  ASSERT_NE(Last(EVENT_MENUACTION), nullptr);
  EXPECT_EQ(Last(EVENT_MENUACTION)->source, newGame);
}

TEST_F(QtGuiTest, ActivateMovesFocusButNeverTheActiveWindow) {
  Gadget* main = gui->CreateWindow("Main", 0, 0, 300, 200, nullptr, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* canvas = gui->CreateCanvas(0, 0, 300, 150, main);
  Gadget* name = gui->CreateTextField(0, 160, 200, 22, main);
  Gadget* chat = gui->CreateWindow("Chat", 400, 0, 300, 200, main, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  Gadget* input = gui->CreateTextField(10, 10, 200, 22, chat);
  ASSERT_TRUE(ShowNow(main));
  ASSERT_TRUE(ShowNow(chat));
  W(main)->activateWindow();
  if (!QTest::qWaitForWindowActive(W(main))) GTEST_SKIP() << "the X server gave the window no focus";
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

  // Inside the active window focus moves, and a field losing it says so.
  gui->Activate(input);
  QTest::keyClicks(W(input), "hi");
  events.clear();
  Gadget* send = gui->CreateButton("Send", 220, 10, 60, 24, chat, BUTTON_OK);
  gui->Activate(send);
  EXPECT_EQ(QApplication::focusWidget(), W(send));
  EXPECT_EQ(Count(EVENT_GADGETLOSTFOCUS, input), 1);
  EXPECT_EQ(Count(EVENT_GADGETLOSTFOCUS, name), 0);
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
  EXPECT_GE(ticks, int(seconds * 70.0 * 0.8)) << seconds << " s";
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

  // What Qt sends when the session or the platform asks the application to end.
  QEvent quit(QEvent::Quit);
  QCoreApplication::sendEvent(qApp, &quit);
  EXPECT_NE(Last(EVENT_APPTERMINATE), nullptr);

  EXPECT_GT(gui->DesktopWidth(), 0);
  EXPECT_GT(gui->DesktopHeight(), 0);
}

}  // namespace
}  // namespace bg

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
