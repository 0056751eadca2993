// Picture and font decoding, display-free.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "platform/gfx.h"
#include "tests/platform/fixtures.h"

namespace bg {
namespace {
using namespace bg::test;

std::array<int, 4> At(const Image& img, int x, int y) {
  const uint8_t* p = &img.pixels.rgba[(size_t(y) * img.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

// 2x2: red, black / green, blue.
const std::vector<uint8_t> kQuad = {255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255};

std::vector<uint8_t> Noise(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  return v;
}

// One pixel of each decoded picture, by file kind and load flags.
TEST(LoadImage, PngKindsFlagsAndMasks) {
  using Px = std::array<int, 4>;
  const auto quad = TempPath("quad.png"), alpha = TempPath("alpha.png"), grey = TempPath("grey.png"),
             deep = TempPath("deep.png");
  WritePngRgb(quad, 2, 2, kQuad);
  WritePngRgba(alpha, 2, 1, {0, 0, 0, 255, 10, 20, 30, 77});
  WritePng(grey, 2, 1, PNG_COLOR_TYPE_GRAY, 8, {0, 200});
  WritePng(deep, 1, 1, PNG_COLOR_TYPE_RGB, 16, {0x12, 0x34, 0x80, 0x00, 0xFF, 0xFF});
  const int kDefault = -1;
  const struct {
    std::string path;
    int flags, x, y;
    Px want;
    bool filtered;
  } cases[] = {
      {quad, kDefault, 0, 0, {255, 0, 0, 255}, true},   {quad, kDefault, 1, 0, {0, 0, 0, 0}, true},  // black masked
      {quad, kDefault, 0, 1, {0, 255, 0, 255}, true},   {quad, kDefault, 1, 1, {0, 0, 255, 255}, true},
      {quad, IMAGE_FILTERED, 1, 0, {0, 0, 0, 255}, true}, {quad, IMAGE_MASKED, 1, 0, {0, 0, 0, 0}, false},
      {quad, 0, 1, 0, {0, 0, 0, 255}, false},           {alpha, kDefault, 0, 0, {0, 0, 0, 255}, true},  // alpha kept
      {alpha, kDefault, 1, 0, {10, 20, 30, 77}, true},  {grey, kDefault, 0, 0, {0, 0, 0, 0}, true},
      {grey, kDefault, 1, 0, {200, 200, 200, 255}, true}, {deep, kDefault, 0, 0, {0x12, 0x80, 0xFF, 255}, true},
  };
  for (const auto& c : cases) {
    auto img = c.flags == kDefault ? LoadImage(c.path) : LoadImage(c.path, c.flags);
    ASSERT_TRUE(img) << c.path;
    EXPECT_EQ(img->pixels.rgba.size(), size_t(img->width) * img->height * 4);
    EXPECT_EQ(At(*img, c.x, c.y), c.want) << c.path << " flags " << c.flags << " at " << c.x << "," << c.y;
    EXPECT_EQ(img->filtered, c.filtered) << c.path << " flags " << c.flags;
  }
  std::vector<uint8_t> rgb = Noise(13 * 11 * 3, 7);
  const auto inter = TempPath("inter.png"), flat = TempPath("flat.png");
  WritePng(inter, 13, 11, PNG_COLOR_TYPE_RGB, 8, rgb, true);
  WritePng(flat, 13, 11, PNG_COLOR_TYPE_RGB, 8, rgb, false);
  auto a = LoadImage(inter, 0), b = LoadImage(flat, 0);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pixels.rgba, b->pixels.rgba);
}

TEST(LoadImage, DetectsBySignatureNotName) {
  const auto path = TempPath("really_a_png.jpg");
  WritePngRgb(path, 2, 2, kQuad);
  EXPECT_TRUE(LoadImage(path));
  const auto jpg = TempPath("really_a_jpeg.png");
  WriteJpeg(jpg, 8, 8, std::vector<uint8_t>(8 * 8 * 3, 128));
  EXPECT_TRUE(LoadImage(jpg));
}

TEST(LoadImage, JpegDecodes) {
  std::vector<uint8_t> rgb(16 * 16 * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) { rgb[i] = 200; rgb[i + 1] = 100; rgb[i + 2] = 50; }
  const auto path = TempPath("solid.jpg");
  WriteJpeg(path, 16, 16, rgb);
  auto img = LoadImage(path);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width, 16);
  EXPECT_EQ(img->height, 16);
  const auto p = At(*img, 7, 9);
  EXPECT_NEAR(p[0], 200, 3);
  EXPECT_NEAR(p[1], 100, 3);
  EXPECT_NEAR(p[2], 50, 3);
  EXPECT_EQ(p[3], 255);
  const auto black = TempPath("black.jpg");  // black is masked unless asked
  WriteJpeg(black, 16, 16, std::vector<uint8_t>(16 * 16 * 3, 0));
  EXPECT_EQ(At(*LoadImage(black), 5, 5)[3], 0);
  EXPECT_EQ(At(*LoadImage(black, IMAGE_FILTERED), 5, 5)[3], 255);
}

TEST(LoadImage, MissingEmptyDirectoryAndDeviceGiveNull) {
  EXPECT_FALSE(LoadImage(TempPath("does_not_exist.png")));
  EXPECT_FALSE(LoadImage(TempDir()));
  const auto empty = TempPath("empty.png");
  WriteFile(empty, {});
  EXPECT_FALSE(LoadImage(empty));
  EXPECT_FALSE(LoadImage("/dev/zero"));
  const auto sig = TempPath("sig_only.png");
  WriteFile(sig, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  EXPECT_FALSE(LoadImage(sig));
}

TEST(LoadImage, EveryTruncatedPngGivesNull) {
  const auto whole = TempPath("noise.png");
  WritePngRgba(whole, 40, 30, Noise(40 * 30 * 4, 3));
  const auto bytes = ReadFile(whole);
  ASSERT_TRUE(LoadImage(whole));
  const auto cut = TempPath("cut.png");
  std::vector<size_t> cuts;
  for (size_t n = 0; n < bytes.size(); ++n)
    if (n < 200 || n % 97 == 0 || n + 40 >= bytes.size()) cuts.push_back(n);  // the tail holds IEND
  ASSERT_EQ(cuts.back(), bytes.size() - 1);
  for (size_t n : cuts) {
    WriteFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_FALSE(LoadImage(cut)) << "cut at " << n << " of " << bytes.size();
  }
}

TEST(LoadImage, CorruptPngGivesNull) {
  const auto whole = TempPath("noise2.png");
  WritePngRgb(whole, 20, 20, Noise(20 * 20 * 3, 5));
  auto bytes = ReadFile(whole);
  bytes[bytes.size() / 2] ^= 0x5A;  // inside IDAT: its CRC no longer matches
  const auto bad = TempPath("flipped.png");
  WriteFile(bad, bytes);
  EXPECT_FALSE(LoadImage(bad));
  auto garbage = Noise(4000, 9);
  garbage.insert(garbage.begin(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  WriteFile(bad, garbage);
  EXPECT_FALSE(LoadImage(bad));
}

TEST(LoadImage, JpegWithGarbageOrCutShortGivesNull) {
  std::vector<uint8_t> rgb = Noise(64 * 64 * 3, 11);
  const auto good = TempPath("noise.jpg");
  WriteJpeg(good, 64, 64, rgb, 90);
  ASSERT_TRUE(LoadImage(good));
  const auto bytes = ReadFile(good);
  const auto bad = TempPath("bad.jpg");

  auto garbage = Noise(5000, 13);
  garbage.insert(garbage.begin(), {0xFF, 0xD8, 0xFF, 0xE0});
  WriteFile(bad, garbage);
  EXPECT_FALSE(LoadImage(bad));

  for (size_t n : {size_t(3), size_t(20), bytes.size() / 3, bytes.size() / 2, bytes.size() - 400}) {
    WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_FALSE(LoadImage(bad)) << "cut at " << n;
  }
  // Garbage over the middle of the entropy-coded data.
  auto mangled = bytes;
  const auto noise = Noise(600, 17);
  std::copy(noise.begin(), noise.end(), mangled.begin() + long(bytes.size() / 2));
  WriteFile(bad, mangled);
  EXPECT_FALSE(LoadImage(bad));
}

TEST(LoadImage, SizeCapIsSixteenKSideAndSixtyFourMegapixels) {
  const auto huge = TempPath("huge.png");  // refused from the header, before any allocation
  WriteFile(huge, PngHeaderOnly(100000, 100000));
  EXPECT_FALSE(LoadImage(huge));
  // 1-bit grey keeps these valid files small.
  auto mono = [](int w, int h) {
    const auto path = TempPath("mono_" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    WritePng(path, w, h, PNG_COLOR_TYPE_GRAY, 1, std::vector<uint8_t>(size_t((w + 7) / 8) * h, 0xAA));
    return path;
  };
  auto edge = LoadImage(mono(16384, 1));
  ASSERT_TRUE(edge);
  EXPECT_EQ(At(*edge, 0, 0), (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_EQ(At(*edge, 1, 0)[3], 0);
  EXPECT_FALSE(LoadImage(mono(16385, 1)));
  EXPECT_FALSE(LoadImage(mono(1, 16385)));
  EXPECT_FALSE(LoadImage(mono(8193, 8193)));  // under the side cap, over 64 M pixels
}

TEST(LoadImageFont, RendersLatin1Smoothed) {
  const auto path = FindFont();
  ASSERT_FALSE(path.empty()) << "no TrueType font installed (scripts/deps.sh installs fonts-liberation2)";
  auto f = LoadImageFont(path, 20);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->size, 20);
  EXPECT_GT(f->ascent, 10);
  EXPECT_GT(f->descent, 0);
  EXPECT_GE(f->height, f->ascent + f->descent);
  const Glyph& h = f->glyphs[int('H')];
  EXPECT_GT(h.w, 5);
  EXPECT_GT(h.h, 10);
  EXPECT_LE(h.bearingY, f->ascent);
  EXPECT_EQ(h.bearingY, h.h);  // H sits on the baseline
  EXPECT_GT(h.advance, h.w);
  EXPECT_GT(f->glyphs[0xE9].w, 0);  // é
  EXPECT_GT(f->glyphs[int(' ')].advance, 0);
  EXPECT_EQ(f->glyphs[int(' ')].w, 0);
  EXPECT_EQ(f->glyphs[int('\n')].advance, 0);

  const Pixmap& a = f->atlas;
  ASSERT_GT(a.width, 0);
  ASSERT_EQ(a.rgba.size(), size_t(a.width) * a.height * 4);
  int partial = 0;
  for (size_t i = 0; i < a.rgba.size(); i += 4) {
    ASSERT_EQ(a.rgba[i], 255);
    ASSERT_EQ(a.rgba[i + 1], 255);
    ASSERT_EQ(a.rgba[i + 2], 255);
    partial += a.rgba[i + 3] > 0 && a.rgba[i + 3] < 255;
  }
  EXPECT_GT(partial, 100);  // anti-aliased edges

  // That every glyph lies inside the atlas is checked on every input by fuzz/fuzz_fonts.cpp.
}

TEST(LoadImageFont, BadInputGivesNull) {
  const auto path = FindFont();
  ASSERT_FALSE(path.empty());
  EXPECT_FALSE(LoadImageFont(TempPath("nofont.ttf"), 12));
  EXPECT_FALSE(LoadImageFont(path, 0));
  EXPECT_FALSE(LoadImageFont(path, 100000));
  EXPECT_FALSE(LoadImageFont(TempDir(), 12));
  const auto bad = TempPath("garbage.ttf");
  WriteFile(bad, Noise(20000, 21));
  EXPECT_FALSE(LoadImageFont(bad, 12));
  const auto bytes = ReadFile(path);
  for (size_t n : {size_t(0), size_t(12), size_t(500), bytes.size() / 10}) {
    WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_FALSE(LoadImageFont(bad, 12)) << "cut at " << n;
  }
}

}  // namespace
}  // namespace bg
