#include "platform/gui_memory.h"

#include <poll.h>

#include <algorithm>
#include <utility>

#include "platform/latin1.h"

namespace bg {

namespace {
Gui* gGui = nullptr;
}

Gui& TheGui() { return *gGui; }
void SetGui(Gui* gui) { gGui = gui; }

MemoryGui::MemoryGui() = default;
MemoryGui::~MemoryGui() {
  for (auto* g : all_) delete g;
}

MemGadget* MemoryGui::Make(GadgetKind k, Gadget* parent, int x, int y, int w, int h) {
  auto* g = new MemGadget(k, parent);
  g->x = x;
  g->y = y;
  g->w = w;
  g->h = h;
  all_.push_back(g);
  return g;
}

Gadget* MemoryGui::CreateWindow(const std::string& title, int x, int y, int w, int h, Gadget* parent, int style) {
  if (style & WINDOW_CLIENTCOORDS) {
    w += windowChromeW;
    h += windowChromeH;
  }
  auto* g = Make(GadgetKind::Window, parent, x, y, w, h);
  g->text = title;
  return g;
}
Gadget* MemoryGui::CreateLabel(const std::string& text, int x, int y, int w, int h, Gadget* parent, int) {
  auto* g = Make(GadgetKind::Label, parent, x, y, w, h);
  g->text = text;
  return g;
}
Gadget* MemoryGui::CreateButton(const std::string& text, int x, int y, int w, int h, Gadget* parent, int) {
  auto* g = Make(GadgetKind::Button, parent, x, y, w, h);
  g->text = text;
  return g;
}
Gadget* MemoryGui::CreateTextField(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::TextField, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateTextArea(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::TextArea, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateListBox(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::ListBox, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateTabber(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Tabber, parent, x, y, w, h);
}
Gadget* MemoryGui::CreatePanel(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Panel, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateCanvas(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Canvas, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateSlider(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Slider, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateMenu(const std::string& text, int, Gadget* parent, int) {
  auto* g = Make(GadgetKind::Menu, parent, 0, 0, 0, 0);
  g->text = text;
  return g;
}
Gadget* MemoryGui::CreateTable(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Table, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateChart(int x, int y, int w, int h, Gadget* parent, int) {
  return Make(GadgetKind::Chart, parent, x, y, w, h);
}
Gadget* MemoryGui::CreateTimer(double) { return Make(GadgetKind::Timer, nullptr, 0, 0, 0, 0); }

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
  if (focus_ == g) return;
  Gadget* old = focus_;
  focus_ = g;
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
void MemoryGui::SetSliderPos(Gadget* g, int pos) { M(g)->pos = std::clamp(pos, 0, std::max(0, M(g)->total - M(g)->visible)); }
void MemoryGui::SetColumns(Gadget* table, const std::vector<std::string>& titles) { M(table)->columns = titles; }
void MemoryGui::SetSortIndicator(Gadget* table, int column, bool ascending) {
  M(table)->sortColumn = column;
  M(table)->sortAscending = ascending;
}
void MemoryGui::SetChart(Gadget* chart, const ChartData& data) { M(chart)->chart = data; }

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
void MemoryGui::SetPanelColor(Gadget*, Colour) {}
void MemoryGui::SetFilter(Gadget*, KeyFilter) {}
void MemoryGui::SetMaxLength(Gadget* textField, int chars) {
  M(textField)->maxLength = chars;
  SetText(textField, M(textField)->text);
}

void MemoryGui::Redraw(Gadget* canvas) {
  Event ev;
  ev.id = EVENT_GADGETPAINT;
  ev.source = canvas;
  Emit(ev);
}
void MemoryGui::UpdateWindowMenu(Gadget*) {}
void MemoryGui::PopupMenu(Gadget*, Gadget*) {}
Colour MemoryGui::RequestColor(Colour) { return nextColor; }
std::string MemoryGui::RequestFile(const std::string&, const std::string&, const std::string&, bool save) {
  fileSaved = save;
  return nextFile;
}
void MemoryGui::Notify(Gadget*, const std::string&, const std::string& text) { notices.push_back(text); }
void MemoryGui::SetHook(EventHook hook) { hook_ = std::move(hook); }
void MemoryGui::Rest(Gadget* timer, int ms, const std::vector<int>& fds) {
  resting = timer;
  restMs = ms;
  restFds = fds;
}

void MemoryGui::Wake(Gadget* timer) {
  if (timer == resting) resting = nullptr;
}

void MemoryGui::WaitSystem() {
  if (!resting) return;
  std::vector<pollfd> fds;
  for (int fd : restFds) fds.push_back(pollfd{fd, POLLIN, 0});
  wokeBySocket = ::poll(fds.data(), nfds_t(fds.size()), restMs) > 0;
  Event ev;
  ev.id = EVENT_TIMERTICK;
  ev.source = std::exchange(resting, nullptr);
  Emit(ev);
}
void MemoryGui::Exit(int) {}

void MemoryGui::ResizeWindow(Gadget* window, int w, int h) {
  auto* win = M(window);
  w = std::max(w, win->minW);
  h = std::max(h, win->minH);
  const int oldCW = ClientWidth(window), oldCH = ClientHeight(window);
  win->w = w;
  win->h = h;
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
