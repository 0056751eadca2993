#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The game's windows and controls are "gadgets" behind this narrow interface.
// The Qt backend shows them; MemoryGui keeps the same state without a display
// so the rules and the event hook can be tested exactly.
namespace bg {

// Anything a list-box row or an event can carry (a TGame, for instance).
struct Object {
  virtual ~Object() = default;
};
using ObjectRef = std::shared_ptr<Object>;

enum class GadgetKind {
  Window, Label, Button, TextField, TextArea, ListBox, Tabber, Panel, Canvas, Slider, Menu, Timer, Table, Chart
};

// Style flags; the backends map them onto their toolkit.
enum : int {
  WINDOW_TITLEBAR = 1,
  WINDOW_RESIZABLE = 2,
  WINDOW_MENU = 4,
  WINDOW_STATUS = 8,
  WINDOW_TOOL = 16,
  WINDOW_CLIENTCOORDS = 32,  // the size given is the client size

  BUTTON_PUSH = 0,
  BUTTON_CHECKBOX = 2,
  BUTTON_OK = 4,      // the window's default button (Return)
  BUTTON_CANCEL = 5,  // the window's cancel button (Escape)

  TEXTAREA_READONLY = 4,

  SLIDER_HORIZONTAL = 1,
  SLIDER_VERTICAL = 2,
  SLIDER_SCROLLBAR = 0,
  SLIDER_TRACKBAR = 4,  // a handle on a groove, to pick a moment or a value

  LABEL_LEFT = 0,
};

// Event kinds, numbered as the event records carry them: the ones a backend
// raises and the hook or a key filter handles.
enum : int {
  EVENT_APPTERMINATE = 0x103,
  EVENT_KEYDOWN = 0x201, EVENT_KEYCHAR = 0x203,
  EVENT_MOUSEDOWN = 0x401, EVENT_MOUSEUP = 0x402, EVENT_MOUSEMOVE = 0x403,
  EVENT_TIMERTICK = 0x801,
  EVENT_GADGETACTION = 0x2001, EVENT_GADGETPAINT = 0x2002, EVENT_GADGETSELECT = 0x2003, EVENT_GADGETMENU = 0x2004,
  EVENT_GADGETLOSTFOCUS = 0x2008,
  // A table's column title was clicked; data is the column.
  EVENT_HEADERCLICK = 0x2010,
  EVENT_WINDOWSIZE = 0x4002, EVENT_WINDOWCLOSE = 0x4003, EVENT_WINDOWACTIVATE = 0x4004,
  EVENT_MENUACTION = 0x8001,
};

// Virtual key codes, as KeyDown events and menu hotkeys carry them.
enum : int {
  KEY_LEFT = 37, KEY_UP = 38, KEY_RIGHT = 39, KEY_DOWN = 40,
  KEY_F1 = 112, KEY_F2 = 113, KEY_F3 = 114, KEY_F4 = 115, KEY_F5 = 116, KEY_F6 = 117, KEY_F7 = 118, KEY_F8 = 119,
};

struct Gadget {
  explicit Gadget(GadgetKind k, Gadget* p) : kind(k), parent(p) {}
  virtual ~Gadget() = default;
  GadgetKind kind;
  Gadget* parent;
};

struct Event {
  int id = 0;
  Gadget* source = nullptr;
  int data = 0;
  int mods = 0;
  int x = 0;
  int y = 0;
  ObjectRef extra;
};

// Returns the event to pass it on or nullptr to swallow it.
using EventHook = std::function<Event*(Event&)>;
// A text field's key filter: non-zero lets the key through.
using KeyFilter = std::function<int(const Event&)>;

struct Colour {
  uint8_t r = 0, g = 0, b = 0;
};

// What a chart shows: each series a line through its points (or the points
// alone) over axes that fit them all.
struct ChartSeries {
  std::string name;
  std::vector<std::pair<double, double>> points;
  bool line = true;
};
struct ChartData {
  std::string title, xTitle, yTitle;
  std::vector<ChartSeries> series;
};

class Gui {
 public:
  virtual ~Gui() = default;

  // Creation. Geometry is (x, y, w, h) in toolkit pixels relative to the parent's client area.
  virtual Gadget* CreateWindow(const std::string& title, int x, int y, int w, int h, Gadget* parent, int style) = 0;
  virtual Gadget* CreateLabel(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateButton(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style = BUTTON_PUSH) = 0;
  virtual Gadget* CreateTextField(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateTextArea(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateListBox(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateTabber(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreatePanel(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateCanvas(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateSlider(int x, int y, int w, int h, Gadget* parent, int style) = 0;
  // parent: another menu, a window (its menu bar) or nullptr (a context menu).
  // hotkey: a virtual key code (KEY_F1 ...) or 0.
  virtual Gadget* CreateMenu(const std::string& text, int tag, Gadget* parent, int hotkey = 0) = 0;
  // A list box with columns: rows are added as items whose cells are separated
  // by tabs. Selecting a row raises GadgetSelect, activating it GadgetAction
  // (data the row, extra its object), clicking a column title HeaderClick; the
  // program sorts the rows itself.
  virtual Gadget* CreateTable(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  virtual Gadget* CreateChart(int x, int y, int w, int h, Gadget* parent, int style = 0) = 0;
  // A timer posting TimerTick events to the hook `hz` times a second.
  virtual Gadget* CreateTimer(double hz) = 0;
  // Lets a timer rest after the tick in hand: its next tick comes after `ms`
  // milliseconds (-1: not before a wake), as soon as one of the sockets `fds`
  // has something to read (or has closed), or at Wake, whichever is first;
  // from that tick on it keeps its rate again.
  virtual void Rest(Gadget* timer, int ms, const std::vector<int>& fds) = 0;
  // A resting timer ticks at once and keeps its rate again; a running one is left as it is.
  virtual void Wake(Gadget* timer) = 0;

  // Layout rule: which edges keep their distance to the parent's same edge.
  virtual void SetLayout(Gadget* g, bool left, bool right, bool top, bool bottom) = 0;

  virtual void Show(Gadget* g) = 0;
  virtual void Hide(Gadget* g) = 0;
  virtual bool Hidden(Gadget* g) = 0;  // the gadget's own flag, not its parents'
  virtual void Enable(Gadget* g) = 0;
  virtual void Disable(Gadget* g) = 0;
  virtual bool Enabled(Gadget* g) = 0;
  // Keyboard focus inside the gadget's own window; never raises a window.
  virtual void Activate(Gadget* g) = 0;

  virtual void SetText(Gadget* g, const std::string& text) = 0;
  virtual std::string Text(Gadget* g) = 0;
  virtual void SetStatusText(Gadget* window, const std::string& text) = 0;
  virtual void AddText(Gadget* textArea, const std::string& text) = 0;

  virtual void SetButtonState(Gadget* g, bool on) = 0;
  virtual bool ButtonState(Gadget* g) = 0;

  // List boxes and tab controls.
  virtual void AddItem(Gadget* g, const std::string& text, const std::string& tip = "", ObjectRef extra = nullptr) = 0;
  virtual void ClearItems(Gadget* g) = 0;
  virtual int CountItems(Gadget* g) = 0;
  virtual void SelectItem(Gadget* g, int index) = 0;
  virtual int SelectedItem(Gadget* g) = 0;  // -1 when none
  virtual std::string ItemText(Gadget* g, int index) = 0;
  virtual ObjectRef ItemExtra(Gadget* g, int index) = 0;

  virtual void SetSliderRange(Gadget* g, int visible, int total) = 0;
  virtual int SliderPos(Gadget* g) = 0;
  // Moves the slider without raising an event.
  virtual void SetSliderPos(Gadget* g, int pos) = 0;

  virtual void SetColumns(Gadget* table, const std::vector<std::string>& titles) = 0;
  // Marks the column the rows are sorted by; -1 for none.
  virtual void SetSortIndicator(Gadget* table, int column, bool ascending) = 0;
  virtual void SetChart(Gadget* chart, const ChartData& data) = 0;

  virtual void SetShape(Gadget* g, int x, int y, int w, int h) = 0;
  virtual int X(Gadget* g) = 0;
  virtual int Y(Gadget* g) = 0;
  virtual int Width(Gadget* g) = 0;
  virtual int Height(Gadget* g) = 0;
  virtual int ClientWidth(Gadget* g) = 0;
  virtual int ClientHeight(Gadget* g) = 0;
  // The width the gadget needs to show its text whole on one line in its own
  // font (a button with its margins, a tab control its whole row of tabs).
  virtual int TextWidth(Gadget* g) = 0;
  virtual void SetMinWindowSize(Gadget* window, int w, int h) = 0;
  virtual int DesktopWidth() = 0;
  virtual int DesktopHeight() = 0;

  virtual void SetPanelColor(Gadget* panel, Colour c) = 0;
  virtual void SetFilter(Gadget* textField, KeyFilter filter) = 0;
  // The most characters a text field takes, typed, pasted or set; longer text is cut.
  virtual void SetMaxLength(Gadget* textField, int chars) = 0;

  // Raises GadgetPaint for the canvas at once, inside the caller.
  virtual void Redraw(Gadget* canvas) = 0;
  virtual void UpdateWindowMenu(Gadget* window) = 0;
  virtual void PopupMenu(Gadget* window, Gadget* menu) = 0;
  // Modal colour picker preset to `c`; returns the chosen colour, or `c` when cancelled.
  virtual Colour RequestColor(Colour c) = 0;
  // Modal file chooser starting at `name`; filter as "Replays (*.bgreplay)".
  // Returns the path chosen, or "" when cancelled.
  virtual std::string RequestFile(const std::string& title, const std::string& filter, const std::string& name,
                                  bool save) = 0;
  // A message box over `window` that does not wait for its answer.
  virtual void Notify(Gadget* window, const std::string& title, const std::string& text) = 0;

  // The one event hook; every event reaches it.
  virtual void SetHook(EventHook hook) = 0;
  // Blocks until events arrive, dispatches them, returns after one batch.
  virtual void WaitSystem() = 0;
  // Ends the program at once with this status (the memory backend ignores it).
  virtual void Exit(int status) = 0;

  // Delivers an event to the hook (what the backends do for the toolkit's events).
  Event* Emit(Event& ev) { return hook_ ? hook_(ev) : &ev; }

 protected:
  EventHook hook_;
};

// The backend in use; set once at start-up (or by a test).
Gui& TheGui();
void SetGui(Gui* gui);

}  // namespace bg
