#include "render/board.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "minefield/game.h"
#include "platform/gfx.h"
#include "platform/random.h"
#include "render/resources.h"
#include "render/scale.h"
#include "render/simage.h"

namespace bg {

float framex = 26.0f, framey = 26.0f;
float gMouseX = 0.0f, gMouseY = 0.0f;
TBlock* MouseBlock = nullptr;
bool BlockMDown = false;
FlashState Flash;

double PointDistance(double x1, double y1, double x2, double y2) {
  return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

void StartBoard(bool effects) {
  for (const SImageRef& img : {IBlock, IMine, IBlockRev, IFlag})
    if (img) img->SetScalesRelative(float(TBlock::Size));

  // The generator is drawn in this order whatever the options: every copy of
  // the game then draws the same numbers afterwards.
  Flash.effect = Rand(0, 6);
  if (!effects) Flash.effect = -1;
  if (int64_t(BlockAW) * int64_t(BlockAH) > 3000) Flash.effect = -1;
  const int32_t effect = Flash.effect;

  const int32_t n = int32_t(Blocks.size()), half = n / 2, third = n / 3;
  Flash.blocks.assign(Blocks.size(), BlockFlash{});
  for (const TBlock& b : Blocks) {
    BlockFlash& f = Flash.blocks[size_t(b.id)];
    const int32_t x = b.x, y = b.y;
    f.FadeAlpha = effect >= 0 ? 1.0f : 0.0f;
    switch (effect) {
      case 3:
        f.FadeAlpha = float(Rnd(0.5, 5.0));
        for (auto& c : f.fadecol) c = uint8_t(Rand(0, 255));
        break;
      case 5:
        f.FadeAlpha = 0.5f + (x % 2 == 0 ? 0.3f : 0) + (y % 2 == 0 ? 0.3f : 0) + (x % 3 == 0 ? 0.3f : 0) +
                      (y % 3 == 0 ? 0.3f : 0);
        break;
      case 6:
        // A field of under 3 blocks has no ramp to show (and no divisor).
        if (third == 0)
          f.FadeAlpha = 0.0f;
        else if (b.id < half)
          f.FadeAlpha = float(double(b.id) / double(third));
        else
          f.FadeAlpha = float(double(n - b.id) / double(third));
        break;
      default:
        break;
    }
  }
}

void UpdateMouseBlock() {
  MouseBlock = nullptr;
  const double bx = std::floor(double((gMouseX - framex * SCALEX) / (float(TBlock::Size) * SCALEX)));
  const double by = std::floor(double((gMouseY - framey * SCALEY) / (float(TBlock::Size) * SCALEY)));
  if (bx >= 0 && bx < BlockAW && by >= 0 && by < BlockAH) MouseBlock = BlockA(int32_t(bx), int32_t(by));
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

void FadeStep(const TBlock& b, BlockFlash& f) {
  const double dc = PointDistance(DEFWIDTH / 2 - framex, DEFHEIGHT / 2 - framey, b.dx, b.dy);
  const double d0 = PointDistance(0, 0, b.dx, b.dy);
  switch (Flash.effect) {
    case 0: Lower(f.FadeAlpha, 4 / dc); break;
    case 1: Lower(f.FadeAlpha, 4 / d0); break;
    case 2:
      Lower(f.FadeAlpha, (1 + SinDeg(b.dx)) / 200);
      Lower(f.FadeAlpha, (1 + CosDeg(b.dy)) / 200);
      Lower(f.FadeAlpha, 1 / dc);
      break;
    case 3: Lower(f.FadeAlpha, 4 * double(Delta::Time)); break;
    case 4:
      Lower(f.FadeAlpha, dc / DEFWIDTH / 10);
      Lower(f.FadeAlpha, (1 / dc) / 3);
      break;
    case 5:
    case 6: Lower(f.FadeAlpha, double(Delta::Time)); break;
    default: break;
  }
}

// Blocks without flash state (a field the board was not started for) show no flash.
BlockFlash gNoFlash;

void DrawBlock(const TBlock& b, int cw, int ch) {
  const float bx = framex + b.dx, by = framey + b.dy;
  BlockFlash& f = size_t(b.id) < Flash.blocks.size() ? Flash.blocks[size_t(b.id)] : gNoFlash;
  if (f.FadeAlpha > 0) FadeStep(b, f);
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
      if (BlockMDown && b.flag == 0)
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
  if (b.Revealed == 1 || (BlockMDown && under && b.flag == 0)) {
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
  if (f.FadeAlpha > 0) {
    g.SetBlend(LIGHTBLEND);
    g.SetAlpha(f.FadeAlpha);
    g.SetColor(f.fadecol[0], f.fadecol[1], f.fadecol[2]);
    DrawSRect(bx, by, 24, 24, 1);
    g.SetBlend(ALPHABLEND);
  }
}

}  // namespace

void DrawBlocks(int cw, int ch) {
  Gfx& g = G();
  g.SetOrigin(OriginX, OriginY);
  for (const TBlock& b : Blocks) DrawBlock(b, cw, ch);
  g.SetAlpha(1.0f);
  SetDrawMode(GL_MODE_LINE);
  g.SetColor(0, 0, 0);
  DrawSRect(framex, framey, float(24 * BlockAW), float(24 * BlockAH), 3);
  SetDrawMode(GL_MODE_FILL);
}

}  // namespace bg
