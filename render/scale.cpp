#include "render/scale.h"

#include <algorithm>

namespace bg {

void ScaleToCanvas(Scale& s, int cw, int ch) {
  s.SCALEX = std::max(float(cw) / s.DEFWIDTH, 0.6f);
  s.SCALEY = std::max(float(ch) / s.DEFHEIGHT, 0.6f);
  s.BACKSCALEX = s.SCALEX;
  s.BACKSCALEY = s.SCALEY;
  s.SCALEX = std::min(s.SCALEX, s.SCALEY);
  s.SCALEY = std::min(s.SCALEY, s.SCALEX);
}

void SetDesignArea(Scale& s, int32_t w, int32_t h) {
  s.DEFWIDTH = float(TBlock::Size * w + 52);
  s.DEFHEIGHT = float(TBlock::Size * h + 52);
  s.winr = s.DEFWIDTH / s.DEFHEIGHT;
}

}  // namespace bg
