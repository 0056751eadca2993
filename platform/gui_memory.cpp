#include "platform/gui_memory.h"

#include <algorithm>

#include "platform/latin1.h"

namespace bg {

namespace {
Gui* gGui = nullptr;
}

Gui& TheGui() { return *gGui; }
void SetGui(Gui* gui) { gGui = gui; }

const char* EventName(int id) {
  switch (id) {
    case EVENT_APPSUSPEND: return "AppSuspend";
    case EVENT_APPRESUME: return "AppResume";
    case EVENT_APPTERMINATE: return "AppTerminate";
    case EVENT_APPOPENFILE: return "AppOpenFile";
    case EVENT_APPIDLE: return "AppIdle";
    case EVENT_KEYDOWN: return "KeyDown";
    case EVENT_KEYUP: return "KeyUp";
    case EVENT_KEYCHAR: return "KeyChar";
    case EVENT_KEYREPEAT: return "KeyRepeat";
    case EVENT_MOUSEDOWN: return "MouseDown";
    case EVENT_MOUSEUP: return "MouseUp";
    case EVENT_MOUSEMOVE: return "MouseMove";
    case EVENT_MOUSEWHEEL: return "MouseWheel";
    case EVENT_MOUSEENTER: return "MouseEnter";
    case EVENT_MOUSELEAVE: return "MouseLeave";
    case EVENT_TIMERTICK: return "TimerTick";
    case EVENT_HOTKEYHIT: return "HotkeyHit";
    case EVENT_GADGETACTION: return "GadgetAction";
    case EVENT_GADGETPAINT: return "GadgetPaint";
    case EVENT_GADGETSELECT: return "GadgetSelect";
    case EVENT_GADGETMENU: return "GadgetMenu";
    case EVENT_GADGETOPEN: return "GadgetOpen";
    case EVENT_GADGETCLOSE: return "GadgetClose";
    case EVENT_GADGETDONE: return "GadgetDone";
    case EVENT_GADGETLOSTFOCUS: return "GadgetLostFocus";
    case EVENT_GADGETSHAPE: return "GadgetShape";
    case EVENT_WINDOWMOVE: return "WindowMove";
    case EVENT_WINDOWSIZE: return "WindowSize";
    case EVENT_WINDOWCLOSE: return "WindowClose";
    case EVENT_WINDOWACTIVATE: return "WindowActivate";
    case EVENT_WINDOWACCEPT: return "WindowAccept";
    case EVENT_MENUACTION: return "MenuAction";
    case EVENT_STREAMEOF: return "StreamEof";
    case EVENT_STREAMAVAIL: return "StreamAvail";
    case EVENT_PROCESSEXIT: return "ProcessExit";
    default: return "Unknown";
  }
}

MemoryGui::MemoryGui() = default;
MemoryGui::~MemoryGui() {
  for (auto* g : all_) delete g;
}

MemGadget* MemoryGui::Make(GadgetKind k, Gadget* parent, int x, int y, int w, int h, int style) {
  auto* g = new MemGadget(k, parent);
  g->x = x;
  g->y = y;
  g->w = w;
  g->h = h;
  g->style = style;
  all_.push_back(g);
  return g;
}

Gadget* MemoryGui::CreateWindow(const std::string& title, int x, int y, int w, int h, Gadget* parent, int style) {
  if (style & WINDOW_CLIENTCOORDS) {
    w += windowChromeW;
    h += windowChromeH;
  }
  auto* g = Make(GadgetKind::Window, parent, x, y, w, h, style);
  g->text = title;
  return g;
}
Gadget* MemoryGui::CreateLabel(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) {
  auto* g = Make(GadgetKind::Label, parent, x, y, w, h, style);
  g->text = text;
  return g;
}
Gadget* MemoryGui::CreateButton(const std::string& text, int x, int y, int w, int h, Gadget* parent, int style) {
  auto* g = Make(GadgetKind::Button, parent, x, y, w, h, style);
  g->text = text;
  return g;
}
Gadget* MemoryGui::CreateTextField(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::TextField, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateTextArea(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::TextArea, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateListBox(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::ListBox, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateTabber(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::Tabber, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreatePanel(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::Panel, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateCanvas(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::Canvas, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateSlider(int x, int y, int w, int h, Gadget* parent, int style) {
  return Make(GadgetKind::Slider, parent, x, y, w, h, style);
}
Gadget* MemoryGui::CreateMenu(const std::string& text, int tag, Gadget* parent, int hotkey) {
  auto* g = Make(GadgetKind::Menu, parent, 0, 0, 0, 0, 0);
  g->text = text;
  g->tag = tag;
  g->hotkey = hotkey;
  return g;
}
Gadget* MemoryGui::CreateTimer(double hz) {
  auto* g = Make(GadgetKind::Timer, nullptr, 0, 0, 0, 0, 0);
  g->hz = hz;
  return g;
}

void MemoryGui::SetLayout(Gadget* g, bool left, bool right, bool top, bool bottom) {
  auto* m = M(g);
  m->layout[0] = left;
  m->layout[1] = right;
  m->layout[2] = top;
  m->layout[3] = bottom;
}

void MemoryGui::Show(Gadget* g) { M(g)->shown = true; }
void MemoryGui::Hide(Gadget* g) { M(g)->shown = false; }
bool MemoryGui::Hidden(Gadget* g) { return !M(g)->shown; }
void MemoryGui::Enable(Gadget* g) { M(g)->enabled = true; }
void MemoryGui::Disable(Gadget* g) { M(g)->enabled = false; }
bool MemoryGui::Enabled(Gadget* g) { return M(g)->enabled; }

void MemoryGui::Activate(Gadget* g) {
  if (focus == g) return;
  Gadget* old = focus;
  focus = g;
  if (old && old->kind == GadgetKind::TextField) {
    Event ev;
    ev.id = EVENT_GADGETLOSTFOCUS;
    ev.source = old;
    Emit(ev);
  }
}

// As a toolkit's line edit does: text set by the program is cut to the limit too.
void MemoryGui::SetText(Gadget* g, const std::string& text) {
  M(g)->text = M(g)->maxLength >= 0 ? CutText(text, size_t(M(g)->maxLength)) : text;
}
std::string MemoryGui::Text(Gadget* g) { return M(g)->text; }
void MemoryGui::SetStatusText(Gadget* window, const std::string& text) { M(window)->status = text; }
void MemoryGui::AddText(Gadget* textArea, const std::string& text) { M(textArea)->text += text; }
void MemoryGui::SetButtonState(Gadget* g, bool on) { M(g)->state = on; }
bool MemoryGui::ButtonState(Gadget* g) { return M(g)->state; }

void MemoryGui::AddItem(Gadget* g, const std::string& text, const std::string& tip, ObjectRef extra) {
  M(g)->items.push_back({text, tip, std::move(extra)});
}
void MemoryGui::ClearItems(Gadget* g) {
  M(g)->items.clear();
  M(g)->selected = -1;
}
int MemoryGui::CountItems(Gadget* g) { return int(M(g)->items.size()); }
void MemoryGui::SelectItem(Gadget* g, int index) {
  auto* m = M(g);
  m->selected = (index >= 0 && index < int(m->items.size())) ? index : -1;
}
int MemoryGui::SelectedItem(Gadget* g) { return M(g)->selected; }
std::string MemoryGui::ItemText(Gadget* g, int index) {
  auto* m = M(g);
  return (index >= 0 && index < int(m->items.size())) ? m->items[size_t(index)].text : std::string();
}
ObjectRef MemoryGui::ItemExtra(Gadget* g, int index) {
  auto* m = M(g);
  return (index >= 0 && index < int(m->items.size())) ? m->items[size_t(index)].extra : nullptr;
}

void MemoryGui::SetSliderRange(Gadget* g, int visible, int total) {
  auto* m = M(g);
  m->visible = visible;
  m->total = total;
  m->pos = std::clamp(m->pos, 0, std::max(0, total - visible));
}
int MemoryGui::SliderPos(Gadget* g) { return M(g)->pos; }
void MemoryGui::SetSliderPos(Gadget* g, int pos) {
  auto* m = M(g);
  m->pos = std::clamp(pos, 0, std::max(0, m->total - m->visible));
}

void MemoryGui::SetShape(Gadget* g, int x, int y, int w, int h) {
  auto* m = M(g);
  m->x = x;
  m->y = y;
  if (g->kind == GadgetKind::Window && (m->w != w || m->h != h)) {
    ResizeWindow(g, w, h);
  } else {
    m->w = w;
    m->h = h;
  }
}
int MemoryGui::X(Gadget* g) { return M(g)->x; }
int MemoryGui::Y(Gadget* g) { return M(g)->y; }
int MemoryGui::Width(Gadget* g) { return M(g)->w; }
int MemoryGui::Height(Gadget* g) { return M(g)->h; }
int MemoryGui::ClientWidth(Gadget* g) {
  return g->kind == GadgetKind::Window ? M(g)->w - windowChromeW : M(g)->w;
}
int MemoryGui::ClientHeight(Gadget* g) {
  return g->kind == GadgetKind::Window ? M(g)->h - windowChromeH : M(g)->h;
}
int MemoryGui::TextWidth(Gadget* g) {
  MemGadget* m = M(g);
  if (g->kind == GadgetKind::Tabber) {
    int w = 0;
    for (const MemGadget::Item& i : m->items) w += int(i.text.size()) * charW + padW;
    return w;
  }
  int w = 0;
  for (size_t at = 0; at <= m->text.size();) {  // the longest line
    const size_t end = std::min(m->text.find('\n', at), m->text.size());
    w = std::max(w, int(end - at) * charW);
    at = end + 1;
  }
  return g->kind == GadgetKind::Button ? w + padW : w;
}

void MemoryGui::SetMinWindowSize(Gadget* window, int w, int h) {
  M(window)->minW = w;
  M(window)->minH = h;
}
void MemoryGui::SetPanelColor(Gadget* panel, Colour c) { M(panel)->colour = c; }
void MemoryGui::SetFilter(Gadget* textField, KeyFilter filter) { M(textField)->filter = std::move(filter); }
void MemoryGui::SetMaxLength(Gadget* textField, int chars) {
  M(textField)->maxLength = chars;
  SetText(textField, M(textField)->text);
}

void MemoryGui::Redraw(Gadget* canvas) {
  M(canvas)->redraws++;
  Event ev;
  ev.id = EVENT_GADGETPAINT;
  ev.source = canvas;
  Emit(ev);
}
void MemoryGui::UpdateWindowMenu(Gadget*) { log.push_back("menubar"); }
void MemoryGui::PopupMenu(Gadget*, Gadget* menu) {
  popped = menu;
  log.push_back("popup");
}
Colour MemoryGui::RequestColor(Colour c) { return colorPickerCancels ? c : nextColor; }
void MemoryGui::SetHook(EventHook hook) { hook_ = std::move(hook); }
void MemoryGui::WaitSystem() {}
void MemoryGui::Exit(int status) { exitStatus = status; }

void MemoryGui::Type(Gadget* field, const std::string& chars) {
  auto* m = M(field);
  for (unsigned char c : chars) {
    Event key;
    key.id = EVENT_KEYCHAR;
    key.source = field;
    key.data = c;
    if (m->filter && !m->filter(key)) continue;
    if (c == 8) {
      if (!m->text.empty()) m->text.pop_back();
    } else if (m->maxLength >= 0 && CutText(m->text + char(c), size_t(m->maxLength)).size() <= m->text.size()) {
      continue;  // full: the key does nothing
    } else {
      m->text.push_back(char(c));
    }
    Event ev;
    ev.id = EVENT_GADGETACTION;
    ev.source = field;
    Emit(ev);
  }
}

void MemoryGui::ResizeWindow(Gadget* window, int w, int h) {
  auto* win = M(window);
  w = std::max(w, win->minW);
  h = std::max(h, win->minH);
  const int oldCW = ClientWidth(window), oldCH = ClientHeight(window);
  win->w = w;
  win->h = h;
  // Children follow their layout rules, recursively through containers.
  struct Frame {
    Gadget* parent;
    int oldW, oldH, newW, newH;
  };
  std::vector<Frame> todo{{window, oldCW, oldCH, ClientWidth(window), ClientHeight(window)}};
  while (!todo.empty()) {
    Frame f = todo.back();
    todo.pop_back();
    for (auto* c : all_) {
      if (c->parent != f.parent || c->kind == GadgetKind::Window || c->kind == GadgetKind::Menu) continue;
      const int ow = c->w, oh = c->h;
      auto axis = [](int& pos, int& size, bool lo, bool hi, int oldP, int newP) {
        if (lo && hi) {
          size += newP - oldP;
        } else if (hi) {
          pos += newP - oldP;
        } else if (!lo) {
          // No edge held: keep size, keep the centre at the same fraction.
          if (oldP > 0) pos = int((pos + size / 2.0) * newP / oldP - size / 2.0);
        }
      };
      const bool any = c->layout[0] || c->layout[1] || c->layout[2] || c->layout[3];
      if (any) {
        axis(c->x, c->w, c->layout[0], c->layout[1], f.oldW, f.newW);
        axis(c->y, c->h, c->layout[2], c->layout[3], f.oldH, f.newH);
      } else {
        axis(c->x, c->w, false, false, f.oldW, f.newW);
        axis(c->y, c->h, false, false, f.oldH, f.newH);
      }
      if (c->kind == GadgetKind::Tabber || c->kind == GadgetKind::Panel) todo.push_back({c, ow, oh, c->w, c->h});
    }
  }
  Event ev;
  ev.id = EVENT_WINDOWSIZE;
  ev.source = window;
  Emit(ev);
}

}  // namespace bg
