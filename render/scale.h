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

// Scale factors for a board canvas of cw x ch pixels: the board keeps its
// proportions and stops shrinking at 0.6; the background fills the canvas.
void ScaleToCanvas(int cw, int ch);
// The design area of a field of w x h blocks, with the ratio the window keeps.
void SetDesignArea(int32_t w, int32_t h);

}  // namespace bg
