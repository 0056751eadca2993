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

namespace bg {

void FrameRecord::Draw(const TexSource& tex, int blend, const Vertex* v, int quads) {
  if (quads <= 0) return;
  Cmd c{};
  c.kind = DRAW;
  c.filtered = tex.filtered;
  c.blend = blend;
  c.pixels = tex.pixels;
  c.cache = tex.cache;
  c.first = Quads();
  c.quads = quads;
  cmds.push_back(c);
  verts.insert(verts.end(), v, v + size_t(quads) * 4);
}

void FrameRecord::Clip(int x, int y, int w, int h) {
  Cmd c{};
  c.kind = CLIP;
  c.rect = {x, y, w, h};
  c.first = Quads();
  cmds.push_back(c);
}

void FrameRecord::Clear(uint8_t r, uint8_t g, uint8_t b) {
  Cmd c{};
  c.kind = CLEAR;
  c.rgb[0] = r;
  c.rgb[1] = g;
  c.rgb[2] = b;
  c.first = Quads();
  cmds.push_back(c);
}

namespace {

PixRect Intersect(const PixRect& a, const PixRect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

// Every pixel a quad can touch, with a pixel to spare for rounding.
PixRect Bounds(const Vertex* v) {
  float x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
  for (int i = 1; i < 4; ++i) {
    x0 = std::min(x0, v[i].x);
    x1 = std::max(x1, v[i].x);
    y0 = std::min(y0, v[i].y);
    y1 = std::max(y1, v[i].y);
  }
  // NaN or huge coordinates: the whole plane.
  if (!(x0 > -1e7f && x1 < 1e7f && y0 > -1e7f && y1 < 1e7f)) return {-10000000, -10000000, 20000000, 20000000};
  const int ix0 = int(std::floor(x0)) - 1, iy0 = int(std::floor(y0)) - 1;
  return {ix0, iy0, int(std::ceil(x1)) + 1 - ix0, int(std::ceil(y1)) + 1 - iy0};
}

bool Touches(const PixRect& r, const Vertex* v) {
  const PixRect b = Bounds(v);
  return b.x < r.x + r.w && r.x < b.x + b.w && b.y < r.y + r.h && r.y < b.y + b.h;
}

// Per quad, the command that drew it.
void QuadOwners(const FrameRecord& f, std::vector<int>& owner) {
  owner.resize(size_t(f.Quads()));
  for (size_t c = 0; c < f.cmds.size(); ++c)
    if (f.cmds[c].kind == FrameRecord::DRAW)
      std::fill(owner.begin() + f.cmds[c].first, owner.begin() + f.cmds[c].first + f.cmds[c].quads, int(c));
}

bool SameState(const FrameRecord::Cmd& a, const FrameRecord::Cmd& b) {
  return a.pixels == b.pixels && a.filtered == b.filtered && a.blend == b.blend;
}

bool SameBarrier(const FrameRecord::Cmd& a, const FrameRecord::Cmd& b) {
  if (a.kind != b.kind || a.first != b.first) return false;
  if (a.kind == FrameRecord::CLIP)
    return a.rect.x == b.rect.x && a.rect.y == b.rect.y && a.rect.w == b.rect.w && a.rect.h == b.rect.h;
  return std::memcmp(a.rgb, b.rgb, 3) == 0;
}

void AddDamage(std::vector<PixRect>& out, PixRect r) {
  // Overlapping rectangles merge, so no pixel is drawn twice.
  for (bool merged = true; merged;) {
    merged = false;
    for (size_t i = 0; i < out.size(); ++i) {
      const PixRect& o = out[i];
      if (o.x <= r.x + r.w && r.x <= o.x + o.w && o.y <= r.y + r.h && r.y <= o.y + o.h) {
        const int x0 = std::min(o.x, r.x), y0 = std::min(o.y, r.y);
        r = {x0, y0, std::max(o.x + o.w, r.x + r.w) - x0, std::max(o.y + o.h, r.y + r.h) - y0};
        out.erase(out.begin() + long(i));
        merged = true;
        break;
      }
    }
  }
  out.push_back(r);
}

}  // namespace

void FrameRecord::Replay(DrawSink& sink, const PixRect* only) const {
  std::vector<Vertex> kept;
  for (const Cmd& c : cmds) {
    switch (c.kind) {
      case CLIP: {
        const PixRect r = only ? Intersect(c.rect, *only) : c.rect;
        sink.Clip(r.x, r.y, r.w, r.h);
        break;
      }
      case CLEAR: sink.Clear(c.rgb[0], c.rgb[1], c.rgb[2]); break;
      case DRAW: {
        const TexSource tex{c.pixels, c.cache, c.filtered};
        const Vertex* v = &verts[size_t(c.first) * 4];
        if (!only) {
          sink.Draw(tex, c.blend, v, c.quads);
          break;
        }
        kept.clear();
        for (int q = 0; q < c.quads; ++q)
          if (Touches(*only, v + q * 4)) kept.insert(kept.end(), v + q * 4, v + q * 4 + 4);
        if (!kept.empty()) sink.Draw(tex, c.blend, kept.data(), int(kept.size() / 4));
        break;
      }
    }
  }
}

Change Compare(const FrameRecord& before, const FrameRecord& after, std::vector<PixRect>& damage) {
  damage.clear();
  // Clips and clears must match, and the frame must start by clearing the
  // whole canvas, so that a rectangle can be drawn again on its own.
  std::vector<const FrameRecord::Cmd*> ba, bb;
  for (const auto& c : before.cmds) if (c.kind != FrameRecord::DRAW) ba.push_back(&c);
  for (const auto& c : after.cmds) if (c.kind != FrameRecord::DRAW) bb.push_back(&c);
  if (ba.size() != bb.size()) return Change::WHOLE;
  for (size_t i = 0; i < ba.size(); ++i)
    if (!SameBarrier(*ba[i], *bb[i])) return Change::WHOLE;
  PixRect canvas{};
  bool cleared = false;
  for (const auto* c : bb) {
    if (c->first > 0) break;
    if (c->kind == FrameRecord::CLIP) canvas = c->rect;
    if (c->kind == FrameRecord::CLEAR) { cleared = true; break; }
  }
  if (!cleared || canvas.w <= 0 || canvas.h <= 0) return Change::WHOLE;

  std::vector<int> oa, ob;
  QuadOwners(before, oa);
  QuadOwners(after, ob);
  const int na = before.Quads(), nb = after.Quads();
  auto same = [&](int i, int j) {
    return SameState(before.cmds[size_t(oa[size_t(i)])], after.cmds[size_t(ob[size_t(j)])]) &&
           std::memcmp(&before.verts[size_t(i) * 4], &after.verts[size_t(j) * 4], 4 * sizeof(Vertex)) == 0;
  };
  int head = 0;
  while (head < na && head < nb && same(head, head)) ++head;
  int tail = 0;
  while (tail < na - head && tail < nb - head && same(na - 1 - tail, nb - 1 - tail)) ++tail;
  if (head == na && head == nb) return Change::NONE;
  // Quads that differ in the middle: pairwise when the counts agree, else all of them.
  const long long area = (long long)canvas.w * canvas.h;
  auto add = [&](const Vertex* v) {
    const PixRect r = Intersect(Bounds(v), canvas);
    if (r.w > 0 && r.h > 0) AddDamage(damage, r);
  };
  const int ma = na - head - tail, mb = nb - head - tail;
  for (int k = 0; k < std::max(ma, mb); ++k) {
    const int i = head + k, j = head + k;
    if (ma == mb && same(i, j)) continue;
    if (k < ma) add(&before.verts[size_t(i) * 4]);
    if (k < mb) add(&after.verts[size_t(j) * 4]);
    if (damage.size() > 32) {
      // Many scattered changes (a flood fill): one rectangle around them all.
      int x0 = damage[0].x, y0 = damage[0].y, x1 = x0 + damage[0].w, y1 = y0 + damage[0].h;
      for (const PixRect& r : damage) {
        x0 = std::min(x0, r.x);
        y0 = std::min(y0, r.y);
        x1 = std::max(x1, r.x + r.w);
        y1 = std::max(y1, r.y + r.h);
      }
      damage.assign(1, PixRect{x0, y0, x1 - x0, y1 - y0});
    }
  }
  long long covered = 0;
  for (const PixRect& r : damage) covered += (long long)r.w * r.h;
  if (damage.empty()) return Change::NONE;  // only changes outside the canvas
  return covered * 2 > area ? Change::WHOLE : Change::PART;
}

}  // namespace bg
