#include "render/scale.h"

#include <algorithm>

#include "minefield/block.h"

namespace bg {

float DEFWIDTH = 270.0f, DEFHEIGHT = 320.0f;
float SCALEX = 1.0f, SCALEY = 1.0f;
float BACKSCALEX = 1.0f, BACKSCALEY = 1.0f;
float OriginX = 0.0f, OriginY = 0.0f;
float winr = 0.0f;
int32_t TopbarSize = 40;
int32_t ScrollSize = 16;

void ScaleToCanvas(int cw, int ch) {
  SCALEX = std::max(float(cw) / DEFWIDTH, 0.6f);
  SCALEY = std::max(float(ch) / DEFHEIGHT, 0.6f);
  BACKSCALEX = SCALEX;
  BACKSCALEY = SCALEY;
  SCALEX = std::min(SCALEX, SCALEY);
  SCALEY = std::min(SCALEY, SCALEX);
}

void SetDesignArea(int32_t w, int32_t h) {
  DEFWIDTH = float(TBlock::Size * w + 52);
  DEFHEIGHT = float(TBlock::Size * h + 52);
  winr = DEFWIDTH / DEFHEIGHT;
}

}  // namespace bg
