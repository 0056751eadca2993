// The batching layer without a GPU: geometry, colours, batches, ordering.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <new>

#include "platform/backends/batch_gfx.h"

// Counts heap allocations so the steady state can be shown to make none.
// GCC cannot see that these replacements pair malloc with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long> gAllocations{0};
void* operator new(std::size_t n) {
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace bg {
namespace {

// Keeps the vertices of each batch it is sent.
class RecordingSink : public DrawSink {
 public:
  void Draw(const TexSource&, int, const Vertex* v, int quads) override { batches.emplace_back(v, v + quads * 4); }
  void Clip(int, int, int, int) override {}
  void Clear(uint8_t, uint8_t, uint8_t) override {}
  std::vector<std::vector<Vertex>> batches;
};

Image MakeImage(int w, int h) {
  return Image{w, h, {w, h, std::vector<uint8_t>(size_t(w) * h * 4, 255)}, true, nullptr};
}

class Draw : public ::testing::Test {
 protected:
  RecordingSink sink;
  BatchGfx g{&sink};
  std::vector<Vertex> Flush() {
    g.Flip();
    std::vector<Vertex> all;
    for (const auto& b : sink.batches) all.insert(all.end(), b.begin(), b.end());
    return all;
  }
};

// Each case draws one thing and names some of the vertices that must come out.
TEST_F(Draw, GeometryOfImagesRectanglesOutlinesAndLines) {
  Image img = MakeImage(4, 3), tall = MakeImage(8, 4);
  const struct {
    const char* what;
    std::function<void()> draw;
    size_t count;
    std::vector<std::tuple<size_t, float, float>> at;  // vertex index, x, y
  } cases[] = {
      {"an image scales from its position, which is not scaled",
       [&] { g.SetScale(2, 2), g.DrawImage(&img, 10, 10); }, 4, {{0, 10, 10}, {1, 18, 10}, {2, 18, 16}, {3, 10, 16}}},
      {"the origin is added to every position",
       [&] { g.SetOrigin(5, 7), g.DrawImage(&img, 10, 10), g.DrawRect(1, 2, 3, 4), g.DrawLine(0, 0, 10, 0); }, 12,
       {{0, 15, 17}, {4, 6, 9}, {6, 9, 13}, {8, 5, 7}, {10, 16, 8}}},  // the line runs through pixel centres, ends included
      {"rotation turns clockwise about the top-left corner",
       [&] { g.SetRotation(90), g.SetScale(2, 1), g.DrawImage(&tall, 40, 40); }, 4,
       {{0, 40, 40}, {1, 40, 56}, {2, 36, 56}, {3, 36, 40}}},
      {"an outline stays one pixel wide when scaled",
       [&] { g.SetPolygonMode(GL_MODE_LINE), g.SetScale(4, 2), g.DrawRect(0, 0, 10, 10); }, 16,
       {{2, 40, 1}, {4, 0, 19}, {10, 1, 19}}},
      {"a line is neither scaled nor rotated",
       [&] { g.SetScale(3, 3), g.SetRotation(45), g.DrawLine(10, 50, 20, 50); }, 4, {{0, 10, 50}, {2, 21, 51}}},
  };
  for (const auto& c : cases) {
    sink.batches.clear();
    g = BatchGfx(&sink);  // each case from a fresh context
    c.draw();
    const auto v = Flush();
    ASSERT_EQ(v.size(), c.count) << c.what;
    for (auto [i, x, y] : c.at) {
      EXPECT_NEAR(v[i].x, x, 1e-4f) << c.what << ", vertex " << i;
      EXPECT_NEAR(v[i].y, y, 1e-4f) << c.what << ", vertex " << i;
    }
  }
}

TEST_F(Draw, OneTextureAndBlendShareABatchAndAFullBufferIsSent) {
  Image a = MakeImage(2, 2), b = MakeImage(2, 2);
  for (int i = 0; i < 100; ++i) g.SetColor(i, 0, 7), g.SetAlpha(i / 100.0f), g.DrawImage(&a, float(i), 0);
  g.DrawImage(&b, 0, 0);
  for (int i = 0; i < Batcher::kMaxQuads + 5; ++i) g.DrawRect(0, 0, 1, 1);
  g.Flip();
  ASSERT_EQ(sink.batches.size(), 4u);
  EXPECT_EQ(sink.batches[0].size(), 400u);
  EXPECT_EQ(sink.batches[2].size(), size_t(Batcher::kMaxQuads) * 4);
  EXPECT_EQ(sink.batches[3].size(), 20u);
}

TEST_F(Draw, NothingToDrawIsHarmless) {
  Image empty;
  g.DrawImage(nullptr, 0, 0);
  g.DrawImage(&empty, 0, 0);
  g.DrawText("abc", 0, 0);  // no font
  EXPECT_TRUE(Flush().empty());
}

ImageFont MakeFont() {
  ImageFont f{10, 8, 2, 11, {}, {16, 16, std::vector<uint8_t>(16 * 16 * 4, 255)}, nullptr};
  f.glyphs[int('A')] = Glyph{1, 1, 5, 7, 1, 7, 6};
  f.glyphs[int('?')] = Glyph{1, 9, 3, 6, 0, 6, 4};  // what stands for every glyph the font lacks
  f.glyphs[int(' ')] = Glyph{0, 0, 0, 0, 0, 0, 3};
  return f;
}

TEST(DrawSteadyState, MakesNoAllocations) {
  NullSink sink;
  BatchGfx g(&sink);
  Image img = MakeImage(14, 14);
  ImageFont f = MakeFont();
  g.SetImageFont(&f);
  const std::string line = "A long line of text, much longer than any small string buffer";
  auto frame = [&] {
    for (int i = 0; i < 20000; ++i) {
      g.SetColor(i & 255, 0, 0);
      g.SetAlpha(float(i % 10) / 10.0f);
      g.SetBlend(i % 1000 == 0 ? ALPHABLEND : SOLIDBLEND);
      g.DrawImage(&img, float(i % 1280), float(i % 1024));
      if (i % 100 == 0) {
        g.DrawRect(0, 0, 5, 5);
        g.DrawText(line, 0, 0);
      }
    }
    g.Cls();
    g.Flip();
  };
  frame();
  const long before = gAllocations.load();
  frame();
  EXPECT_EQ(gAllocations.load() - before, 0);
  EXPECT_GT(sink.quads, 40000);
}

}  // namespace
}  // namespace bg
