// Font loading from an untrusted file. The last byte picks the pixel size and style, so the
// rest of the input is the font file itself. A font that loads must keep every glyph inside
// its atlas, because drawing copies glyphs out of it without further checks.
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/gfx.h"

// Big fonts render hundreds of glyphs per input; the cap keeps every input fast.
static constexpr size_t kMaxInput = 256 * 1024;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bg;
  if (size < 1 || size > kMaxInput) return 0;
  const uint8_t pick = data[size - 1];
  const int px = 1 + (pick & 31);
  const int style = (pick >> 5) & 7;
  const std::string path = fuzz::WriteScratch("in.font", data, size - 1);
  FontRef f = LoadImageFont(path, px, style);
  if (!f) return 0;
  const Pixmap& a = f->atlas;
  fuzz::Check(a.width >= 0 && a.height >= 0, "negative atlas size");
  fuzz::Check(a.rgba.size() == size_t(a.width) * size_t(a.height) * 4, "atlas buffer size");
  for (const Glyph& g : f->glyphs) {
    fuzz::Check(g.w >= 0 && g.h >= 0 && g.x >= 0 && g.y >= 0, "negative glyph rectangle");
    if (g.w == 0 || g.h == 0) continue;
    fuzz::Check(g.x + g.w <= a.width && g.y + g.h <= a.height, "glyph outside the atlas");
  }
  return 0;
}
