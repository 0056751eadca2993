#include "render/board.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "platform/gfx.h"
#include "render/simage.h"

namespace bg {

double PointDistance(double x1, double y1, double x2, double y2) {
  return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

namespace {
int32_t Wrap(int32_t v, int32_t n) { return n > 0 ? ((v % n) + n) % n : 0; }
}  // namespace

float DrawX(const Game& g, const View& v, int32_t id) {
  return float(Wrap(g.X(id) + v.panX, g.BlockAW) * TBlock::Size);
}
float DrawY(const Game& g, const View& v, int32_t id) {
  return float(Wrap(g.Y(id) + v.panY, g.BlockAH) * TBlock::Size);
}

void Pan(const Game& g, View& v, int32_t dx, int32_t dy) {
  v.panX = Wrap(v.panX + dx, g.BlockAW);
  v.panY = Wrap(v.panY + dy, g.BlockAH);
}

void StartBoard(const Game& g, View& v, const Resources& res, bool effects) {
  for (const SImageRef& img : {res.IBlock, res.IMine, res.IBlockRev, res.IFlag})
    if (img) img->SetScalesRelative(float(TBlock::Size));
  v.panX = v.panY = 0;
  v.MouseBlock = -1;

  v.Flash.effect = v.rng.Rand(0, 6);
  if (!effects) v.Flash.effect = -1;
  if (int64_t(g.BlockAW) * int64_t(g.BlockAH) > 3000) v.Flash.effect = -1;
  const int32_t effect = v.Flash.effect;

  // Without an effect no block needs flash state: a big field keeps no memory for it.
  v.Flash.blocks.clear();
  if (effect < 0) return;
  const int32_t n = int32_t(g.Blocks.size()), half = n / 2, third = n / 3;
  v.Flash.blocks.assign(g.Blocks.size(), BlockFlash{});
  for (int32_t id = 0; id < n; ++id) {
    BlockFlash& f = v.Flash.blocks[size_t(id)];
    const int32_t x = g.X(id), y = g.Y(id);
    f.FadeAlpha = 1.0f;
    switch (effect) {
      case 3:
        f.FadeAlpha = float(v.rng.Rnd(0.5, 5.0));
        for (auto& c : f.fadecol) c = uint8_t(v.rng.Rand(0, 255));
        break;
      case 5:
        f.FadeAlpha = 0.5f + (x % 2 == 0 ? 0.3f : 0) + (y % 2 == 0 ? 0.3f : 0) + (x % 3 == 0 ? 0.3f : 0) +
                      (y % 3 == 0 ? 0.3f : 0);
        break;
      case 6:
        // A field of under 3 blocks has no ramp to show (and no divisor).
        if (third == 0)
          f.FadeAlpha = 0.0f;
        else if (id < half)
          f.FadeAlpha = float(double(id) / double(third));
        else
          f.FadeAlpha = float(double(n - id) / double(third));
        break;
      default:
        break;
    }
  }
}

void UpdateMouseBlock(const Game& g, View& v) {
  v.MouseBlock = -1;
  const Scale& s = v.scale;
  const double bx = std::floor(double((v.gMouseX - v.framex * s.SCALEX) / (float(TBlock::Size) * s.SCALEX)));
  const double by = std::floor(double((v.gMouseY - v.framey * s.SCALEY) / (float(TBlock::Size) * s.SCALEY)));
  if (bx >= 0 && bx < g.BlockAW && by >= 0 && by < g.BlockAH)
    v.MouseBlock = Wrap(int32_t(bx) - v.panX, g.BlockAW) * g.BlockAH + Wrap(int32_t(by) - v.panY, g.BlockAH);
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

void FadeStep(const View& v, float dx, float dy, BlockFlash& f) {
  const Scale& s = v.scale;
  const double dc = PointDistance(s.DEFWIDTH / 2 - v.framex, s.DEFHEIGHT / 2 - v.framey, dx, dy);
  const double d0 = PointDistance(0, 0, dx, dy);
  switch (v.Flash.effect) {
    case 0: Lower(f.FadeAlpha, 4 / dc); break;
    case 1: Lower(f.FadeAlpha, 4 / d0); break;
    case 2:
      Lower(f.FadeAlpha, (1 + SinDeg(dx)) / 200);
      Lower(f.FadeAlpha, (1 + CosDeg(dy)) / 200);
      Lower(f.FadeAlpha, 1 / dc);
      break;
    case 3: Lower(f.FadeAlpha, 4 * double(v.frameTime)); break;
    case 4:
      Lower(f.FadeAlpha, dc / s.DEFWIDTH / 10);
      Lower(f.FadeAlpha, (1 / dc) / 3);
      break;
    case 5:
    case 6: Lower(f.FadeAlpha, double(v.frameTime)); break;
    default: break;
  }
}

RGB Light(const RGB* c, RGB none) { return c ? *c : none; }

// (dx, dy): where the block is drawn after panning, in design units from the board's corner.
void DrawBlock(const Game& g, View& v, const Resources& res, int32_t id, float dx, float dy, int cw, int ch) {
  const TBlock& b = g.Blocks[size_t(id)];
  const Scale& s = v.scale;
  const float bx = v.framex + dx, by = v.framey + dy;
  // Blocks without flash state (a field the board was not started for) show no flash.
  BlockFlash none;
  BlockFlash& f = size_t(id) < v.Flash.blocks.size() ? v.Flash.blocks[size_t(id)] : none;
  if (f.FadeAlpha > 0) FadeStep(v, dx, dy, f);
  if (!(bx * s.SCALEX <= float(cw) - s.OriginX && by * s.SCALEY <= float(ch) - s.OriginY &&
        (bx + 24) * s.SCALEX >= -s.OriginX && (by + 24) * s.SCALEY >= -s.OriginY))
    return;
  Gfx& gx = G();
  gx.SetAlpha(1.0f);
  gx.SetBlend(ALPHABLEND);
  gx.SetRotation(0);
  gx.SetScale(1, 1);
  const bool under = id == v.MouseBlock;
  if (b.Revealed == 0) {
    if (under) {
      if (v.BlockMDown && b.flag == 0)
        gx.SetColor(200, 250, 255);
      else
        gx.SetColor(190, 210, 240);
      gx.SetAlpha(1.0f);
    } else {
      gx.SetColor(255, 255, 255);
      gx.SetAlpha(0.9f);
    }
    DrawSImage(s, res.IBlock.get(), bx, by);
  }
  if (b.Revealed == 1 || (v.BlockMDown && under && b.flag == 0)) {
    const RGB* pcol = b.Revealed == 1 ? ColourOf(g, b.pid) : nullptr;
    const RGB base = Light(pcol, {255, 255, 255});
    gx.SetColor(std::min(255, (base[0] + 300) / 2), std::min(255, (base[1] + 300) / 2),
                std::min(255, (base[2] + 300) / 2));
    gx.SetAlpha(0.8f);
    DrawSImage(s, res.IBlockRev.get(), bx, by);
    gx.SetAlpha(1.0f);
    if (b.Revealed == 1) {
      gx.SetBlend(ALPHABLEND);
      gx.SetImageFont(res.FArialBold40.get());
      gx.SetScale(0.5f, 0.5f);
      if (b.Value > 0 && b.Value <= 8) {
        const RGB& c = kNumberColours[b.Value];
        gx.SetColor(c[0], c[1], c[2]);
        DrawSText(s, kDigits[b.Value], bx + 6, by);
      }
      gx.SetScale(1, 1);
      gx.SetColor(base[0], base[1], base[2]);
      if (b.Value == -1) DrawSImage(s, res.IMine.get(), bx, by);
    }
  }
  if (b.flag == 1) {
    gx.SetScale(1, 1);
    const RGB fc = Light(ColourOf(g, b.fpid), {255, 0, 0});
    gx.SetColor(fc[0], fc[1], fc[2]);
    gx.SetAlpha(0.7f);
    DrawSImage(s, res.IFlag.get(), bx, by);
  }
  if (f.FadeAlpha > 0) {
    gx.SetBlend(LIGHTBLEND);
    gx.SetAlpha(f.FadeAlpha);
    gx.SetColor(f.fadecol[0], f.fadecol[1], f.fadecol[2]);
    DrawSRect(s, bx, by, 24, 24, 1);
    gx.SetBlend(ALPHABLEND);
  }
}

}  // namespace

void DrawBlocks(const Game& g, View& v, const Resources& res, int cw, int ch) {
  Gfx& gx = G();
  const Scale& s = v.scale;
  gx.SetOrigin(s.OriginX, s.OriginY);
  if (!v.Flash.blocks.empty()) {
    // The opening flash steps every block, seen or not (small fields only).
    // Column by column, so each block's panned place costs an addition, not a division.
    for (int32_t x = 0; x < g.BlockAW; ++x) {
      const float dx = float(Wrap(x + v.panX, g.BlockAW) * TBlock::Size);
      for (int32_t id = x * g.BlockAH, end = id + g.BlockAH, row = Wrap(v.panY, g.BlockAH); id < end; ++id) {
        DrawBlock(g, v, res, id, dx, float(row * TBlock::Size), cw, ch);
        if (++row == g.BlockAH) row = 0;
      }
    }
  } else {
    // Only the places on the canvas, a block's margin either side (DrawBlock
    // has the last word), in the same order as above: the cost follows the
    // canvas, not the field.
    const auto shown = [](float framePos, float scale, float origin, int canvas, int32_t n, int32_t& lo, int32_t& hi) {
      const float size = float(TBlock::Size);
      lo = std::max(0, int32_t(std::floor((-origin / scale - framePos - size) / size)) - 1);
      hi = std::min(n - 1, int32_t(std::ceil(((float(canvas) - origin) / scale - framePos) / size)) + 1);
    };
    int32_t c0, c1, r0, r1;
    shown(v.framex, s.SCALEX, s.OriginX, cw, g.BlockAW, c0, c1);
    shown(v.framey, s.SCALEY, s.OriginY, ch, g.BlockAH, r0, r1);
    thread_local std::vector<int32_t> ys;
    ys.clear();
    for (int32_t y = 0; y < g.BlockAH && r0 <= r1; ++y)
      if (const int32_t row = Wrap(y + v.panY, g.BlockAH); row >= r0 && row <= r1) ys.push_back(y);
    for (int32_t x = 0; x < g.BlockAW && c0 <= c1 && !ys.empty(); ++x) {
      const int32_t col = Wrap(x + v.panX, g.BlockAW);
      if (col < c0 || col > c1) continue;
      for (const int32_t y : ys)
        DrawBlock(g, v, res, x * g.BlockAH + y, float(col * TBlock::Size),
                  float(Wrap(y + v.panY, g.BlockAH) * TBlock::Size), cw, ch);
    }
  }
  gx.SetAlpha(1.0f);
  SetDrawMode(GL_MODE_LINE);
  gx.SetColor(0, 0, 0);
  DrawSRect(s, v.framex, v.framey, float(24 * g.BlockAW), float(24 * g.BlockAH), 3);
  SetDrawMode(GL_MODE_FILL);
}

}  // namespace bg
