#pragma once
#include <memory>
#include <string>
#include <vector>

#include <QMargins>

#include "platform/gui.h"

class QObject;

// The gadget layer over Qt 6 Widgets, with the semantics of MemoryGui.
//
// Windows are top-level widgets placed in screen coordinates by their outer
// frame; a child window is a separate top-level window stacked above its
// parent. The outer frame is only known once the window manager has framed a
// window, so until then the last frame seen on a window of the same kind
// stands in (none at all before the first window is shown). The outer size a
// window was created with under a wrong guess is applied again, to hidden
// windows too, as soon as a window's first paint reveals the real frame.
// Without a window manager there is no frame.
//
// Needs a QApplication. Canvases draw with OpenGL offscreen (OffscreenCanvas).
namespace bg {

struct QtGadget;

class QtGui : public Gui {
 public:
  QtGui();
  ~QtGui() override;
  QtGui(const QtGui&) = delete;
  QtGui& operator=(const QtGui&) = delete;

  Gadget* CreateWindow(const std::string& title, int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateLabel(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateButton(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateTextField(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateTextArea(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateListBox(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateTabber(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreatePanel(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateCanvas(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateSlider(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateMenu(const std::string& text, int tag, Gadget* parent, int hotkey) override;
  Gadget* CreateTimer(double hz) override;
  void Rest(Gadget* timer, int ms, const std::vector<int>& fds) override;
  void Wake(Gadget* timer) override;
  // A tree view with a header row, one level deep.
  Gadget* CreateTable(int x, int y, int w, int h, Gadget* parent, int style) override;
  // A Qt Charts view; each SetChart replaces its series and axes.
  Gadget* CreateChart(int x, int y, int w, int h, Gadget* parent, int style) override;

  void SetLayout(Gadget* g, bool left, bool right, bool top, bool bottom) override;
  // Showing a hidden window also brings it to the front; nothing else raises a window.
  void Show(Gadget* g) override;
  void Hide(Gadget* g) override;
  bool Hidden(Gadget* g) override;
  void Enable(Gadget* g) override;
  void Disable(Gadget* g) override;
  bool Enabled(Gadget* g) override;
  // On a window: leaves its focus as it is (Show already fronted a newly shown window).
  void Activate(Gadget* g) override;
  void SetText(Gadget* g, const std::string& text) override;
  std::string Text(Gadget* g) override;
  void SetStatusText(Gadget* window, const std::string& text) override;
  void AddText(Gadget* textArea, const std::string& text) override;
  void SetButtonState(Gadget* g, bool on) override;
  bool ButtonState(Gadget* g) override;
  void AddItem(Gadget* g, const std::string& text, const std::string& tip, ObjectRef extra) override;
  void ClearItems(Gadget* g) override;
  int CountItems(Gadget* g) override;
  void SelectItem(Gadget* g, int index) override;
  int SelectedItem(Gadget* g) override;
  std::string ItemText(Gadget* g, int index) override;
  ObjectRef ItemExtra(Gadget* g, int index) override;
  void SetSliderRange(Gadget* g, int visible, int total) override;
  int SliderPos(Gadget* g) override;
  void SetSliderPos(Gadget* g, int pos) override;
  void SetColumns(Gadget* table, const std::vector<std::string>& titles) override;
  void SetSortIndicator(Gadget* table, int column, bool ascending) override;
  void SetChart(Gadget* chart, const ChartData& data) override;
  void SetShape(Gadget* g, int x, int y, int w, int h) override;
  int X(Gadget* g) override;
  int Y(Gadget* g) override;
  int Width(Gadget* g) override;
  int Height(Gadget* g) override;
  int ClientWidth(Gadget* g) override;
  int ClientHeight(Gadget* g) override;
  int TextWidth(Gadget* g) override;
  void SetMinWindowSize(Gadget* window, int w, int h) override;
  int DesktopWidth() override;
  int DesktopHeight() override;
  void SetPanelColor(Gadget* panel, Colour c) override;
  void SetFilter(Gadget* textField, KeyFilter filter) override;
  void SetMaxLength(Gadget* textField, int chars) override;
  void Redraw(Gadget* canvas) override;
  void UpdateWindowMenu(Gadget* window) override;
  void PopupMenu(Gadget* window, Gadget* menu) override;
  Colour RequestColor(Colour c) override;
  std::string RequestFile(const std::string& title, const std::string& filter, const std::string& name, bool save) override;
  void Notify(Gadget* window, const std::string& title, const std::string& text) override;
  void SetHook(EventHook hook) override;
  void WaitSystem() override;
  void Exit(int status) override;

  // A canvas redraws only what changed since the frame on screen. For
  // measurements: draw every frame whole instead, and count the frames drawn
  // (whole or in part) and left as they were.
  void SetRepaintAll(bool on) { repaintAll_ = on; }
  struct CanvasFrames {
    long long presented = 0, partial = 0, skipped = 0;
  };
  CanvasFrames FramesOf(Gadget* canvas) const;

 private:
  friend struct QtGadget;
  friend class QtWindowWidget;
  friend class QtCanvas;
  friend class QtField;

  QtGadget* Make(GadgetKind kind, Gadget* parent, int x, int y, int w, int h, int style);
  QtGadget* Q(Gadget* g) const;
  void Place(QtGadget* g, int x, int y, int w, int h);
  // Puts a container's inner parts (menu bar, tab row, status bar) in place.
  void Arrange(QtGadget* g);
  // Applies the layout rules below `g` after its client size changed; true when it did.
  bool Reflow(QtGadget* g);
  void WindowResized(QtGadget* win);
  void ShowWindow(QtGadget* win);
  void Raise(int id, Gadget* source, int data = 0, int x = 0, int y = 0, int mods = 0, ObjectRef extra = nullptr);
  int ClientW(const QtGadget* g) const;
  int ClientH(const QtGadget* g) const;
  QMargins Frame(const QtGadget* win) const;
  // A window's first paint: learns its frame, then refits the windows whose outer size was guessed.
  void FrameArrived(QtGadget* win);
  void Refit();
  void ApplyMinSize(QtGadget* win);
  void ArmTimer(QtGadget* timer, bool restart);
  void EndRest(QtGadget* timer);

  std::vector<std::unique_ptr<QtGadget>> all_;
  std::unique_ptr<QObject> owner_;  // parent of timers, of the application event filter and of tab styles
  int menuBarH_ = 0, statusBarH_ = 0, tabRowH_ = 0;
  QMargins frameSeen_[2];  // last frame seen on a titled window, and on a tool window
  bool dying_ = false;
  bool repaintAll_ = false;
};

}  // namespace bg
