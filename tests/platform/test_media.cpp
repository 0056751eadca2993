// Picture and font decoding, display-free.
#include <gtest/gtest.h>

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

std::vector<uint8_t> Noise(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  return v;
}

// Missing, empty, cut short, corrupt or garbage: no picture, no crash.
TEST(LoadImage, BadFilesGiveNull) {
  for (const std::string& path : {TempPath("does_not_exist.png"), TempDir(), std::string("/dev/zero")})
    EXPECT_FALSE(LoadImage(path)) << path;
  const auto png = TempPath("noise.png"), jpg = TempPath("noise.jpg"), bad = TempPath("bad");
  WritePicture(png, 40, 30, 4, Noise(40 * 30 * 4, 3));
  WritePicture(jpg, 64, 64, 3, Noise(64 * 64 * 3, 11), 90);
  ASSERT_TRUE(LoadImage(png) && LoadImage(jpg));  // whole, both decode (masking is checked on screen in test_gl)
  const auto pngBytes = ReadFile(png), jpgBytes = ReadFile(jpg);
  std::vector<std::vector<uint8_t>> files;
  for (size_t n = 0; n < pngBytes.size(); ++n)  // every cut near the start and in the tail, which holds IEND
    if (n < 200 || n % 97 == 0 || n + 40 >= pngBytes.size()) files.emplace_back(pngBytes.begin(), pngBytes.begin() + long(n));
  for (size_t n : {size_t(3), size_t(20), jpgBytes.size() / 3, jpgBytes.size() - 400})
    files.emplace_back(jpgBytes.begin(), jpgBytes.begin() + long(n));
  files.push_back(pngBytes);
  files.back()[pngBytes.size() / 2] ^= 0x5A;  // inside IDAT: its CRC no longer matches
  files.push_back(jpgBytes);
  const auto noise = Noise(600, 17);  // over the entropy-coded data
  std::copy(noise.begin(), noise.end(), files.back().begin() + long(jpgBytes.size() / 2));
  for (std::vector<uint8_t> head : {std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
                                    std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0}}) {
    files.push_back(head);
    const auto garbage = Noise(4000, 9);
    files.back().insert(files.back().end(), garbage.begin(), garbage.end());
  }
  for (size_t i = 0; i < files.size(); ++i) {
    WriteFile(bad, files[i]);
    EXPECT_FALSE(LoadImage(bad)) << "bad file " << i << " of " << files[i].size() << " bytes";
  }
}

TEST(LoadImage, SizeCapIsSixteenKSideAndSixtyFourMegapixels) {
  const auto huge = TempPath("huge.png");  // refused from the header, before any allocation
  WriteFile(huge, PngHeaderOnly(100000, 100000));
  EXPECT_FALSE(LoadImage(huge));
  // 1-bit pixels keep these valid files small.
  auto mono = [](int w, int h) {
    const auto path = TempPath("mono_" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    WriteMonoPng(path, w, h);
    return path;
  };
  auto edge = LoadImage(mono(16384, 1));
  ASSERT_TRUE(edge);
  EXPECT_EQ(At(*edge, 0, 0), (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_EQ(At(*edge, 1, 0)[3], 0);
  for (auto [w, h] : {std::pair{16385, 1}, {1, 16385}, {8193, 8193}})  // the last only over 64 M pixels
    EXPECT_FALSE(LoadImage(mono(w, h))) << w << "x" << h;
}

// Glyph bounds inside the atlas are checked on every input by fuzz/fuzz_fonts.cpp.
TEST(LoadImageFont, RendersLatin1SmoothedAndRefusesBadInput) {
  const auto path = FindFont();
  ASSERT_FALSE(path.empty()) << "no TrueType font installed (scripts/deps.sh installs fonts-liberation2)";
  auto f = LoadImageFont(path, 20);
  ASSERT_TRUE(f);
  const Glyph& h = f->glyphs[int('H')];
  EXPECT_TRUE(f->ascent > 10 && f->descent > 0 && f->height >= f->ascent + f->descent);
  EXPECT_TRUE(h.w > 5 && h.bearingY == h.h && h.advance > h.w);  // H sits on the baseline
  EXPECT_TRUE(f->glyphs[0xE9].w > 0 && f->glyphs[int(' ')].advance > 0 && f->glyphs[int('\n')].advance == 0);
  int partial = 0;
  for (size_t i = 0; i < f->atlas.rgba.size(); i += 4) {
    ASSERT_EQ(f->atlas.rgba[i] + f->atlas.rgba[i + 1] + f->atlas.rgba[i + 2], 3 * 255);
    partial += f->atlas.rgba[i + 3] > 0 && f->atlas.rgba[i + 3] < 255;
  }
  EXPECT_GT(partial, 100);  // anti-aliased edges

  for (auto [file, size] : {std::pair{TempPath("nofont.ttf"), 12}, {path, 0}, {path, 100000}, {TempDir(), 12}})
    EXPECT_FALSE(LoadImageFont(file, size)) << file << " at " << size;
  const auto bad = TempPath("garbage.ttf");
  const auto bytes = ReadFile(path);
  for (size_t n : {size_t(0), size_t(500), bytes.size() / 10}) {
    WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
    EXPECT_FALSE(LoadImageFont(bad, 12)) << "cut at " << n;
  }
}

}  // namespace
}  // namespace bg
