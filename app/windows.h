#pragma once
#include <vector>

#include "platform/gui.h"

// The five windows with every control and menu, and the two small pieces of
// our own on top of the gadget layer: tab pages and number fields.
namespace bg {

// One page of a tab control: a set of gadgets shown and hidden together.
class TTab {
 public:
  std::vector<Gadget*> gadgets;
  Gadget* parent = nullptr;
  int32_t num = 0;
  static std::vector<TTab*> Tabs;

  static TTab* Create(Gadget* parent, int32_t num);
  void AddGadget(Gadget* g) { gadgets.push_back(g); }
  void Show();
  void Hide();
  static void DoTab(Gadget* parent, int32_t num);
};

Gadget* CreateNumberField(int x, int y, int w, int h, Gadget* parent, bool integer);
double NumberFieldNumber(Gadget* field);
int32_t IntFilter(const Event& ev);
// The field's number truncated toward zero; values beyond 32 bits saturate
// instead of overflowing the conversion.
int32_t NumberFieldInt(Gadget* field);

// Sizes the win window for its texts and places it by the main window: the
// described shape while the texts fit it, else labels as wide as the client
// area and a window as wide as the texts need, up to the screen.
void PlaceWinWindow();

// Builds every window hidden, in start-up order. False when the main window cannot be made.
bool BuildWindows();

// Scale factors from the board canvas's current size, with the 0.6 floor and
// the scroll bars' ranges; a no-op until the windows exist.
void ApplyCanvasScale();
// Reshapes the main window to the design area's proportions; width -1 keeps the window's width.
void WindowSetToRatio(float width);

}  // namespace bg
