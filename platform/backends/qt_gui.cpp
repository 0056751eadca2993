#include "platform/backends/qt_gui.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineSeries>
#include <QMessageBox>
#include <QScatterSeries>
#include <QSlider>
#include <QTreeWidget>
#include <QValueAxis>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCursor>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QPainter>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QTextCursor>
#include <QTimer>
#include <QWindow>

#include "platform/backends/gl_gfx.h"
#include "platform/backends/qt_gadget.h"

namespace bg {

namespace {

constexpr int MODIFIER_SHIFT = 1, MODIFIER_CONTROL = 2, MODIFIER_OPTION = 4, MODIFIER_SYSTEM = 8;

QString Qs(const std::string& s) { return QString::fromStdString(s); }
std::string Ss(const QString& s) { return s.toStdString(); }

int Mods(Qt::KeyboardModifiers m) {
  int r = 0;
  if (m & Qt::ShiftModifier) r |= MODIFIER_SHIFT;
  if (m & Qt::ControlModifier) r |= MODIFIER_CONTROL;
  if (m & Qt::AltModifier) r |= MODIFIER_OPTION;
  if (m & Qt::MetaModifier) r |= MODIFIER_SYSTEM;
  return r;
}

// Windows virtual key codes, which the game's key handling is written in.
struct KeyPair {
  int qt, vk;
};
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 8},  {Qt::Key_Tab, 9},        {Qt::Key_Backtab, 9},      {Qt::Key_Return, 13},
    {Qt::Key_Enter, 13},     {Qt::Key_Shift, 16},     {Qt::Key_Control, 17},     {Qt::Key_Alt, 18},
    {Qt::Key_Pause, 19},     {Qt::Key_CapsLock, 20},  {Qt::Key_Escape, 27},      {Qt::Key_Space, 32},
    {Qt::Key_PageUp, 33},    {Qt::Key_PageDown, 34},  {Qt::Key_End, 35},         {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},      {Qt::Key_Up, 38},        {Qt::Key_Right, 39},       {Qt::Key_Down, 40},
    {Qt::Key_Print, 44},     {Qt::Key_Insert, 45},    {Qt::Key_Delete, 46},      {Qt::Key_Meta, 91},
    {Qt::Key_Menu, 93},      {Qt::Key_NumLock, 144},  {Qt::Key_ScrollLock, 145}, {Qt::Key_Semicolon, 186},
    {Qt::Key_Equal, 187},    {Qt::Key_Comma, 188},    {Qt::Key_Minus, 189},      {Qt::Key_Period, 190},
    {Qt::Key_Slash, 191},    {Qt::Key_QuoteLeft, 192}, {Qt::Key_BracketLeft, 219}, {Qt::Key_Backslash, 220},
    {Qt::Key_BracketRight, 221}, {Qt::Key_Apostrophe, 222},
};

int VirtualKey(int key, Qt::KeyboardModifiers mods) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 65 + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return (mods & Qt::KeypadModifier) ? 96 + (key - Qt::Key_0) : 48 + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  if (mods & Qt::KeypadModifier) {
    switch (key) {
      case Qt::Key_Asterisk: return 106;
      case Qt::Key_Plus: return 107;
      case Qt::Key_Minus: return 109;
      case Qt::Key_Period: return 110;
      case Qt::Key_Slash: return 111;
      default: break;
    }
  }
  for (const KeyPair& k : kKeys)
    if (k.qt == key) return k.vk;
  return 0;
}

int QtKey(int vk) {
  if (vk >= 65 && vk <= 90) return Qt::Key_A + (vk - 65);
  if (vk >= 48 && vk <= 57) return Qt::Key_0 + (vk - 48);
  if (vk >= 112 && vk <= 135) return Qt::Key_F1 + (vk - 112);
  for (const KeyPair& k : kKeys)
    if (k.vk == vk) return k.qt;
  return 0;
}

int ButtonCode(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 3;
    default: return 0;
  }
}

int HeldCode(Qt::MouseButtons b) {
  if (b & Qt::LeftButton) return 1;
  if (b & Qt::RightButton) return 2;
  if (b & Qt::MiddleButton) return 3;
  return 0;
}

bool IsContainer(const QtGadget* g) {
  return g->kind == GadgetKind::Window || g->kind == GadgetKind::Tabber || g->kind == GadgetKind::Panel;
}

QtGadget* WindowOf(QtGadget* g) {
  while (g && g->kind != GadgetKind::Window) g = static_cast<QtGadget*>(g->parent);
  return g;
}

// One axis of the layout rule, from the shape the program last set.
void Axis(int pos, int size, bool lo, bool hi, int oldP, int newP, int& outPos, int& outSize) {
  outPos = pos;
  outSize = size;
  if (lo && hi) {
    outSize = size + newP - oldP;
  } else if (hi) {
    outPos = pos + newP - oldP;
  } else if (!lo && oldP > 0) {
    outPos = int((pos + size / 2.0) * newP / oldP - size / 2.0);
  }
}

// Holds a gadget's quiet flag for the length of a programmatic change.
struct Quiet {
  explicit Quiet(QtGadget* g) : g_(g), was_(g->quiet) { g->quiet = true; }
  ~Quiet() { g_->quiet = was_; }
  QtGadget* g_;
  bool was_;
};

}  // namespace

class QtWindowWidget : public QWidget {
 public:
  QtWindowWidget(QtGui* gui, QtGadget* g, QWidget* parent, Qt::WindowFlags f) : QWidget(parent, f), gui_(gui), g_(g) {}

 protected:
  void closeEvent(QCloseEvent* e) override {
    // The hook decides whether a window goes away; a disabled window, like
    // the main window under a modal one, cannot be closed at all.
    e->ignore();
    if (g_->enabled) gui_->Raise(EVENT_WINDOWCLOSE, g_);
  }
  void resizeEvent(QResizeEvent*) override { gui_->WindowResized(g_); }
  void keyPressEvent(QKeyEvent* e) override {
    const auto mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool ok = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    const bool cancel = e->key() == Qt::Key_Escape;
    if (mods == Qt::NoModifier && (ok || cancel)) {
      for (QtGadget* b : ok ? g_->okButtons : g_->cancelButtons) {
        auto* button = qobject_cast<QAbstractButton*>(b->widget.data());
        if (button && button->isVisible() && button->isEnabled()) {
          button->click();
          e->accept();
          return;
        }
      }
    }
    // A key no control took reaches the hook from the window (Escape and Return close some);
    // a held key counts once.
    const int vk = VirtualKey(e->key(), e->modifiers());
    if (vk && g_->enabled) {
      if (!e->isAutoRepeat()) gui_->Raise(EVENT_KEYDOWN, g_, vk, 0, 0, Mods(e->modifiers()));
      e->accept();
      return;
    }
    QWidget::keyPressEvent(e);
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowActivate) gui_->Raise(EVENT_WINDOWACTIVATE, g_);
    // The first paint comes after the window manager has framed the window.
    if (e->type() == QEvent::Paint && !g_->frameKnown) gui_->FrameArrived(g_);
    return QWidget::event(e);
  }

 private:
  QtGui* gui_;
  QtGadget* g_;
};

class QtField : public QLineEdit {
 public:
  QtField(QtGui* gui, QtGadget* g, QWidget* parent) : QLineEdit(parent), gui_(gui), g_(g) {}

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (g_->filter && !Passes(e)) {
      e->accept();
      return;
    }
    QLineEdit::keyPressEvent(e);
  }
  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    if (e->reason() != Qt::PopupFocusReason) gui_->Raise(EVENT_GADGETLOSTFOCUS, g_);
  }

 private:
  // Typed characters and Backspace go through the filter; navigation and
  // control keys (Delete, arrows, Return, shortcuts) always pass.
  bool Passes(QKeyEvent* e) {
    Event ev;
    ev.id = EVENT_KEYCHAR;
    ev.source = g_;
    ev.mods = Mods(e->modifiers());
    if (e->key() == Qt::Key_Backspace) {
      ev.data = 8;
      return g_->filter(ev) != 0;
    }
    const QString text = e->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return true;
    for (char32_t c : text.toUcs4()) {
      ev.data = int(c);
      if (!g_->filter(ev)) return false;
    }
    return true;
  }

  QtGui* gui_;
  QtGadget* g_;
};

class QtCanvas : public QWidget {
 public:
  QtCanvas(QtGui* gui, QtGadget* g, QWidget* parent) : QWidget(parent), gui_(gui), g_(g) {
    // The picture covers the whole canvas: Qt need not clear behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
  }

  // Draws a frame now, inside the caller, as Redraw promises. Only what
  // differs from the picture on screen is drawn and shown again; an unchanged
  // picture costs neither OpenGL nor the window system anything.
  void PaintNow() {
    if (painting_) return;
    painting_ = true;
    Record();
    if (isVisible()) {
      for (const QRect& r : canvas_.Present(gui_->repaintAll_)) update(r);
      if (canvas_.presented > 0) TrimOnce();
    }
    painting_ = false;
  }

  OffscreenCanvas& Canvas() { return canvas_; }

 protected:
  void paintEvent(QPaintEvent* e) override {
    const qreal dpr = devicePixelRatioF();
    if (!canvas_.Fits(int(width() * dpr + 0.5), int(height() * dpr + 0.5)) && !painting_) {
      // Shown for the first time or resized: a whole frame first.
      painting_ = true;
      Record();
      canvas_.Present(true);
      painting_ = false;
    }
    const QImage& img = canvas_.Picture();
    if (img.isNull()) return;
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : e->region())
      p.drawImage(QRectF(r), img, QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
  }

  void mousePressEvent(QMouseEvent* e) override { Mouse(EVENT_MOUSEDOWN, ButtonCode(e->button()), e); }
  // A quick second click is still a press for the game.
  void mouseDoubleClickEvent(QMouseEvent* e) override { Mouse(EVENT_MOUSEDOWN, ButtonCode(e->button()), e); }
  void mouseReleaseEvent(QMouseEvent* e) override { Mouse(EVENT_MOUSEUP, ButtonCode(e->button()), e); }
  void mouseMoveEvent(QMouseEvent* e) override { Mouse(EVENT_MOUSEMOVE, HeldCode(e->buttons()), e); }
  // A held key counts once.
  void keyPressEvent(QKeyEvent* e) override {
    const int vk = VirtualKey(e->key(), e->modifiers());
    if (!vk) return QWidget::keyPressEvent(e);
    if (!e->isAutoRepeat()) gui_->Raise(EVENT_KEYDOWN, g_, vk, 0, 0, Mods(e->modifiers()));
    e->accept();
  }

 private:
  void Mouse(int id, int button, QMouseEvent* e) {
    const QPointF p = e->position();
    gui_->Raise(id, g_, button, int(std::floor(p.x())), int(std::floor(p.y())), Mods(e->modifiers()));
    e->accept();
  }

  // Compiling the shaders of the first frames leaves megabytes of freed heap
  // that the C library keeps; a second after the first frame it is returned.
  static void TrimOnce() {
#ifdef __GLIBC__
    static bool done = false;
    if (done) return;
    done = true;
    QTimer::singleShot(1000, [] { malloc_trim(0); });
#endif
  }

  void Record() {
    const qreal dpr = devicePixelRatioF();
    canvas_.Record(int(width() * dpr + 0.5), int(height() * dpr + 0.5), float(dpr),
                   [this] { gui_->Raise(EVENT_GADGETPAINT, g_); });
  }

  QtGui* gui_;
  QtGadget* g_;
  OffscreenCanvas canvas_;
  bool painting_ = false;
};

namespace {

// Tabs with half the usual room beside their titles: four titles then fit a
// narrow tab control without scroll arrows, in the toolkit's own look.
class TightTabs : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override {
    const int v = QProxyStyle::pixelMetric(m, o, w);
    return m == PM_TabBarTabHSpace ? v / 2 : v;
  }
};

// Turns the application's quit request into AppTerminate for the hook.
class QuitFilter : public QObject {
 public:
  QuitFilter(QObject* parent, std::function<void()> onQuit) : QObject(parent), onQuit_(std::move(onQuit)) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == qApp && e->type() == QEvent::Quit) {
      onQuit_();
      return true;
    }
    return false;
  }

 private:
  std::function<void()> onQuit_;
};

}  // namespace

QtGui::QtGui() : owner_(std::make_unique<QObject>()) {
  QApplication::setQuitOnLastWindowClosed(false);
  qApp->installEventFilter(new QuitFilter(owner_.get(), [this] { Raise(EVENT_APPTERMINATE, nullptr); }));
  // Fixed heights, so a client area does not change when its first menu or tab arrives.
  QMenuBar bar;
  bar.setNativeMenuBar(false);
  bar.addMenu(QStringLiteral("Game"));
  menuBarH_ = bar.sizeHint().height();
  QStatusBar status;
  status.addWidget(new QLabel(QStringLiteral("Status")), 1);
  statusBarH_ = status.sizeHint().height();
  QTabBar tabs;
  tabs.addTab(QStringLiteral("Tab"));
  tabRowH_ = tabs.sizeHint().height();
}

QtGui::~QtGui() {
  dying_ = true;
  hook_ = nullptr;
  for (auto& g : all_) {
    if (g->kind == GadgetKind::Window && g->widget && !g->widget->parentWidget()) delete g->widget.data();
    else if (g->kind == GadgetKind::Menu && g->menu && !g->menu->parent()) delete g->menu.data();
  }
  for (auto& g : all_) {
    // Controls made without a parent are top-level widgets of their own.
    if (g->kind != GadgetKind::Window && g->widget && !g->widget->parentWidget()) delete g->widget.data();
  }
}

QtGadget* QtGui::Q(Gadget* g) const { return static_cast<QtGadget*>(g); }

void QtGui::Raise(int id, Gadget* source, int data, int x, int y, int mods, ObjectRef extra) {
  if (dying_) return;
  Event ev;
  ev.id = id;
  ev.source = source;
  ev.data = data;
  ev.x = x;
  ev.y = y;
  ev.mods = mods;
  ev.extra = std::move(extra);
  Emit(ev);
}

QtGadget* QtGui::Make(GadgetKind kind, Gadget* parent, int x, int y, int w, int h, int style) {
  all_.push_back(std::make_unique<QtGadget>(kind, parent));
  QtGadget* g = all_.back().get();
  g->style = style;
  g->ref = QRect(x, y, w, h);
  if (parent && kind != GadgetKind::Window && kind != GadgetKind::Menu) Q(parent)->children.push_back(g);
  return g;
}

// ---- sizes ----

QMargins QtGui::Frame(const QtGadget* win) const {
  if (win->frameKnown) return win->frame;
  if (!(win->style & WINDOW_TITLEBAR)) return {};
  return frameSeen_[(win->style & WINDOW_TOOL) ? 1 : 0];
}

void QtGui::FrameArrived(QtGadget* win) {
  QWindow* handle = win->widget ? win->widget->windowHandle() : nullptr;
  const QMargins m = handle ? handle->frameMargins() : QMargins();
  if (m.isNull()) return;  // no window manager, or not framed yet
  win->frame = m;
  win->frameKnown = true;
  if (win->style & WINDOW_TITLEBAR) frameSeen_[(win->style & WINDOW_TOOL) ? 1 : 0] = m;
  // Not from inside the paint that noticed the frame.
  QTimer::singleShot(0, owner_.get(), [this] { Refit(); });
}

void QtGui::Refit() {
  // By index: the hook may create gadgets while it handles WindowSize.
  for (size_t i = 0; i < all_.size(); ++i) {
    QtGadget* win = all_[i].get();
    if (win->kind != GadgetKind::Window || !win->widget) continue;
    const QMargins m = Frame(win);
    if ((win->minW || win->minH) && m != win->minGuessed) ApplyMinSize(win);
    if (!win->outerPending) continue;
    win->outerPending = !win->frameKnown;
    if (m == win->guessed) continue;
    win->guessed = m;
    const QSize client(std::max(1, win->outerAsked.width() - m.left() - m.right()),
                       std::max(1, win->outerAsked.height() - m.top() - m.bottom()));
    if (win->style & WINDOW_RESIZABLE) win->widget->resize(client);
    else win->widget->setFixedSize(client);
    WindowResized(win);
  }
}

int QtGui::ClientW(const QtGadget* g) const { return g->widget ? g->widget->width() : 0; }

int QtGui::ClientH(const QtGadget* g) const {
  if (!g->widget) return 0;
  int h = g->widget->height();
  if (g->kind == GadgetKind::Window) {
    if (g->menuBar) h -= menuBarH_;
    if (g->statusBar) h -= statusBarH_;
  } else if (g->kind == GadgetKind::Tabber) {
    h -= tabRowH_;
  }
  return std::max(0, h);
}

void QtGui::Arrange(QtGadget* g) {
  if (!g->widget) return;
  const int w = g->widget->width(), h = g->widget->height();
  if (g->kind == GadgetKind::Window) {
    const int top = g->menuBar ? menuBarH_ : 0;
    const int bottom = g->statusBar ? statusBarH_ : 0;
    if (g->menuBar) g->menuBar->setGeometry(0, 0, w, top);
    if (g->statusBar) g->statusBar->setGeometry(0, std::max(top, h - bottom), w, bottom);
    if (g->client) g->client->setGeometry(0, top, w, ClientH(g));
  } else if (g->kind == GadgetKind::Tabber) {
    if (g->tabs) g->tabs->setGeometry(0, 0, w, std::min(h, tabRowH_));
    if (g->client) g->client->setGeometry(0, std::min(h, tabRowH_), w, ClientH(g));
  }
}

bool QtGui::Reflow(QtGadget* top) {
  bool changed = false;
  std::vector<QtGadget*> todo{top};
  while (!todo.empty()) {
    QtGadget* c = todo.back();
    todo.pop_back();
    Arrange(c);
    const QSize now(ClientW(c), ClientH(c));
    if (now == c->laidOut) continue;
    c->laidOut = now;
    if (c == top) changed = true;
    // By index: a resized canvas paints at once, and the hook may add gadgets meanwhile.
    for (size_t i = 0; i < c->children.size(); ++i) {
      QtGadget* k = c->children[i];
      if (!k->widget) continue;
      int x, y, w, h;
      Axis(k->ref.x(), k->ref.width(), k->edge[0], k->edge[1], k->refParent.width(), now.width(), x, w);
      Axis(k->ref.y(), k->ref.height(), k->edge[2], k->edge[3], k->refParent.height(), now.height(), y, h);
      k->widget->setGeometry(x, y, std::max(0, w), std::max(0, h));
      if (IsContainer(k)) todo.push_back(k);
    }
  }
  return changed;
}

void QtGui::WindowResized(QtGadget* win) {
  if (!win->client) return;  // still being built
  if (Reflow(win)) Raise(EVENT_WINDOWSIZE, win);
}

void QtGui::Place(QtGadget* g, int x, int y, int w, int h) {
  g->ref = QRect(x, y, w, h);
  auto* parent = Q(g->parent);
  g->refParent = parent ? parent->laidOut : QSize();
  if (!g->widget) return;
  g->widget->setGeometry(x, y, std::max(0, w), std::max(0, h));
  if (IsContainer(g)) Reflow(g);
}

// ---- creation ----

Gadget* QtGui::CreateWindow(const std::string& title, int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Window, parent, x, y, w, h, style);
  QWidget* parentWidget = nullptr;
  if (parent && Q(parent)->widget) parentWidget = Q(parent)->widget->window();

  Qt::WindowFlags f = (style & WINDOW_TOOL) ? Qt::Tool : Qt::Window;
  if (style & WINDOW_TITLEBAR) {
    f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (!(style & WINDOW_TOOL)) {
      if (style & WINDOW_RESIZABLE) f |= Qt::WindowMinMaxButtonsHint;
      else if (!parent) f |= Qt::WindowMinimizeButtonHint;
    }
  } else {
    f |= Qt::FramelessWindowHint;
  }
  auto* win = new QtWindowWidget(this, g, parentWidget, f);
  win->setWindowTitle(Qs(title));
  g->widget = win;
  g->client = new QWidget(win);
  if (style & WINDOW_MENU) {
    g->menuBar = new QMenuBar(win);
    g->menuBar->setNativeMenuBar(false);  // a global menu would change the client area
  }
  if (style & WINDOW_STATUS) {
    g->statusBar = new QStatusBar(win);
    g->statusLabel = new QLabel(g->statusBar);
    g->statusBar->addWidget(g->statusLabel, 1);
    g->statusBar->setSizeGripEnabled(style & WINDOW_RESIZABLE);
  }
  int cw = w, ch = h;
  if (style & WINDOW_CLIENTCOORDS) {
    if (g->menuBar) ch += menuBarH_;
    if (g->statusBar) ch += statusBarH_;
  } else {
    const QMargins m = Frame(g);
    cw -= m.left() + m.right();
    ch -= m.top() + m.bottom();
    g->outerPending = true;
    g->outerAsked = QSize(w, h);
    g->guessed = m;
  }
  cw = std::max(1, cw);
  ch = std::max(1, ch);
  win->move(x, y);
  if (style & WINDOW_RESIZABLE) win->resize(cw, ch);
  else win->setFixedSize(cw, ch);
  Arrange(g);
  g->laidOut = QSize(ClientW(g), ClientH(g));

  // Windows start visible, as the game expects, but only from the next event
  // pass: the game hides most of them right away, and they must not flash.
  g->pendingShow = true;
  QTimer::singleShot(0, owner_.get(), [this, g] {
    if (g->pendingShow) ShowWindow(g);
  });
  return g;
}

namespace {
QWidget* ClientWidget(Gadget* parent) {
  if (!parent) return nullptr;
  auto* p = static_cast<QtGadget*>(parent);
  return p->client ? p->client.data() : p->widget.data();
}
}  // namespace

Gadget* QtGui::CreateLabel(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Label, parent, x, y, w, h, style);
  auto* label = new QLabel(ClientWidget(parent));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  label->setText(Qs(text));
  g->widget = label;
  Place(g, x, y, w, h);
  if (parent) label->show();
  return g;
}

Gadget* QtGui::CreateButton(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Button, parent, x, y, w, h, style);
  QWidget* host = ClientWidget(parent);
  if (style == BUTTON_CHECKBOX) {
    auto* box = new QCheckBox(Qs(text), host);
    QObject::connect(box, &QCheckBox::clicked, box, [this, g](bool on) { Raise(EVENT_GADGETACTION, g, on ? 1 : 0); });
    g->widget = box;
  } else {
    auto* button = new QPushButton(Qs(text), host);
    QObject::connect(button, &QPushButton::clicked, button, [this, g] { Raise(EVENT_GADGETACTION, g); });
    g->widget = button;
    if (QtGadget* win = WindowOf(Q(parent))) {
      if (style == BUTTON_OK) {
        button->setDefault(true);
        win->okButtons.push_back(g);
      } else if (style == BUTTON_CANCEL) {
        win->cancelButtons.push_back(g);
      }
    }
  }
  Place(g, x, y, w, h);
  if (parent) g->widget->show();
  return g;
}

Gadget* QtGui::CreateTextField(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::TextField, parent, x, y, w, h, style);
  auto* field = new QtField(this, g, ClientWidget(parent));
  QObject::connect(field, &QLineEdit::textEdited, field, [this, g] { Raise(EVENT_GADGETACTION, g); });
  g->widget = field;
  Place(g, x, y, w, h);
  if (parent) field->show();
  return g;
}

Gadget* QtGui::CreateTextArea(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::TextArea, parent, x, y, w, h, style);
  auto* area = new QPlainTextEdit(ClientWidget(parent));
  area->setReadOnly(style & TEXTAREA_READONLY);
  QObject::connect(area, &QPlainTextEdit::textChanged, area, [this, g] {
    if (!g->quiet) Raise(EVENT_GADGETACTION, g);
  });
  g->widget = area;
  Place(g, x, y, w, h);
  if (parent) area->show();
  return g;
}

Gadget* QtGui::CreateListBox(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::ListBox, parent, x, y, w, h, style);
  auto* list = new QListWidget(ClientWidget(parent));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  auto extraAt = [g](int row) { return row >= 0 && row < int(g->extras.size()) ? g->extras[size_t(row)] : nullptr; };
  QObject::connect(list, &QListWidget::itemActivated, list, [this, g, list, extraAt](QListWidgetItem* item) {
    const int row = list->row(item);
    Raise(EVENT_GADGETACTION, g, row, 0, 0, 0, extraAt(row));
  });
  QObject::connect(list, &QListWidget::customContextMenuRequested, list, [this, g, list, extraAt](const QPoint& pos) {
    QListWidgetItem* item = list->itemAt(pos);
    const int row = item ? list->row(item) : -1;
    Raise(EVENT_GADGETMENU, g, row, pos.x(), pos.y(), 0, extraAt(row));
  });
  g->widget = list;
  Place(g, x, y, w, h);
  if (parent) list->show();
  return g;
}

Gadget* QtGui::CreateTabber(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Tabber, parent, x, y, w, h, style);
  auto* host = new QWidget(ClientWidget(parent));
  g->widget = host;
  g->tabs = new QTabBar(host);
  g->tabs->setExpanding(false);
  // A widget does not own its style: ours lives until the gadgets are gone.
  auto* tabStyle = new TightTabs(QStyleFactory::create(QApplication::style()->name()));
  tabStyle->setParent(owner_.get());
  g->tabs->setStyle(tabStyle);
  g->client = new QWidget(host);
  QObject::connect(g->tabs, &QTabBar::currentChanged, g->tabs, [this, g](int index) {
    if (!g->quiet) Raise(EVENT_GADGETACTION, g, index);
  });
  Place(g, x, y, w, h);
  if (parent) host->show();
  return g;
}

Gadget* QtGui::CreatePanel(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Panel, parent, x, y, w, h, style);
  auto* panel = new QWidget(ClientWidget(parent));
  panel->setAutoFillBackground(true);
  g->widget = panel;
  Place(g, x, y, w, h);
  if (parent) panel->show();
  return g;
}

Gadget* QtGui::CreateCanvas(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Canvas, parent, x, y, w, h, style);
  auto* canvas = new QtCanvas(this, g, ClientWidget(parent));
  g->widget = canvas;
  g->canvas = &canvas->Canvas();
  Place(g, x, y, w, h);
  if (parent) canvas->show();
  return g;
}

Gadget* QtGui::CreateSlider(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Slider, parent, x, y, w, h, style);
  const bool vertical = (style & SLIDER_VERTICAL) || (!(style & SLIDER_HORIZONTAL) && h > w);
  const Qt::Orientation orientation = vertical ? Qt::Vertical : Qt::Horizontal;
  QAbstractSlider* bar = (style & SLIDER_TRACKBAR) ? static_cast<QAbstractSlider*>(new QSlider(orientation, ClientWidget(parent)))
                                                   : new QScrollBar(orientation, ClientWidget(parent));
  bar->setRange(0, 0);
  QObject::connect(bar, &QAbstractSlider::valueChanged, bar, [this, g](int value) {
    if (!g->quiet) Raise(EVENT_GADGETACTION, g, value);
  });
  g->widget = bar;
  Place(g, x, y, w, h);
  if (parent) bar->show();
  return g;
}

Gadget* QtGui::CreateTable(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Table, parent, x, y, w, h, style);
  auto* table = new QTreeWidget(ClientWidget(parent));
  table->setRootIsDecorated(false);
  table->setUniformRowHeights(true);  // long lists stay quick to fill and scroll
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setAllColumnsShowFocus(true);
  table->header()->setSectionsClickable(true);
  table->header()->setSortIndicatorShown(false);
  auto extraAt = [g](int row) { return row >= 0 && row < int(g->extras.size()) ? g->extras[size_t(row)] : nullptr; };
  QObject::connect(table->header(), &QHeaderView::sectionClicked, table,
                   [this, g](int column) { Raise(EVENT_HEADERCLICK, g, column); });
  QObject::connect(table, &QTreeWidget::itemActivated, table, [this, g, table, extraAt](QTreeWidgetItem* item) {
    const int row = table->indexOfTopLevelItem(item);
    Raise(EVENT_GADGETACTION, g, row, 0, 0, 0, extraAt(row));
  });
  QObject::connect(table, &QTreeWidget::currentItemChanged, table, [this, g, table, extraAt](QTreeWidgetItem* item) {
    if (g->quiet) return;
    const int row = item ? table->indexOfTopLevelItem(item) : -1;
    Raise(EVENT_GADGETSELECT, g, row, 0, 0, 0, extraAt(row));
  });
  g->widget = table;
  Place(g, x, y, w, h);
  if (parent) table->show();
  return g;
}

Gadget* QtGui::CreateChart(int x, int y, int w, int h, Gadget* parent, int style) {
  QtGadget* g = Make(GadgetKind::Chart, parent, x, y, w, h, style);
  auto* view = new QChartView(ClientWidget(parent));
  view->setRenderHint(QPainter::Antialiasing);
  view->chart()->legend()->setAlignment(Qt::AlignBottom);
  g->widget = view;
  Place(g, x, y, w, h);
  if (parent) view->show();
  return g;
}

Gadget* QtGui::CreateMenu(const std::string& text, int tag, Gadget* parent, int hotkey) {
  QtGadget* g = Make(GadgetKind::Menu, parent, 0, 0, 0, 0, 0);
  g->tag = tag;
  QtGadget* p = Q(parent);
  if (!p) {
    g->menu = new QMenu(Qs(text));
    g->action = g->menu->menuAction();
  } else if (p->kind == GadgetKind::Window) {
    if (!p->menuBar) {
      p->menuBar = new QMenuBar(p->widget);
      p->menuBar->setNativeMenuBar(false);
      p->menuBar->show();
      WindowResized(p);
    }
    g->menu = p->menuBar->addMenu(Qs(text));
    g->action = g->menu->menuAction();
  } else {
    if (!p->menu) {
      // An item that receives items becomes a submenu.
      QWidget* owner = p->action ? qobject_cast<QWidget*>(p->action->parent()) : nullptr;
      p->menu = new QMenu(p->action ? p->action->text() : QString(), owner);
      if (p->action) p->action->setMenu(p->menu.data());
    }
    QAction* a = p->menu->addAction(Qs(text));
    if (const int key = QtKey(hotkey)) a->setShortcut(QKeySequence(key));
    QObject::connect(a, &QAction::triggered, a, [this, g] { Raise(EVENT_MENUACTION, g, g->tag); });
    g->action = a;
  }
  return g;
}

Gadget* QtGui::CreateTimer(double hz) {
  QtGadget* g = Make(GadgetKind::Timer, nullptr, 0, 0, 0, 0, 0);
  auto* timer = new QTimer(owner_.get());
  timer->setTimerType(Qt::PreciseTimer);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, timer, [this, g] {
    if (g->resting) EndRest(g);
    const bool restart = std::exchange(g->rested, false);
    Raise(EVENT_TIMERTICK, g, ++g->ticks);
    if (g->enabled && g->timer && !g->resting) ArmTimer(g, restart);
  });
  g->timer = timer;
  if (hz > 0) {
    g->periodNs = std::max<int64_t>(1000000, std::llround(1e9 / hz));
    ArmTimer(g, true);
  }
  return g;
}

// A deadline schedule rather than a repeating interval: the average rate is
// exact and a late tick does not shift the ones after it. A tick more than a
// whole period late gives up the slots it missed instead of firing them in a
// burst; the game clock follows real time anyway.
void QtGui::ArmTimer(QtGadget* g, bool restart) {
  using namespace std::chrono;
  if (g->periodNs <= 0 || !g->timer) return;
  const auto now = steady_clock::now();
  if (restart) {
    g->epoch = now;
    g->slot = 0;
  }
  ++g->slot;
  const int64_t since = duration_cast<nanoseconds>(now - g->epoch).count();
  if (since >= g->slot * g->periodNs + g->periodNs) g->slot = since / g->periodNs + 1;
  const int64_t wait = g->slot * g->periodNs - since;
  // Whole milliseconds, rounded up: a tick never comes before its slot.
  g->timer->start(int(std::max<int64_t>(0, (wait + 999999) / 1000000)));
}

void QtGui::Rest(Gadget* timer, int ms, const std::vector<int>& fds) {
  QtGadget* g = Q(timer);
  if (!g->timer) return;
  EndRest(g);
  g->rested = false;
  g->resting = true;
  for (int fd : fds) {
    auto* n = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, owner_.get());
    QObject::connect(n, &QSocketNotifier::activated, n, [this, g] { Wake(g); });
    g->notifiers.emplace_back(n);
  }
  if (ms >= 0)
    g->timer->start(ms);
  else
    g->timer->stop();
}

void QtGui::Wake(Gadget* timer) {
  QtGadget* g = Q(timer);
  if (!g->resting || !g->timer) return;
  EndRest(g);
  g->timer->start(0);
}

void QtGui::EndRest(QtGadget* g) {
  for (const QPointer<QSocketNotifier>& n : g->notifiers)
    if (n) {
      // Level-triggered: left enabled it would fire again until the bytes are read.
      n->setEnabled(false);
      n->deleteLater();
    }
  g->notifiers.clear();
  if (std::exchange(g->resting, false)) g->rested = true;
}

// ---- state ----

void QtGui::SetLayout(Gadget* g, bool left, bool right, bool top, bool bottom) {
  QtGadget* q = Q(g);
  q->edge[0] = left;
  q->edge[1] = right;
  q->edge[2] = top;
  q->edge[3] = bottom;
  // The rule applies from the shape the gadget has now.
  if (q->widget && q->kind != GadgetKind::Window) {
    q->ref = q->widget->geometry();
    if (auto* p = Q(g->parent)) q->refParent = p->laidOut;
  }
}

void QtGui::ShowWindow(QtGadget* win) {
  win->pendingShow = false;
  if (!win->widget || win->widget->isVisible()) return;
  win->widget->show();
  win->widget->raise();
  win->widget->activateWindow();
}

void QtGui::Show(Gadget* g) {
  QtGadget* q = Q(g);
  if (q->kind == GadgetKind::Window) return ShowWindow(q);
  if (q->widget) q->widget->show();
  else if (q->action) q->action->setVisible(true);
}

void QtGui::Hide(Gadget* g) {
  QtGadget* q = Q(g);
  q->pendingShow = false;
  if (q->widget) q->widget->hide();
  else if (q->action) q->action->setVisible(false);
}

bool QtGui::Hidden(Gadget* g) {
  QtGadget* q = Q(g);
  if (q->kind == GadgetKind::Window) return !(q->pendingShow || (q->widget && q->widget->isVisible()));
  if (q->widget) return q->widget->isHidden();
  if (q->action) return !q->action->isVisible();
  return false;
}

void QtGui::Enable(Gadget* g) {
  QtGadget* q = Q(g);
  q->enabled = true;
  if (q->kind == GadgetKind::Window) {
    // Only the window's own parts: disabling the top-level widget would also
    // disable the child windows stacked on it.
    for (QWidget* w : {q->client.data(), static_cast<QWidget*>(q->menuBar.data()), static_cast<QWidget*>(q->statusBar.data())})
      if (w) w->setEnabled(true);
  } else if (q->widget) {
    q->widget->setEnabled(true);
  } else if (q->action) {
    q->action->setEnabled(true);
  } else if (q->timer) {
    if (!q->timer->isActive() && !q->resting) ArmTimer(q, true);
  }
}

void QtGui::Disable(Gadget* g) {
  QtGadget* q = Q(g);
  q->enabled = false;
  if (q->kind == GadgetKind::Window) {
    for (QWidget* w : {q->client.data(), static_cast<QWidget*>(q->menuBar.data()), static_cast<QWidget*>(q->statusBar.data())})
      if (w) w->setEnabled(false);
  } else if (q->widget) {
    q->widget->setEnabled(false);
  } else if (q->action) {
    q->action->setEnabled(false);
  } else if (q->timer) {
    EndRest(q);
    q->timer->stop();
  }
}

bool QtGui::Enabled(Gadget* g) { return Q(g)->enabled; }

void QtGui::Activate(Gadget* g) {
  QtGadget* q = Q(g);
  // Focus only: raising or activating here would pull the main window over
  // the chat and options windows on every repaint of its canvas.
  if (q->kind == GadgetKind::Window || !q->widget) return;
  q->widget->setFocus(Qt::OtherFocusReason);
}

void QtGui::SetText(Gadget* g, const std::string& text) {
  QtGadget* q = Q(g);
  const QString t = Qs(text);
  Quiet quiet(q);
  switch (q->kind) {
    case GadgetKind::Window: q->widget->setWindowTitle(t); break;
    case GadgetKind::Label: static_cast<QLabel*>(q->widget.data())->setText(t); break;
    case GadgetKind::Button: static_cast<QAbstractButton*>(q->widget.data())->setText(t); break;
    case GadgetKind::TextField: static_cast<QLineEdit*>(q->widget.data())->setText(t); break;
    case GadgetKind::TextArea: static_cast<QPlainTextEdit*>(q->widget.data())->setPlainText(t); break;
    case GadgetKind::Menu:
      if (q->action) q->action->setText(t);
      break;
    default: break;
  }
}

std::string QtGui::Text(Gadget* g) {
  QtGadget* q = Q(g);
  switch (q->kind) {
    case GadgetKind::Window: return Ss(q->widget->windowTitle());
    case GadgetKind::Label: return Ss(static_cast<QLabel*>(q->widget.data())->text());
    case GadgetKind::Button: return Ss(static_cast<QAbstractButton*>(q->widget.data())->text());
    case GadgetKind::TextField: return Ss(static_cast<QLineEdit*>(q->widget.data())->text());
    case GadgetKind::TextArea: return Ss(static_cast<QPlainTextEdit*>(q->widget.data())->toPlainText());
    case GadgetKind::Menu: return q->action ? Ss(q->action->text()) : std::string();
    default: return {};
  }
}

void QtGui::SetStatusText(Gadget* window, const std::string& text) {
  QtGadget* q = Q(window);
  if (q->statusLabel) q->statusLabel->setText(Qs(text));
}

void QtGui::AddText(Gadget* textArea, const std::string& text) {
  QtGadget* q = Q(textArea);
  auto* area = qobject_cast<QPlainTextEdit*>(q->widget.data());
  if (!area) return;
  Quiet quiet(q);
  // A cursor of our own: the text goes at the end whatever the user selected.
  QTextCursor end(area->document());
  end.movePosition(QTextCursor::End);
  end.insertText(Qs(text));
  QScrollBar* bar = area->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void QtGui::SetButtonState(Gadget* g, bool on) {
  if (auto* b = qobject_cast<QAbstractButton*>(Q(g)->widget.data())) {
    if (b->isCheckable()) b->setChecked(on);
  }
}

bool QtGui::ButtonState(Gadget* g) {
  auto* b = qobject_cast<QAbstractButton*>(Q(g)->widget.data());
  return b && b->isChecked();
}

// ---- items ----

void QtGui::AddItem(Gadget* g, const std::string& text, const std::string& tip, ObjectRef extra) {
  QtGadget* q = Q(g);
  Quiet quiet(q);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) {
    auto* item = new QTreeWidgetItem(Qs(text).split(QLatin1Char('\t')));
    if (!tip.empty()) item->setToolTip(0, Qs(tip));
    table->addTopLevelItem(item);
    // Once for a whole batch of rows, and only the rows in view are measured.
    if (!q->fitColumns) {
      q->fitColumns = true;
      QTimer::singleShot(0, table, [q, table] {
        q->fitColumns = false;
        for (int c = 0; c < table->columnCount(); ++c) table->resizeColumnToContents(c);
      });
    }
  } else if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) {
    auto* item = new QListWidgetItem(Qs(text));
    if (!tip.empty()) item->setToolTip(Qs(tip));
    list->addItem(item);
  } else if (q->tabs) {
    const int i = q->tabs->addTab(Qs(text));
    if (!tip.empty()) q->tabs->setTabToolTip(i, Qs(tip));
  } else {
    return;
  }
  q->extras.push_back(std::move(extra));
}

void QtGui::ClearItems(Gadget* g) {
  QtGadget* q = Q(g);
  Quiet quiet(q);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) {
    table->clear();
  } else if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) {
    list->clear();
  } else if (q->tabs) {
    while (q->tabs->count() > 0) q->tabs->removeTab(q->tabs->count() - 1);
  }
  q->extras.clear();
}

int QtGui::CountItems(Gadget* g) {
  QtGadget* q = Q(g);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) return table->topLevelItemCount();
  if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) return list->count();
  if (q->tabs) return q->tabs->count();
  return 0;
}

void QtGui::SelectItem(Gadget* g, int index) {
  QtGadget* q = Q(g);
  Quiet quiet(q);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) {
    QTreeWidgetItem* item = table->topLevelItem(index);
    table->setCurrentItem(item);
    if (item) table->scrollToItem(item);
  } else if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) {
    if (index >= 0 && index < list->count()) {
      list->setCurrentRow(index);
      list->scrollToItem(list->item(index));
    } else {
      list->clearSelection();
      list->setCurrentRow(-1);
    }
  } else if (q->tabs) {
    if (index >= 0 && index < q->tabs->count()) q->tabs->setCurrentIndex(index);
  }
}

int QtGui::SelectedItem(Gadget* g) {
  QtGadget* q = Q(g);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) {
    const auto selected = table->selectedItems();
    return selected.isEmpty() ? -1 : table->indexOfTopLevelItem(selected.first());
  }
  if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
  }
  if (q->tabs) return q->tabs->currentIndex();
  return -1;
}

std::string QtGui::ItemText(Gadget* g, int index) {
  QtGadget* q = Q(g);
  if (auto* table = qobject_cast<QTreeWidget*>(q->widget.data())) {
    const QTreeWidgetItem* item = table->topLevelItem(index);
    if (!item) return {};
    QStringList cells;
    for (int c = 0; c < item->columnCount(); ++c) cells << item->text(c);
    return Ss(cells.join(QLatin1Char('\t')));
  }
  if (auto* list = qobject_cast<QListWidget*>(q->widget.data())) {
    QListWidgetItem* item = list->item(index);
    return item ? Ss(item->text()) : std::string();
  }
  if (q->tabs && index >= 0 && index < q->tabs->count()) return Ss(q->tabs->tabText(index));
  return {};
}

ObjectRef QtGui::ItemExtra(Gadget* g, int index) {
  QtGadget* q = Q(g);
  return index >= 0 && index < int(q->extras.size()) ? q->extras[size_t(index)] : nullptr;
}

void QtGui::SetSliderRange(Gadget* g, int visible, int total) {
  QtGadget* q = Q(g);
  auto* bar = qobject_cast<QAbstractSlider*>(q->widget.data());
  if (!bar) return;
  Quiet quiet(q);
  bar->setRange(0, std::max(0, total - visible));
  bar->setPageStep(std::max(1, visible));
}

int QtGui::SliderPos(Gadget* g) {
  auto* bar = qobject_cast<QAbstractSlider*>(Q(g)->widget.data());
  return bar ? bar->value() : 0;
}

void QtGui::SetSliderPos(Gadget* g, int pos) {
  QtGadget* q = Q(g);
  auto* bar = qobject_cast<QAbstractSlider*>(q->widget.data());
  if (!bar) return;
  Quiet quiet(q);
  bar->setValue(pos);
}

void QtGui::SetColumns(Gadget* table, const std::vector<std::string>& titles) {
  auto* t = qobject_cast<QTreeWidget*>(Q(table)->widget.data());
  if (!t) return;
  QStringList labels;
  for (const std::string& title : titles) labels << Qs(title);
  t->setColumnCount(int(labels.size()));
  t->setHeaderLabels(labels);
}

void QtGui::SetSortIndicator(Gadget* table, int column, bool ascending) {
  auto* t = qobject_cast<QTreeWidget*>(Q(table)->widget.data());
  if (!t) return;
  t->header()->setSortIndicatorShown(column >= 0);
  if (column >= 0) t->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void QtGui::SetChart(Gadget* chart, const ChartData& data) {
  auto* view = qobject_cast<QChartView*>(Q(chart)->widget.data());
  if (!view) return;
  QChart* c = view->chart();
  c->removeAllSeries();
  for (QAbstractAxis* axis : c->axes()) {
    c->removeAxis(axis);
    delete axis;
  }
  c->setTitle(Qs(data.title));
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  bool any = false;
  for (const ChartSeries& cs : data.series) {
    QXYSeries* series = cs.line ? static_cast<QXYSeries*>(new QLineSeries) : new QScatterSeries;
    series->setName(Qs(cs.name));
    if (cs.line) series->setPointsVisible(true);
    for (auto [x, y] : cs.points) {
      series->append(x, y);
      x0 = any ? std::min(x0, x) : x;
      x1 = any ? std::max(x1, x) : x;
      y0 = any ? std::min(y0, y) : y;
      y1 = any ? std::max(y1, y) : y;
      any = true;
    }
    c->addSeries(series);
  }
  // Axes that always show a little room around the points, from zero up.
  auto* ax = new QValueAxis;
  auto* ay = new QValueAxis;
  ax->setTitleText(Qs(data.xTitle));
  ay->setTitleText(Qs(data.yTitle));
  ax->setLabelFormat(QStringLiteral("%d"));
  ax->setRange(std::min(0.0, x0), x1 > x0 ? x1 : x0 + 1);
  ay->setRange(std::min(0.0, y0), y1 > 0 ? y1 * 1.1 : 1);
  ax->applyNiceNumbers();
  ay->applyNiceNumbers();
  ay->setLabelFormat(QStringLiteral("%g"));
  c->addAxis(ax, Qt::AlignBottom);
  c->addAxis(ay, Qt::AlignLeft);
  for (QAbstractSeries* series : c->series()) {
    series->attachAxis(ax);
    series->attachAxis(ay);
  }
  c->legend()->setVisible(data.series.size() > 1);
}

// ---- shape ----

void QtGui::SetShape(Gadget* g, int x, int y, int w, int h) {
  QtGadget* q = Q(g);
  if (!q->widget) return;
  if (q->kind != GadgetKind::Window) return Place(q, x, y, w, h);
  const QMargins m = Frame(q);
  const int cw = std::max(1, w - m.left() - m.right());
  const int ch = std::max(1, h - m.top() - m.bottom());
  // Sizes the program passes here mostly derive from Width and Height under
  // the same guess, so they stay as they are when the real frame arrives.
  q->outerPending = false;
  q->widget->move(x, y);
  if (q->style & WINDOW_RESIZABLE) q->widget->resize(cw, ch);
  else q->widget->setFixedSize(cw, ch);
  WindowResized(q);
}

int QtGui::X(Gadget* g) {
  QtGadget* q = Q(g);
  return q->widget ? q->widget->x() : 0;
}

int QtGui::Y(Gadget* g) {
  QtGadget* q = Q(g);
  return q->widget ? q->widget->y() : 0;
}

int QtGui::Width(Gadget* g) {
  QtGadget* q = Q(g);
  if (!q->widget) return 0;
  if (q->kind != GadgetKind::Window) return q->widget->width();
  const QMargins m = Frame(q);
  return q->widget->width() + m.left() + m.right();
}

int QtGui::Height(Gadget* g) {
  QtGadget* q = Q(g);
  if (!q->widget) return 0;
  if (q->kind != GadgetKind::Window) return q->widget->height();
  const QMargins m = Frame(q);
  return q->widget->height() + m.top() + m.bottom();
}

int QtGui::ClientWidth(Gadget* g) { return ClientW(Q(g)); }
int QtGui::ClientHeight(Gadget* g) { return ClientH(Q(g)); }

int QtGui::TextWidth(Gadget* g) {
  QtGadget* q = Q(g);
  if (q->tabs) return q->tabs->sizeHint().width();
  QWidget* w = q->widget;
  if (!w) return 0;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->sizeHint().width();
  // Rounded up: a label as wide as its text's rounded advance could still wrap.
  const QSizeF text = QFontMetricsF(w->font()).size(0, Qs(Text(g)));
  int extra = w->contentsMargins().left() + w->contentsMargins().right();
  if (auto* label = qobject_cast<QLabel*>(w)) extra += 2 * label->margin();
  return int(std::ceil(text.width())) + 1 + extra;
}

void QtGui::SetMinWindowSize(Gadget* window, int w, int h) {
  QtGadget* q = Q(window);
  q->minW = w;
  q->minH = h;
  ApplyMinSize(q);
}

void QtGui::ApplyMinSize(QtGadget* win) {
  const QMargins m = Frame(win);
  win->minGuessed = m;
  if (!win->widget || !(win->style & WINDOW_RESIZABLE)) return;
  win->widget->setMinimumSize(std::max(0, win->minW - m.left() - m.right()),
                              std::max(0, win->minH - m.top() - m.bottom()));
  WindowResized(win);  // a hidden window grows without a resize event
}

int QtGui::DesktopWidth() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry().width() : 0;
}

int QtGui::DesktopHeight() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry().height() : 0;
}

// ---- the rest ----

void QtGui::SetPanelColor(Gadget* panel, Colour c) {
  QWidget* w = Q(panel)->widget;
  if (!w) return;
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, QColor(c.r, c.g, c.b));
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

void QtGui::SetFilter(Gadget* textField, KeyFilter filter) { Q(textField)->filter = std::move(filter); }

void QtGui::SetMaxLength(Gadget* textField, int chars) {
  if (auto* field = qobject_cast<QLineEdit*>(Q(textField)->widget.data())) field->setMaxLength(chars);
}

void QtGui::Redraw(Gadget* canvas) {
  if (auto* c = dynamic_cast<QtCanvas*>(Q(canvas)->widget.data())) c->PaintNow();
}

void QtGui::UpdateWindowMenu(Gadget* window) {
  if (QMenuBar* bar = Q(window)->menuBar) bar->update();
}

void QtGui::PopupMenu(Gadget*, Gadget* menu) {
  // Not exec(): a nested event loop would run the hook inside the hook.
  if (QMenu* m = Q(menu)->menu) m->popup(QCursor::pos());
}

Colour QtGui::RequestColor(Colour c) {
  const QColor chosen = QColorDialog::getColor(QColor(c.r, c.g, c.b), QApplication::activeWindow());
  if (!chosen.isValid()) return c;
  return Colour{uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue())};
}

std::string QtGui::RequestFile(const std::string& title, const std::string& filter, const std::string& name, bool save) {
  QWidget* parent = QApplication::activeWindow();
  const QString chosen = save ? QFileDialog::getSaveFileName(parent, Qs(title), Qs(name), Qs(filter))
                              : QFileDialog::getOpenFileName(parent, Qs(title), Qs(name), Qs(filter));
  return Ss(chosen);
}

void QtGui::Notify(Gadget* window, const std::string& title, const std::string& text) {
  QWidget* parent = window && Q(window)->widget ? Q(window)->widget->window() : nullptr;
  auto* box = new QMessageBox(QMessageBox::Warning, Qs(title), Qs(text), QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void QtGui::SetHook(EventHook hook) { hook_ = std::move(hook); }

void QtGui::WaitSystem() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  // Without exec() Qt never reaches a loop level where deleteLater runs.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtGui::Exit(int status) { std::exit(status); }

QtGui::CanvasFrames QtGui::FramesOf(Gadget* canvas) const {
  const QtGadget* q = Q(canvas);
  if (!q->widget || !q->canvas) return {};
  return {q->canvas->presented, q->canvas->partial, q->canvas->skipped};
}

}  // namespace bg
