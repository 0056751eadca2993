#pragma once
#include <cstdint>

// Design units to canvas pixels. The design area depends only on the field size.
namespace bg {

extern float DEFWIDTH, DEFHEIGHT;
extern float SCALEX, SCALEY;
extern float BACKSCALEX, BACKSCALEY;
extern float OriginX, OriginY;
extern float winr;
extern int32_t TopbarSize;
extern int32_t ScrollSize;

// Scale factors from the board canvas's current size, with the 0.6 floor and
// the scroll bars' ranges; a no-op until the windows exist.
void ApplyCanvasScale();
// Reshapes the main window to the design area's proportions; width -1 keeps the window's width.
void WindowSetToRatio(float width);

}  // namespace bg
