#include "platform/backends/batch_gfx.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bg {

void Batcher::Flush() {
  if (count_ > 0 && sink_) {
    sink_->Draw(tex_, blend_, verts_.data(), count_);
    ++submitted;
  }
  count_ = 0;
}

void Batcher::Restart(const TexSource& tex, int blend) {
  Flush();
  tex_ = tex;
  blend_ = blend;
}

namespace {
uint8_t Channel(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// Decodes one UTF-8 character to Latin-1 as Utf8ToLatin1 does: anything
// outside 0..255 or malformed becomes '?'.
unsigned NextLatin1(const std::string& s, size_t& i) {
  const unsigned char c = s[i];
  size_t len = 1;
  unsigned cp = c;
  if (c >= 0xC0 && c < 0xE0) { len = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c < 0xF0) { len = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c < 0xF8) { len = 4; cp = c & 0x07; }
  else if (c >= 0x80) { ++i; return '?'; }
  if (i + len > s.size()) { i = s.size(); return '?'; }
  for (size_t k = 1; k < len; ++k) {
    const unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) { ++i; return '?'; }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += len;
  return cp <= 0xFF ? cp : '?';
}
}  // namespace

inline void BatchGfx::PackColour() {
  // NaN alpha counts as 0.
  const float a = alpha_ >= 1.0f ? 1.0f : (alpha_ > 0.0f ? alpha_ : 0.0f);
  colour_[0] = Channel(r_);
  colour_[1] = Channel(g_);
  colour_[2] = Channel(b_);
  colour_[3] = uint8_t(a * 255.0f + 0.5f);
}

inline void BatchGfx::UpdateBasis() {
  if (basisFor_[0] == sx_ && basisFor_[1] == sy_ && basisFor_[2] == rot_) return;
  RecomputeBasis();
}

void BatchGfx::RecomputeBasis() {
  basisFor_[0] = sx_;
  basisFor_[1] = sy_;
  basisFor_[2] = rot_;
  const double rad = double(rot_) * (3.14159265358979323846 / 180.0);
  const float c = float(std::cos(rad)), s = float(std::sin(rad));
  ex_[0] = sx_ * c;
  ex_[1] = sx_ * s;
  ey_[0] = -sy_ * s;
  ey_[1] = sy_ * c;
}

inline void BatchGfx::Quad(const TexSource& tex, float ax, float ay, float lx, float ly, float w, float h,
                    float u0, float v0, float u1, float v1) {
  const float x0 = ax + ex_[0] * lx + ey_[0] * ly, y0 = ay + ex_[1] * lx + ey_[1] * ly;
  const float dxx = ex_[0] * w, dxy = ex_[1] * w, dyx = ey_[0] * h, dyy = ey_[1] * h;
  Vertex* v = batch_.Add(tex, blend_);
  v[0] = {x0, y0, u0, v0, {}};
  v[1] = {x0 + dxx, y0 + dxy, u1, v0, {}};
  v[2] = {x0 + dxx + dyx, y0 + dxy + dyy, u1, v1, {}};
  v[3] = {x0 + dyx, y0 + dyy, u0, v1, {}};
  for (int i = 0; i < 4; ++i) std::memcpy(v[i].rgba, colour_, 4);
}

void BatchGfx::SetViewport(int x, int y, int w, int h) {
  batch_.Flush();
  vx_ = x;
  vy_ = y;
  vw_ = w;
  vh_ = h;
  if (batch_.Sink()) batch_.Sink()->Clip(x, y, w, h);
}

void BatchGfx::Cls() {
  batch_.Flush();
  if (batch_.Sink()) batch_.Sink()->Clear(Channel(cr_), Channel(cg_), Channel(cb_));
}

void BatchGfx::Flip(int) { batch_.Flush(); }

void BatchGfx::DrawImage(Image* img, float x, float y) {
  if (!img || img->width <= 0 || img->height <= 0) return;
  UpdateBasis();
  PackColour();
  const TexSource tex{&img->pixels, &img->backend, img->filtered};
  Quad(tex, x + ox_, y + oy_, 0, 0, float(img->width), float(img->height), 0, 0, 1, 1);
}

void BatchGfx::DrawRect(float x, float y, float w, float h) {
  UpdateBasis();
  PackColour();
  const TexSource plain;
  const float ax = x + ox_, ay = y + oy_;
  if (polygonMode_ != GL_MODE_LINE) {
    Quad(plain, ax, ay, 0, 0, w, h, 0, 0, 1, 1);
    return;
  }
  if (sx_ == 0.0f || sy_ == 0.0f) return;
  // Four edge strips one logical pixel thick, inside the filled area and not
  // overlapping, so corners are not blended twice and no diagonal exists.
  float lx = 0, ly = 0;
  if (w < 0) { lx = w; w = -w; }
  if (h < 0) { ly = h; h = -h; }
  const float tx = 1.0f / std::fabs(sx_), ty = 1.0f / std::fabs(sy_);
  if (w <= 2 * tx || h <= 2 * ty) {
    Quad(plain, ax, ay, lx, ly, w, h, 0, 0, 1, 1);
    return;
  }
  Quad(plain, ax, ay, lx, ly, w, ty, 0, 0, 1, 1);
  Quad(plain, ax, ay, lx, ly + h - ty, w, ty, 0, 0, 1, 1);
  Quad(plain, ax, ay, lx, ly + ty, tx, h - 2 * ty, 0, 0, 1, 1);
  Quad(plain, ax, ay, lx + w - tx, ly + ty, tx, h - 2 * ty, 0, 0, 1, 1);
}

void BatchGfx::DrawLine(float x1, float y1, float x2, float y2) {
  PackColour();
  // A strip one pixel wide through the pixel centres, reaching half a pixel
  // past each end so both end pixels are drawn.
  const float ax = x1 + ox_ + 0.5f, ay = y1 + oy_ + 0.5f, bx = x2 + ox_ + 0.5f, by = y2 + oy_ + 0.5f;
  const float dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
  const float ux = len > 1e-6f ? 0.5f * dx / len : 0.5f, uy = len > 1e-6f ? 0.5f * dy / len : 0.0f;
  const float nx = -uy, ny = ux;
  Vertex* v = batch_.Add(TexSource{}, blend_);
  v[0] = {ax - ux - nx, ay - uy - ny, 0, 0, {}};
  v[1] = {bx + ux - nx, by + uy - ny, 1, 0, {}};
  v[2] = {bx + ux + nx, by + uy + ny, 1, 1, {}};
  v[3] = {ax - ux + nx, ay - uy + ny, 0, 1, {}};
  for (int i = 0; i < 4; ++i) std::memcpy(v[i].rgba, colour_, 4);
}

void BatchGfx::DrawText(const std::string& text, float x, float y) {
  ImageFont* f = font_;
  if (!f || f->atlas.width <= 0 || f->atlas.height <= 0) return;
  UpdateBasis();
  PackColour();
  const TexSource tex{&f->atlas, &f->backend, true};
  const float iw = 1.0f / float(f->atlas.width), ih = 1.0f / float(f->atlas.height);
  const float ax = x + ox_, ay = y + oy_;
  float pen = 0, baseline = float(f->ascent);
  for (size_t i = 0; i < text.size();) {
    const unsigned c = NextLatin1(text, i);
    if (c == '\n') {
      pen = 0;
      baseline += float(f->height);
      continue;
    }
    const Glyph& g = f->glyphs[c];
    if (g.w > 0 && g.h > 0)
      Quad(tex, ax, ay, pen + float(g.bearingX), baseline - float(g.bearingY), float(g.w), float(g.h),
           float(g.x) * iw, float(g.y) * ih, float(g.x + g.w) * iw, float(g.y + g.h) * ih);
    pen += float(g.advance);
  }
}

}  // namespace bg
