#include "render/scale.h"

#include <algorithm>

#include "app/gadgets.h"
#include "platform/gui.h"

namespace bg {

float DEFWIDTH = 270.0f, DEFHEIGHT = 320.0f;
float SCALEX = 1.0f, SCALEY = 1.0f;
float BACKSCALEX = 1.0f, BACKSCALEY = 1.0f;
float OriginX = 0.0f, OriginY = 0.0f;
float winr = 0.0f;
int32_t TopbarSize = 40;
int32_t ScrollSize = 16;

void ApplyCanvasScale() {
  if (!gCan) return;
  Gui& gui = TheGui();
  const int cw = gui.Width(gCan), ch = gui.Height(gCan);
  SCALEX = std::max(float(cw) / DEFWIDTH, 0.6f);
  SCALEY = std::max(float(ch) / DEFHEIGHT, 0.6f);
  BACKSCALEX = SCALEX;
  BACKSCALEY = SCALEY;
  SCALEX = std::min(SCALEX, SCALEY);
  SCALEY = std::min(SCALEY, SCALEX);
  if (gHScroll) gui.SetSliderRange(gHScroll, cw, int(DEFWIDTH * SCALEX));
  if (gVScroll) gui.SetSliderRange(gVScroll, ch, int(DEFHEIGHT * SCALEY));
  OriginX = gHScroll ? -float(gui.SliderPos(gHScroll)) : 0.0f;
  OriginY = gVScroll ? -float(gui.SliderPos(gVScroll)) : 0.0f;
}

void WindowSetToRatio(float width) {
  if (!gMainWindow || !gCan) return;
  Gui& gui = TheGui();
  const int dw = gui.DesktopWidth(), dh = gui.DesktopHeight();
  const int ww = gui.Width(gMainWindow), wh = gui.Height(gMainWindow);
  const int cw = gui.Width(gCan), ch = gui.Height(gCan);
  const int maxw = dw - (ww - cw);
  width = std::min(width, float(maxw));
  const int maxh = dh - dh / 16 - (wh - ch) + TopbarSize;
  const int neww = int(width + float(ww - cw));
  const int x = gui.X(gMainWindow), y = gui.Y(gMainWindow);
  // Guard the ratio: a zero winr would divide by zero before the first game.
  const float r = winr > 0.0f ? winr : 1.0f;
  if (width > -1.0f) {
    gui.SetShape(gMainWindow, x, y, std::min(neww, maxw), int(std::min(float(neww) / r + float(TopbarSize), float(maxh))));
  } else {
    gui.SetShape(gMainWindow, x, y, std::min(ww, maxw), int(std::min(float(ww) / r + float(TopbarSize), float(maxh))));
  }
  ApplyCanvasScale();
}

}  // namespace bg
