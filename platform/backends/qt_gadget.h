#pragma once
#include <chrono>
#include <cstdint>
#include <vector>

#include <QAction>
#include <QLabel>
#include <QMargins>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRect>
#include <QSocketNotifier>
#include <QSize>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QWidget>

#include "platform/gui.h"

// What QtGui keeps for each gadget: the toolkit objects behind it and the
// state Qt does not keep for us.
namespace bg {

class OffscreenCanvas;

struct QtGadget : Gadget {
  QtGadget(GadgetKind k, Gadget* p) : Gadget(k, p) {}
  int style = 0;
  QPointer<QWidget> widget;  // the outer widget of a window or control
  QPointer<QWidget> client;  // where children are placed
  QPointer<QMenuBar> menuBar;
  QPointer<QStatusBar> statusBar;
  QPointer<QLabel> statusLabel;
  QPointer<QTabBar> tabs;
  QPointer<QAction> action;
  QPointer<QMenu> menu;
  QPointer<QTimer> timer;
  OffscreenCanvas* canvas = nullptr;  // a canvas's picture and context, owned by its widget
  std::vector<QtGadget*> children;
  std::vector<ObjectRef> extras;  // one per list row or tab
  std::vector<QtGadget*> okButtons, cancelButtons;
  KeyFilter filter;

  // Layout: the edges held, and the shape last set by the program together
  // with the parent's client size at that moment. Shapes are always derived
  // from these, so repeated resizes do not accumulate rounding.
  bool edge[4] = {false, false, false, false};
  QRect ref;
  QSize refParent;
  QSize laidOut{-1, -1};  // client size the children currently fit

  bool enabled = true;
  bool pendingShow = false;  // a new window shows at the next event pass unless hidden first
  bool quiet = false;        // programmatic changes raise no events
  bool fitColumns = false;   // a table's columns are fitted to its rows at the next event pass
  bool frameKnown = false;
  QMargins frame;
  // The outer size a window was created with while its frame was only a
  // guess; it is applied again whenever a better guess or the real frame arrives.
  bool outerPending = false;
  QSize outerAsked;
  QMargins guessed;
  QMargins minGuessed;  // the frame the minimum size was set under
  int minW = 0, minH = 0;
  int tag = 0;
  int ticks = 0;
  // Timers tick on a fixed schedule: tick n is due at epoch + n * period.
  int64_t periodNs = 0;
  std::chrono::steady_clock::time_point epoch;
  int64_t slot = 0;
  // A resting timer waits for its time, a wake or one of these sockets.
  bool resting = false;
  bool rested = false;  // the next tick ends a rest: the schedule starts again from it
  std::vector<QPointer<QSocketNotifier>> notifiers;
};

}  // namespace bg
