#pragma once
#include <string>
#include <vector>

#include "platform/gui.h"

// A display-free gadget backend that keeps the gadgets' state the game reads
// back, for runs without a display (the headless tools, the tests).
namespace bg {

struct MemGadget : Gadget {
  MemGadget(GadgetKind k, Gadget* p) : Gadget(k, p) {}
  struct Item {
    std::string text, tip;
    ObjectRef extra;
  };
  std::string text;
  std::string status;
  int x = 0, y = 0, w = 0, h = 0;
  int minW = 0, minH = 0;
  bool shown = true;
  bool enabled = true;
  bool state = false;
  std::vector<Item> items;
  int selected = -1;
  int visible = 0, total = 0, pos = 0;
  int maxLength = -1;  // characters; -1 for no limit
  std::vector<std::string> columns;
  int sortColumn = -1;
  bool sortAscending = true;
  ChartData chart;
  bool layout[4] = {false, false, false, false};
};

class MemoryGui : public Gui {
 public:
  MemoryGui();
  ~MemoryGui() override;

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
  // Ends the rest; the tick is the caller's, as every tick here.
  void Wake(Gadget* timer) override;
  Gadget* CreateTable(int x, int y, int w, int h, Gadget* parent, int style) override;
  Gadget* CreateChart(int x, int y, int w, int h, Gadget* parent, int style) override;

  void SetLayout(Gadget* g, bool left, bool right, bool top, bool bottom) override;
  void Show(Gadget* g) override;
  void Hide(Gadget* g) override;
  bool Hidden(Gadget* g) override;
  void Enable(Gadget* g) override;
  void Disable(Gadget* g) override;
  bool Enabled(Gadget* g) override;
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
  // charW per character, plus padW per button or tab.
  int TextWidth(Gadget* g) override;
  void SetMinWindowSize(Gadget* window, int w, int h) override;
  int DesktopWidth() override { return desktopW; }
  int DesktopHeight() override { return desktopH; }
  void SetPanelColor(Gadget* panel, Colour c) override;
  void SetFilter(Gadget* textField, KeyFilter filter) override;
  void SetMaxLength(Gadget* textField, int chars) override;
  void Redraw(Gadget* canvas) override;
  void UpdateWindowMenu(Gadget* window) override;
  void PopupMenu(Gadget* window, Gadget* menu) override;
  Colour RequestColor(Colour c) override;
  // Answers with nextFile and remembers what was asked.
  std::string RequestFile(const std::string& title, const std::string& filter, const std::string& name, bool save) override;
  void Notify(Gadget* window, const std::string& title, const std::string& text) override;
  void SetHook(EventHook hook) override;
  // With a timer resting: waits for what ends its rest (its time or a
  // socket; no input comes from elsewhere here) and ticks it. Else returns at once.
  void WaitSystem() override;
  void Exit(int status) override;

  static MemGadget* M(Gadget* g) { return static_cast<MemGadget*>(g); }

  int desktopW = 1920, desktopH = 1080;
  int windowChromeW = 0;   // outer width minus client width of windows
  int windowChromeH = 40;  // title and menu bar
  int charW = 6, padW = 12;  // text metrics
  Colour nextColor;        // what the colour picker answers
  // The resting timer (null when none), what ends its rest, and whether the
  // last rest ended because a socket could be read.
  Gadget* resting = nullptr;
  int restMs = -1;
  std::vector<int> restFds;
  bool wokeBySocket = false;
  std::string nextFile;    // what the file chooser answers
  bool fileSaved = false;  // whether the last chooser was for saving
  std::vector<std::string> notices;  // the message boxes' texts, in order

 protected:
  Gadget* focus_ = nullptr;

 private:
  MemGadget* Make(GadgetKind k, Gadget* parent, int x, int y, int w, int h);
  // Children follow their layout rules, through tab controls and panels.
  void ResizeWindow(Gadget* window, int w, int h);
  std::vector<MemGadget*> all_;
};

}  // namespace bg
