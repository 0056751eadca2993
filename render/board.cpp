#include "render/board.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "minefield/block.h"
#include "minefield/game.h"
#include "platform/gfx.h"
#include "platform/gui.h"
#include "render/scale.h"
#include "render/simage.h"

namespace bg {

float framex = 26.0f, framey = 26.0f;

double PointDistance(double x1, double y1, double x2, double y2) {
  return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

namespace {

constexpr RGB kNumberColours[9] = {{0, 0, 0},     {90, 90, 200}, {0, 100, 0},    {255, 0, 0},  {0, 0, 255},
                                   {180, 0, 0},   {80, 110, 255}, {200, 125, 0}, {40, 0, 0}};
// Block numbers drawn as text; made once so a frame allocates nothing.
const std::string kDigits[9] = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};

double SinDeg(double d) { return std::sin(d * std::numbers::pi / 180.0); }
double CosDeg(double d) { return std::cos(d * std::numbers::pi / 180.0); }

// Each step is taken in double precision and stored back before the next.
void Lower(float& a, double by) { a = float(double(a) - by); }

void FadeStep(TBlock& b) {
  const double dc = PointDistance(DEFWIDTH / 2 - framex, DEFHEIGHT / 2 - framey, b.dx, b.dy);
  const double d0 = PointDistance(0, 0, b.dx, b.dy);
  switch (TBlock::effect) {
    case 0: Lower(b.FadeAlpha, 4 / dc); break;
    case 1: Lower(b.FadeAlpha, 4 / d0); break;
    case 2:
      Lower(b.FadeAlpha, (1 + SinDeg(b.dx)) / 200);
      Lower(b.FadeAlpha, (1 + CosDeg(b.dy)) / 200);
      Lower(b.FadeAlpha, 1 / dc);
      break;
    case 3: Lower(b.FadeAlpha, 4 * double(Delta::Time)); break;
    case 4:
      Lower(b.FadeAlpha, dc / DEFWIDTH / 10);
      Lower(b.FadeAlpha, (1 / dc) / 3);
      break;
    case 5:
    case 6: Lower(b.FadeAlpha, double(Delta::Time)); break;
    default: break;
  }
}

void DrawBlock(TBlock& b, int cw, int ch) {
  const float bx = framex + b.dx, by = framey + b.dy;
  if (b.FadeAlpha > 0) FadeStep(b);
  if (!(bx * SCALEX <= float(cw) - OriginX && by * SCALEY <= float(ch) - OriginY &&
        (bx + 24) * SCALEX >= -OriginX && (by + 24) * SCALEY >= -OriginY))
    return;
  Gfx& g = G();
  g.SetAlpha(1.0f);
  g.SetBlend(ALPHABLEND);
  g.SetRotation(0);
  g.SetScale(1, 1);
  const bool under = &b == MouseBlock;
  if (b.Revealed == 0) {
    if (under) {
      if (BlockMDown != 0 && b.flag == 0)
        g.SetColor(200, 250, 255);
      else
        g.SetColor(190, 210, 240);
      g.SetAlpha(1.0f);
    } else {
      g.SetColor(255, 255, 255);
      g.SetAlpha(0.9f);
    }
    DrawSImage(IBlock.get(), bx, by);
  }
  if (b.Revealed == 1 || (BlockMDown == 1 && under && b.flag == 0)) {
    const RGB base = b.pcol ? *b.pcol : RGB{255, 255, 255};
    g.SetColor(std::min(255, (base[0] + 300) / 2), std::min(255, (base[1] + 300) / 2),
               std::min(255, (base[2] + 300) / 2));
    g.SetAlpha(0.8f);
    DrawSImage(IBlockRev.get(), bx, by);
    g.SetAlpha(1.0f);
    if (b.Revealed == 1) {
      g.SetBlend(ALPHABLEND);
      g.SetImageFont(FArialBold40.get());
      g.SetScale(0.5f, 0.5f);
      if (b.Value > 0 && b.Value <= 8) {
        const RGB& c = kNumberColours[b.Value];
        g.SetColor(c[0], c[1], c[2]);
        DrawSText(kDigits[b.Value], bx + 6, by);
      }
      g.SetScale(1, 1);
      const RGB mc = b.pcol ? *b.pcol : RGB{255, 255, 255};
      g.SetColor(mc[0], mc[1], mc[2]);
      if (b.Value == -1) DrawSImage(IMine.get(), bx, by);
    }
  }
  if (b.flag == 1) {
    g.SetScale(1, 1);
    const RGB fc = b.fcol ? *b.fcol : RGB{255, 0, 0};
    g.SetColor(fc[0], fc[1], fc[2]);
    g.SetAlpha(0.7f);
    DrawSImage(IFlag.get(), bx, by);
  }
  if (b.FadeAlpha > 0) {
    g.SetBlend(LIGHTBLEND);
    g.SetAlpha(b.FadeAlpha);
    g.SetColor(b.fadecol[0], b.fadecol[1], b.fadecol[2]);
    DrawSRect(bx, by, 24, 24, 1);
    g.SetBlend(ALPHABLEND);
  }
}

}  // namespace

void DrawBlocks() {
  Gfx& g = G();
  g.SetOrigin(OriginX, OriginY);
  const int cw = gCan ? TheGui().Width(gCan) : 0;
  const int ch = gCan ? TheGui().Height(gCan) : 0;
  for (TBlock& b : Blocks) DrawBlock(b, cw, ch);
  g.SetAlpha(1.0f);
  SetDrawMode(GL_MODE_LINE);
  g.SetColor(0, 0, 0);
  DrawSRect(framex, framey, float(24 * BlockAW), float(24 * BlockAH), 3);
  SetDrawMode(GL_MODE_FILL);
}

}  // namespace bg
