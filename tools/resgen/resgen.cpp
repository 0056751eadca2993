// resgen: draws Blastgrid's pictures and application icons and synthesizes its sound into the directory argv[1].
// Everything is computed from fixed seeds, so repeated runs give byte-identical files.
#include <png.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979f;

// xorshift32: tiny and fully reproducible across platforms.
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 1u) {}
  uint32_t next() { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; }
  float unit() { return float(next() >> 8) * (1.0f / 16777216.0f); }
};

uint32_t hash3(int a, int b, int c) {
  uint32_t h = uint32_t(a) * 0x9E3779B1u ^ uint32_t(b) * 0x85EBCA77u ^ uint32_t(c) * 0xC2B2AE3Du;
  h ^= h >> 15; h *= 0x2C1B3C6Du; h ^= h >> 12; h *= 0x297A2D39u; h ^= h >> 15;
  return h;
}

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float mix(float a, float b, float t) { return a + (b - a) * t; }
float smooth(float e0, float e1, float x) { float t = clamp01((x - e0) / (e1 - e0)); return t * t * (3 - 2 * t); }

// Premultiplied colour, so supersamples average without dark fringes.
struct Px { float r = 0, g = 0, b = 0, a = 0; };
Px rgb(float r, float g, float b, float a = 1) { return {r * a, g * a, b * a, a}; }
Px grey(float v, float a = 1) { return rgb(v, v, v, a); }
Px over(Px d, Px s) { float k = 1 - s.a; return {s.r + d.r * k, s.g + d.g * k, s.b + d.b * k, s.a + d.a * k}; }
// Paints s where the signed distance d is negative (sub-pixel edges come from supersampling).
Px paint(Px d, float dist, Px s) { return dist < 0 ? over(d, s) : d; }

struct Image {
  int w, h;
  std::vector<Px> px;
  Image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_) {}
};

// Evaluates f(x, y) on an ss×ss grid inside every pixel and averages: the antialiasing.
Image render(int w, int h, int ss, const std::function<Px(float, float)>& f) {
  Image im(w, h);
  float inv = 1.0f / float(ss * ss);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Px acc;
      for (int sy = 0; sy < ss; ++sy)
        for (int sx = 0; sx < ss; ++sx) {
          Px p = f(x + (sx + 0.5f) / ss, y + (sy + 0.5f) / ss);
          acc.r += p.r; acc.g += p.g; acc.b += p.b; acc.a += p.a;
        }
      im.px[size_t(y) * w + x] = {acc.r * inv, acc.g * inv, acc.b * inv, acc.a * inv};
    }
  return im;
}

// ---- signed distances (negative inside) ----
float sdCircle(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }
float sdRoundBox(float x, float y, float cx, float cy, float hw, float hh, float r) {
  float qx = std::fabs(x - cx) - hw + r, qy = std::fabs(y - cy) - hh + r;
  return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
}
float sdSegment(float x, float y, float ax, float ay, float bx, float by, float r) {
  float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  float t = clamp01((px * dx + py * dy) / (dx * dx + dy * dy));
  return std::hypot(px - dx * t, py - dy * t) - r;
}

// ---- output ----
bool savePng(const std::string& path, const Image& im) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) { png_destroy_write_struct(&png, &info); std::fclose(f); return false; }
  png_init_io(png, f);
  png_set_IHDR(png, info, im.w, im.h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  std::vector<uint8_t> row(size_t(im.w) * 4);
  for (int y = 0; y < im.h; ++y) {
    for (int x = 0; x < im.w; ++x) {
      Px p = im.px[size_t(y) * im.w + x];
      float a = clamp01(p.a), k = a > 0 ? 1 / a : 0;
      uint8_t* o = &row[size_t(x) * 4];
      o[0] = uint8_t(std::lround(clamp01(p.r * k) * 255));
      o[1] = uint8_t(std::lround(clamp01(p.g * k) * 255));
      o[2] = uint8_t(std::lround(clamp01(p.b * k) * 255));
      o[3] = uint8_t(std::lround(a * 255));
      if (o[3] == 0) o[0] = o[1] = o[2] = 0;  // keeps fully transparent areas compressible
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

// Opaque only. Values are dithered (avoids banding in soft gradients) and kept >= 1,
// because the game treats pure black in alpha-less pictures as transparent.
bool saveJpeg(const std::string& path, const Image& im, int quality, uint32_t seed) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(im.w);
  c.image_height = JDIMENSION(im.h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  c.optimize_coding = TRUE;
  jpeg_start_compress(&c, TRUE);
  Rng rng(seed);
  std::vector<uint8_t> row(size_t(im.w) * 3);
  for (int y = 0; y < im.h; ++y) {
    for (int x = 0; x < im.w; ++x) {
      Px p = im.px[size_t(y) * im.w + x];
      float d = rng.unit() - 0.5f;
      float ch[3] = {p.r, p.g, p.b};
      for (int i = 0; i < 3; ++i)
        row[size_t(x) * 3 + i] = uint8_t(std::clamp(std::lround(ch[i] * 255 + d), 1L, 255L));
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

void put16(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void put32(std::vector<uint8_t>& b, uint32_t v) { put16(b, v & 0xFFFF); put16(b, v >> 16); }

bool saveWav(const std::string& path, const std::vector<int16_t>& s, uint32_t rate) {
  std::vector<uint8_t> b;
  uint32_t data = uint32_t(s.size() * 2);
  for (char ch : std::string("RIFF")) b.push_back(uint8_t(ch));
  put32(b, 36 + data);
  for (char ch : std::string("WAVEfmt ")) b.push_back(uint8_t(ch));
  put32(b, 16); put16(b, 1); put16(b, 1); put32(b, rate); put32(b, rate * 2); put16(b, 2); put16(b, 16);
  for (char ch : std::string("data")) b.push_back(uint8_t(ch));
  put32(b, data);
  for (int16_t v : s) put16(b, uint16_t(v));
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

// ---- tileable noise for the textures ----
// Gradient noise on a lattice that wraps with period p, so textures tile seamlessly.
struct GradNoise {
  int p;
  std::vector<float> gx, gy;
  GradNoise(int period, Rng& rng) : p(period), gx(size_t(period) * period), gy(size_t(period) * period) {
    for (size_t i = 0; i < gx.size(); ++i) {
      float a = rng.unit() * 2 * kPi;
      gx[i] = std::cos(a); gy[i] = std::sin(a);
    }
  }
  float at(float x, float y) const {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - ix, fy = y - iy;
    auto g = [&](int dx, int dy) {
      size_t i = size_t(((iy + dy) % p + p) % p) * p + size_t(((ix + dx) % p + p) % p);
      return gx[i] * (fx - dx) + gy[i] * (fy - dy);
    };
    auto fade = [](float t) { return t * t * t * (t * (t * 6 - 15) + 10); };
    float u = fade(fx), v = fade(fy);
    return mix(mix(g(0, 0), g(1, 0), u), mix(g(0, 1), g(1, 1), u), v);
  }
};

struct Fbm {
  std::vector<GradNoise> oct;
  Fbm(int basePeriod, int octaves, uint32_t seed) {
    Rng rng(seed);
    for (int i = 0; i < octaves; ++i) oct.emplace_back(basePeriod << i, rng);
  }
  // u, v in texture units: period 1.
  float at(float u, float v, float gain = 0.5f) const {
    float sum = 0, amp = 1;
    for (const auto& n : oct) { sum += amp * n.at(u * n.p, v * n.p); amp *= gain; }
    return sum;
  }
};

// Stretches a scalar field to [lo, hi] after a brightness curve, then makes it grey.
Image greyField(int n, std::vector<float> f, float lo, float hi, float gamma) {
  auto [mn, mx] = std::minmax_element(f.begin(), f.end());
  float a = *mn, b = *mx;
  Image im(n, n);
  for (size_t i = 0; i < f.size(); ++i) im.px[i] = grey(mix(lo, hi, std::pow((f[i] - a) / (b - a), gamma)));
  return im;
}

std::vector<float> field(int n, const std::function<float(float, float)>& f) {
  std::vector<float> v(size_t(n) * n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) v[size_t(y) * n + x] = f((x + 0.5f) / n, (y + 0.5f) / n);
  return v;
}

constexpr int kTex = 512;

Image backClouds() {
  Fbm base(4, 5, 0xC10D5u), warp(3, 4, 0x3A9Fu);
  return greyField(kTex, field(kTex, [&](float u, float v) {
    float wu = warp.at(u, v), wv = warp.at(u + 0.37f, v + 0.71f);
    return base.at(u + 0.10f * wu, v + 0.10f * wv, 0.48f);
  }), 0.56f, 1.0f, 0.62f);
}

Image backWaves() {
  Fbm warp(2, 4, 0x5EA5u), fine(16, 3, 0xF17Eu);
  return greyField(kTex, field(kTex, [&](float u, float v) {
    float ph = 2 * kPi * 5 * (u + v) + 2.4f * warp.at(u, v);
    float ridge = std::pow(0.5f + 0.5f * std::sin(ph), 1.6f);
    float cross = 0.5f + 0.5f * std::sin(2 * kPi * 2 * (u - v) + 1.5f * warp.at(v, u));
    return ridge * (0.7f + 0.3f * cross) + 0.06f * fine.at(u, v);
  }), 0.66f, 1.0f, 0.7f);
}

Image backCells() {
  constexpr int g = 5;  // cells per side; points wrap so the texture tiles
  Rng rng(0xCE115u);
  std::vector<float> ptx(g * g), pty(g * g);
  for (int i = 0; i < g * g; ++i) { ptx[i] = 0.15f + 0.7f * rng.unit(); pty[i] = 0.15f + 0.7f * rng.unit(); }
  Fbm soft(4, 3, 0x50F7u);
  return greyField(kTex, field(kTex, [&](float u, float v) {
    float x = u * g, y = v * g, f1 = 9, f2 = 9;
    int cx = int(std::floor(x)), cy = int(std::floor(y));
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        int i = (((cy + dy) % g + g) % g) * g + (((cx + dx) % g + g) % g);
        float d = std::hypot(cx + dx + ptx[i] - x, cy + dy + pty[i] - y);
        if (d < f1) { f2 = f1; f1 = d; } else if (d < f2) f2 = d;
      }
    float rings = 0.5f + 0.5f * std::cos(2 * kPi * f1 * 3.2f);
    float edge = smooth(0.0f, 0.24f, f2 - f1);
    return edge * (0.55f + 0.3f * rings * std::exp(-f1 * 1.1f) + 0.15f * (1 - f1)) + 0.12f * soft.at(u, v);
  }), 0.57f, 1.0f, 0.75f);
}

// Calm sky-to-teal gradient with a faint faceted triangle lattice.
Image backStill() {
  constexpr float kSide = 70;  // lattice spacing in pixels
  const float nx[3] = {0, std::cos(kPi / 6), std::cos(5 * kPi / 6)};
  const float ny[3] = {1, std::sin(kPi / 6), std::sin(5 * kPi / 6)};
  return render(700, 900, 3, [&](float x, float y) {
    float t = y / 900.0f;
    float r = mix(0.86f, 0.74f, t), g = mix(0.92f, 0.91f, t), b = mix(0.98f, 0.88f, t);
    float glow = std::exp(-(std::pow((x - 220) / 420, 2.0f) + std::pow((y - 160) / 360, 2.0f)));
    r += 0.08f * glow; g += 0.06f * glow; b += 0.03f * glow;
    int id[3];
    float line = 0;
    for (int i = 0; i < 3; ++i) {
      float d = (x * nx[i] + y * ny[i]) / kSide + 0.5f * i;
      id[i] = int(std::floor(d));
      float off = std::fabs(d - std::round(d)) * kSide;
      line = std::max(line, std::exp(-off * off / 0.8f));
    }
    float facet = (float(hash3(id[0], id[1], id[2]) & 1023) / 1023.0f - 0.5f) * 0.045f;
    float k = 1 + facet * (0.6f + 0.4f * t);
    float l = 0.16f * line;
    return rgb(mix(r * k, 1, l), mix(g * k, 1, l), mix(b * k, 1, l));
  });
}

// ---- tiles and icons, drawn in 48-unit space ----
Image block() {
  constexpr float n = 48, bev = 5;
  return render(48, 48, 8, [&](float x, float y) {
    float l = x, t = y, r = n - x, b = n - y;
    float m = std::min({l, t, r, b});
    if (m >= bev) {  // face: faint top-left light so large tiles are not flat
      float s = 0.86f + 0.04f * (1 - (x + y) / (2 * n));
      return rgb(s, s + 0.015f, s + 0.04f);
    }
    float depth = m / bev;  // 0 at the outer edge, 1 at the face
    if (m == t || m == l) {
      float s = m == t ? mix(1.0f, 0.97f, depth) : mix(0.98f, 0.94f, depth);
      return rgb(s, s, std::min(1.0f, s + 0.02f));
    }
    float s = m == b ? mix(0.52f, 0.66f, depth) : mix(0.60f, 0.74f, depth);
    if (m < 1.0f) s -= 0.08f;  // crisp outer rim so neighbouring tiles separate
    return rgb(s, s + 0.02f, s + 0.07f);
  });
}

Image blockRevealed() {
  constexpr float n = 48;
  return render(48, 48, 8, [&](float x, float y) {
    float m = std::min({x, y, n - x, n - y});
    if (m < 1.6f) return rgb(0.70f, 0.72f, 0.76f);
    float tl = std::min(x, y) - 1.6f;  // slight inset shade: reads as lower than covered tiles
    float s = 0.965f - 0.06f * std::exp(-tl / 1.6f);
    return rgb(s, s, s + 0.01f);
  });
}

Image flag() {
  return render(48, 48, 8, [&](float x, float y) {
    Px p;
    p = paint(p, sdRoundBox(x, y, 17, 42.5f, 9.5f, 2.6f, 1.6f), grey(0.30f));         // foot
    p = paint(p, sdRoundBox(x, y, 17, 39.3f, 5.5f, 1.6f, 1.0f), grey(0.42f));
    p = paint(p, sdRoundBox(x, y, 15.5f, 23, 1.6f, 17.5f, 0.8f), rgb(0.36f, 0.37f, 0.41f));  // pole
    p = paint(p, sdRoundBox(x, y, 15.0f, 23, 0.5f, 17.0f, 0.4f), grey(0.55f));          // pole shine
    p = paint(p, sdCircle(x, y, 15.5f, 5.5f, 2.6f), grey(0.34f));                       // knob
    // Waving cloth: wavy top/bottom and free edge; approximate distance is enough for a rim.
    float w = std::sin((x - 17) * 0.30f);
    float top = 7.5f + 1.6f * w, bot = 26.5f + 1.6f * w - (x - 17) * 0.12f;
    float right = 39.5f + 0.9f * std::sin(y * 0.4f + 0.6f);
    float d = std::max({top - y, y - bot, 17.0f - x, x - right});
    float fold = 0.5f + 0.5f * std::cos((x - 17) * 0.30f);
    p = paint(p, d, rgb(0.40f, 0.40f, 0.44f));
    p = paint(p, d + 1.4f, grey(mix(0.86f, 1.0f, fold)));
    return p;
  });
}

Image bomb() {
  constexpr float cx = 24, cy = 24.5f, rad = 12.5f;
  return render(48, 48, 8, [&](float x, float y) {
    Px p;
    float spikes = 1e9f;
    for (int i = 0; i < 8; ++i) {
      float a = i * kPi / 4;
      float ex = cx + std::cos(a) * 19.5f, ey = cy + std::sin(a) * 19.5f;
      float along = clamp01(std::hypot(x - cx, y - cy) / 19.5f);
      spikes = std::min(spikes, sdSegment(x, y, cx, cy, ex, ey, mix(3.2f, 1.3f, along)));
    }
    p = paint(p, spikes, rgb(0.22f, 0.22f, 0.26f));
    p = paint(p, spikes + 1.1f, rgb(0.34f, 0.34f, 0.38f));  // lighter spike cores read as metal
    float dx = (x - cx) / rad, dy = (y - cy) / rad, r2 = dx * dx + dy * dy;
    if (r2 < 1) {
      float nz = std::sqrt(1 - r2);
      float diff = clamp01(-0.55f * dx - 0.6f * dy + 0.58f * nz);
      float rim = std::pow(1 - nz, 3.0f) * clamp01(dx + dy) * 0.35f;  // bounce light, lower right
      float s = 0.10f + 0.30f * diff + rim;
      p = over(p, rgb(s, s, s + 0.03f));
      float h = std::hypot(x - (cx - 4.5f), y - (cy - 4.8f));
      p = over(p, grey(1.0f, 0.95f * (1 - smooth(1.2f, 3.6f, h))));
    }
    return p;
  });
}

Image clockIcon() {
  constexpr float cx = 24, cy = 26;
  return render(48, 48, 8, [&](float x, float y) {
    Px p;
    p = paint(p, sdRoundBox(x, y, cx, 3.8f, 4.0f, 2.2f, 1.2f), rgb(0.28f, 0.30f, 0.36f));  // crown
    p = paint(p, sdSegment(x, y, cx, 5, cx, 8, 1.6f), rgb(0.28f, 0.30f, 0.36f));
    p = paint(p, sdCircle(x, y, cx, cy, 20.5f), rgb(0.24f, 0.26f, 0.32f));
    float face = sdCircle(x, y, cx, cy, 17.0f);
    float shade = 0.90f + 0.10f * clamp01((cy + 17 - y) / 34 + 0.3f);
    p = paint(p, face, rgb(shade, shade, std::min(1.0f, shade + 0.02f)));
    for (int i = 0; i < 12; ++i) {
      float a = i * kPi / 6, c = std::cos(a), s = std::sin(a);
      bool major = i % 3 == 0;
      float r0 = major ? 12.0f : 13.5f;
      p = paint(p, sdSegment(x, y, cx + c * r0, cy + s * r0, cx + c * 14.8f, cy + s * 14.8f, major ? 1.4f : 0.8f),
                rgb(0.30f, 0.32f, 0.38f));
    }
    // Hands at ten past ten: the friendliest, most legible pose at small sizes.
    float ha = -kPi / 2 - kPi / 3 * 1.0f - kPi / 36, ma = -kPi / 2 + kPi / 3;
    p = paint(p, sdSegment(x, y, cx, cy, cx + std::cos(ha) * 8.5f, cy + std::sin(ha) * 8.5f, 1.8f), grey(0.18f));
    p = paint(p, sdSegment(x, y, cx, cy, cx + std::cos(ma) * 12.5f, cy + std::sin(ma) * 12.5f, 1.3f), grey(0.18f));
    p = paint(p, sdCircle(x, y, cx, cy, 2.4f), rgb(0.85f, 0.25f, 0.20f));
    return p;
  });
}

Image textbox() {
  constexpr float w = 250, h = 100, hw = 118, hh = 43, r = 22;
  return render(int(w), int(h), 4, [&](float x, float y) {
    Px p = grey(0.25f, 0.22f * (1 - smooth(-4.0f, 5.0f, sdRoundBox(x, y, w / 2, h / 2 + 2.5f, hw, hh, r))));
    float d = sdRoundBox(x, y, w / 2, h / 2, hw, hh, r);
    p = paint(p, d, rgb(0.62f, 0.64f, 0.69f));
    float s = 1.0f - 0.035f * clamp01((y - 8) / (h - 16));
    p = paint(p, d + 3.0f, grey(s));
    return p;
  });
}

// ---- application icon: a mine on a covered tile, drawn in 64-unit space ----
// Strokes never get thinner than about one pixel, so the 16 px icon still reads as a mine.
Image appIcon(int n) {
  const float unit = float(n) / 64;  // pixels per design unit
  const float pxu = 1 / unit;        // one pixel in design units
  constexpr float cx = 32, cy = 31.5f, rad = 12.5f;
  const float spikeLen = 20.5f, spikeIn = std::max(3.4f, 1.2f * pxu), spikeOut = std::max(1.5f, 0.9f * pxu);
  return render(n, n, n <= 32 ? 16 : 8, [&](float px, float py) {
    const float x = px * pxu, y = py * pxu;
    Px p;
    // Soft drop shadow under the tile lifts it off light and dark panels alike.
    float sh = sdRoundBox(x, y, 32, 34, 28, 28, 9);
    p = over(p, grey(0.0f, 0.30f * (1 - smooth(-2.0f, 3.0f, sh))));
    // The tile: a blue covered block with a bevel, lit from the top left like the game's blocks.
    float tile = sdRoundBox(x, y, 32, 32, 28, 28, 9);
    float t = clamp01((y - 4) / 56);
    p = paint(p, tile, rgb(mix(0.20f, 0.10f, t), mix(0.42f, 0.26f, t), mix(0.78f, 0.58f, t)));
    float bevel = std::max(2.8f, 1.0f * pxu);
    if (tile < 0 && tile > -bevel) {
      float lit = clamp01(0.5f - 0.5f * ((x - 32) + (y - 32)) / 40);
      p = over(p, lit > 0.5f ? grey(1.0f, 0.45f * (lit - 0.5f) * 2) : grey(0.0f, 0.35f * (0.5f - lit) * 2));
    }
    float face = tile + bevel;
    p = paint(p, face, rgb(mix(0.36f, 0.24f, t), mix(0.60f, 0.46f, t), mix(0.95f, 0.84f, t)));
    // The mine's shadow on the face, offset down and right.
    float shadow = sdCircle(x, y, cx + 2.2f, cy + 2.6f, rad + 2.5f);
    p = over(p, grey(0.0f, 0.28f * (1 - smooth(-3.0f, 3.0f, shadow)) * (face < 0 ? 1.0f : 0.0f)));
    // Spikes: eight tapered bars through the body.
    float spikes = 1e9f;
    for (int i = 0; i < 8; ++i) {
      float a = i * kPi / 4;
      float ex = cx + std::cos(a) * spikeLen, ey = cy + std::sin(a) * spikeLen;
      float along = clamp01(std::hypot(x - cx, y - cy) / spikeLen);
      spikes = std::min(spikes, sdSegment(x, y, cx, cy, ex, ey, mix(spikeIn, spikeOut, along)));
    }
    p = paint(p, spikes, rgb(0.08f, 0.08f, 0.10f));
    if (n >= 48) p = paint(p, spikes + 1.0f, rgb(0.26f, 0.27f, 0.31f));  // metal core, too fine for small sizes
    // The body: a shaded sphere with a bright highlight.
    float dx = (x - cx) / rad, dy = (y - cy) / rad, r2 = dx * dx + dy * dy;
    float body = sdCircle(x, y, cx, cy, rad);
    if (body < 0.6f) {
      float nz = std::sqrt(std::max(0.0f, 1 - r2));
      float diff = clamp01(-0.55f * dx - 0.6f * dy + 0.58f * nz);
      float rim = std::pow(1 - nz, 3.0f) * clamp01(dx + dy) * 0.30f;
      float s = 0.06f + 0.32f * diff + rim;
      p = paint(p, body, rgb(s, s, s + 0.04f));
      float h = std::hypot(x - (cx - 4.6f), y - (cy - 4.8f));
      p = over(p, grey(1.0f, (body < 0 ? 1.0f : 0.0f) * 0.95f * (1 - smooth(std::max(1.4f, 0.6f * pxu), std::max(4.0f, 1.6f * pxu), h))));
    }
    return p;
  });
}

// ---- sound ----
std::vector<int16_t> explosion(uint32_t rate) {
  const int n = int(rate * 1.0f);
  Rng rng(0xB0035u);
  std::vector<float> s(static_cast<size_t>(n));
  float lp1 = 0, lp2 = 0, rum1 = 0, rum2 = 0, phase = 0;
  for (int i = 0; i < n; ++i) {
    float t = float(i) / rate;
    float white = rng.unit() * 2 - 1;
    // The cutoff glides down: the bright crack turns into a dull roar.
    float fc = 120 + 5800 * std::exp(-t * 5.0f);
    float a = 1 - std::exp(-2 * kPi * fc / rate);
    lp1 += a * (white - lp1);
    lp2 += a * (lp1 - lp2);
    float ar = 1 - std::exp(-2 * kPi * 90 / rate);
    rum1 += ar * (white - rum1);
    rum2 += ar * (rum1 - rum2);
    float attack = std::min(1.0f, t / 0.004f);
    float noise = lp2 * std::exp(-t / 0.20f) * 2.2f + rum2 * std::exp(-t / 0.40f) * 6.0f;
    float f = 42 + 90 * std::exp(-t * 12.0f);  // pitch drop gives the thump its punch
    phase += 2 * kPi * f / rate;
    float thump = std::sin(phase) * std::exp(-t / 0.16f);
    float crackle = (t < 0.25f && rng.unit() < 0.0025f) ? (rng.unit() * 2 - 1) * std::exp(-t / 0.08f) : 0.0f;
    s[size_t(i)] = attack * (noise + 0.75f * thump) + 0.5f * crackle;
  }
  const int tail = int(rate * 0.08f);
  for (int i = 0; i < tail; ++i) s[size_t(n - tail + i)] *= 0.5f + 0.5f * std::cos(kPi * i / tail);
  float peak = 0;
  for (float v : s) peak = std::max(peak, std::fabs(v));
  const float target = std::pow(10.0f, -3.0f / 20.0f);  // -3 dBFS leaves headroom for mixing
  std::vector<int16_t> out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out[size_t(i)] = int16_t(std::lround(s[size_t(i)] / peak * target * 32767));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  bool ok = true;
  auto step = [&](const char* name, bool r) {
    if (!r) std::fprintf(stderr, "resgen: cannot write %s%s\n", dir.c_str(), name);
    ok = ok && r;
  };
  step("back1.jpg", saveJpeg(dir + "back1.jpg", backClouds(), 90, 11));
  step("back2.jpg", saveJpeg(dir + "back2.jpg", backWaves(), 90, 12));
  step("back3.jpg", saveJpeg(dir + "back3.jpg", backCells(), 90, 13));
  step("back.jpg", saveJpeg(dir + "back.jpg", backStill(), 90, 14));
  step("block.png", savePng(dir + "block.png", block()));
  step("blockrevealed.png", savePng(dir + "blockrevealed.png", blockRevealed()));
  step("flag.png", savePng(dir + "flag.png", flag()));
  step("bomb.png", savePng(dir + "bomb.png", bomb()));
  step("clock.png", savePng(dir + "clock.png", clockIcon()));
  step("textbox.png", savePng(dir + "textbox.png", textbox()));
  step("expl.wav", saveWav(dir + "expl.wav", explosion(44100), 44100));
  // Application icons for desktop menus; the packaging installs them into the icon theme.
  std::error_code ec;
  std::filesystem::create_directories(dir + "icons", ec);
  for (int n : {16, 32, 48, 64, 128, 256}) {
    const std::string name = "icons/blastgrid-" + std::to_string(n) + ".png";
    step(name.c_str(), savePng(dir + name, appIcon(n)));
  }
  return ok ? 0 : 1;
}
