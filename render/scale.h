#pragma once
#include <cstdint>

#include "render/view.h"

namespace bg {

// Scale factors for a board canvas of cw x ch pixels: the board keeps its
// proportions and stops shrinking at 0.6; the background fills the canvas.
void ScaleToCanvas(Scale& s, int cw, int ch);
// The design area of a field of w x h blocks, with the ratio the window keeps.
void SetDesignArea(Scale& s, int32_t w, int32_t h);

}  // namespace bg
