// Latin-1 bitmap fonts rendered once with FreeType into one atlas.
#include <algorithm>
#include <filesystem>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include "platform/gfx.h"

namespace bg {
namespace {

// style bits, as the game passes them
constexpr int kBold = 1, kItalic = 2, kSmooth = 4;
// Larger sizes would only make an atlas nobody can draw legibly anyway.
constexpr int kMaxFontSize = 256;
constexpr int kFirst = 32, kLast = 255;

struct FtLibrary {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  ~FtLibrary() {
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
  }
};

struct Bits {
  int w = 0, h = 0;
  std::vector<uint8_t> coverage;
};

// 26.6 fixed point to whole pixels, rounded, without overflow on hostile values.
int Px(FT_Pos v, int limit) {
  const FT_Pos px = (v >> 6) + ((v & 63) >= 32 ? 1 : 0);
  return int(std::clamp<FT_Pos>(px, -limit, limit));
}

FontRef Build(const std::string& path, int size, int style) {
  if (size < 1 || size > kMaxFontSize) return nullptr;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  FtLibrary ft;
  if (FT_Init_FreeType(&ft.lib) || FT_New_Face(ft.lib, path.c_str(), 0, &ft.face)) return nullptr;
  FT_Select_Charmap(ft.face, FT_ENCODING_UNICODE);  // Latin-1 codes are the first 256 code points
  if (FT_Set_Pixel_Sizes(ft.face, 0, FT_UInt(size))) return nullptr;

  // A hostile font can claim giant outlines; no honest glyph is this big.
  const int limit = 2 * size + 16;
  auto font = std::make_shared<ImageFont>();
  font->size = size;
  const FT_Size_Metrics& m = ft.face->size->metrics;
  font->ascent = std::max(0, Px(m.ascender, limit));
  font->descent = std::max(0, Px(-m.descender, limit));
  font->height = std::max(Px(m.height, limit), font->ascent + font->descent);

  std::vector<Bits> bits(256);
  long long area = 0;
  int widest = 0, drawn = 0;
  const FT_Render_Mode mode = (style & kSmooth) ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
  for (int c = kFirst; c <= kLast; ++c) {
    const FT_UInt index = FT_Get_Char_Index(ft.face, FT_ULong(c));
    if (index == 0 || FT_Load_Glyph(ft.face, index, FT_LOAD_DEFAULT)) continue;
    FT_GlyphSlot slot = ft.face->glyph;
    if (slot->metrics.width > (FT_Pos(limit) << 6) || slot->metrics.height > (FT_Pos(limit) << 6)) continue;
    if (style & kBold) FT_GlyphSlot_Embolden(slot);
    if (style & kItalic) FT_GlyphSlot_Oblique(slot);
    if (FT_Render_Glyph(slot, mode)) continue;
    const FT_Bitmap& bm = slot->bitmap;
    const int w = int(bm.width), h = int(bm.rows);
    if (w > limit || h > limit) continue;
    if (w > 0 && bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) continue;
    Glyph& g = font->glyphs[c];
    g.w = w;
    g.h = h;
    g.bearingX = std::clamp(slot->bitmap_left, -limit, limit);
    g.bearingY = std::clamp(slot->bitmap_top, -limit, limit);
    g.advance = std::max(0, Px(slot->advance.x, limit));
    Bits& b = bits[c];
    b.w = w;
    b.h = h;
    b.coverage.resize(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
      const unsigned char* row = bm.buffer + (bm.pitch >= 0 ? y : y - h + 1) * bm.pitch;
      for (int x = 0; x < w; ++x) {
        const int v = bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255
                                                          : row[x] * 255 / std::max(1, int(bm.num_grays) - 1);
        b.coverage[size_t(y) * w + x] = uint8_t(std::min(v, 255));
      }
    }
    area += (w + 1LL) * (h + 1LL);
    widest = std::max(widest, w + 2);
    if (w > 0) ++drawn;
  }
  if (drawn == 0 || area > (16LL << 20)) return nullptr;

  // Shelf packing, one pixel apart so smoothing never picks up a neighbour.
  int aw = 64;
  while (aw < widest || 1LL * aw * aw < area + area / 4) aw *= 2;
  int x = 1, y = 1, shelf = 0;
  for (int c = kFirst; c <= kLast; ++c) {
    Glyph& g = font->glyphs[c];
    if (g.w == 0) continue;
    if (x + g.w + 1 > aw) {
      x = 1;
      y += shelf + 1;
      shelf = 0;
    }
    g.x = x;
    g.y = y;
    x += g.w + 1;
    shelf = std::max(shelf, g.h);
  }
  Pixmap& atlas = font->atlas;
  atlas.width = aw;
  atlas.height = y + shelf + 1;
  atlas.rgba.assign(size_t(atlas.width) * atlas.height * 4, 255);
  for (size_t i = 3; i < atlas.rgba.size(); i += 4) atlas.rgba[i] = 0;
  for (int c = kFirst; c <= kLast; ++c) {
    const Glyph& g = font->glyphs[c];
    for (int gy = 0; gy < g.h; ++gy)
      for (int gx = 0; gx < g.w; ++gx)
        atlas.rgba[(size_t(g.y + gy) * aw + g.x + gx) * 4 + 3] = bits[c].coverage[size_t(gy) * g.w + gx];
  }
  return font;
}
}  // namespace

FontRef LoadImageFont(const std::string& path, int size, int style) {
  try {
    return Build(path, size, style);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace bg
