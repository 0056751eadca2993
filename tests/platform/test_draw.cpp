// The batching layer without a GPU: geometry, colours, batches, ordering.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
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

struct Event {
  enum Kind { Draw, Clip, Clear } kind = Draw;
  const Pixmap* tex = nullptr;
  int blend = 0;
  std::vector<Vertex> v;
  int clip[4] = {};
  int rgb[3] = {};
};

class RecordingSink : public DrawSink {
 public:
  void Draw(const TexSource& tex, int blend, const Vertex* v, int quads) override {
    Event e;
    e.kind = Event::Draw;
    e.tex = tex.pixels;
    e.blend = blend;
    e.v.assign(v, v + quads * 4);
    events.push_back(std::move(e));
  }
  void Clip(int x, int y, int w, int h) override {
    Event e;
    e.kind = Event::Clip;
    e.clip[0] = x; e.clip[1] = y; e.clip[2] = w; e.clip[3] = h;
    events.push_back(std::move(e));
  }
  void Clear(uint8_t r, uint8_t g, uint8_t b) override {
    Event e;
    e.kind = Event::Clear;
    e.rgb[0] = r; e.rgb[1] = g; e.rgb[2] = b;
    events.push_back(std::move(e));
  }
  std::vector<Event> events;
  std::vector<Vertex> AllVertices() const {
    std::vector<Vertex> all;
    for (const auto& e : events) all.insert(all.end(), e.v.begin(), e.v.end());
    return all;
  }
};

Image MakeImage(int w, int h) {
  Image img;
  img.width = img.pixels.width = w;
  img.height = img.pixels.height = h;
  img.pixels.rgba.assign(size_t(w) * h * 4, 255);
  return img;
}

void ExpectAt(const Vertex& v, float x, float y) {
  EXPECT_NEAR(v.x, x, 1e-4f);
  EXPECT_NEAR(v.y, y, 1e-4f);
}

class Draw : public ::testing::Test {
 protected:
  RecordingSink sink;
  BatchGfx g{&sink};
  std::vector<Vertex> Flush() {
    g.Flip();
    return sink.AllVertices();
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
    sink.events.clear();
    g.SetScale(1, 1);
    g.SetOrigin(0, 0);
    g.SetRotation(0);
    g.SetPolygonMode(GL_MODE_FILL);
    c.draw();
    const auto v = Flush();
    ASSERT_EQ(v.size(), c.count) << c.what;
    for (auto [i, x, y] : c.at) {
      EXPECT_NEAR(v[i].x, x, 1e-4f) << c.what << ", vertex " << i;
      EXPECT_NEAR(v[i].y, y, 1e-4f) << c.what << ", vertex " << i;
    }
  }
}

TEST_F(Draw, ColourAndAlphaAreClampedWhenDrawnButNotWhenRead) {
  g.SetColor(300, -5, 128);
  g.SetAlpha(1.7f);
  g.DrawRect(0, 0, 1, 1);
  g.SetAlpha(-0.3f);
  g.DrawRect(0, 0, 1, 1);
  g.SetAlpha(0.5f);
  g.DrawRect(0, 0, 1, 1);
  g.SetAlpha(std::nanf(""));
  g.DrawRect(0, 0, 1, 1);
  const auto v = Flush();
  ASSERT_EQ(v.size(), 16u);
  EXPECT_EQ(v[0].rgba[0], 255);
  EXPECT_EQ(v[0].rgba[1], 0);
  EXPECT_EQ(v[0].rgba[2], 128);
  EXPECT_EQ(v[0].rgba[3], 255);
  EXPECT_EQ(v[4].rgba[3], 0);
  EXPECT_EQ(v[8].rgba[3], 128);
  EXPECT_EQ(v[12].rgba[3], 0);
  int r, gg, b;
  g.GetColor(r, gg, b);
  EXPECT_EQ(r, 300);
  EXPECT_EQ(gg, -5);
  EXPECT_EQ(b, 128);
  g.SetAlpha(1.7f);
  EXPECT_FLOAT_EQ(g.GetAlpha(), 1.7f);
}

TEST_F(Draw, ConsecutiveDrawsOfOneTextureAndBlendShareABatch) {
  Image a = MakeImage(2, 2), b = MakeImage(2, 2);
  g.SetBlend(ALPHABLEND);
  for (int i = 0; i < 100; ++i) {
    g.SetColor(i, 255 - i, 7);
    g.SetAlpha(i / 100.0f);
    g.DrawImage(&a, float(i), 0);
  }
  g.Flip();
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].v.size(), 400u);
  EXPECT_EQ(sink.events[0].tex, &a.pixels);
  EXPECT_EQ(sink.events[0].blend, ALPHABLEND);

  sink.events.clear();
  for (int i = 0; i < 10; ++i) g.DrawImage(i % 2 ? &a : &b, 0, 0);
  g.Flip();
  EXPECT_EQ(sink.events.size(), 10u);

  sink.events.clear();
  g.DrawImage(&a, 0, 0);
  g.SetBlend(LIGHTBLEND);
  g.DrawImage(&a, 0, 0);
  g.DrawRect(0, 0, 1, 1);
  g.DrawLine(0, 0, 1, 1);
  g.Flip();
  ASSERT_EQ(sink.events.size(), 3u);
  EXPECT_EQ(sink.events[1].blend, LIGHTBLEND);
  EXPECT_EQ(sink.events[2].tex, nullptr);
  EXPECT_EQ(sink.events[2].v.size(), 8u);
}

TEST_F(Draw, FullBufferIsSentAndStartedAgain) {
  for (int i = 0; i < Batcher::kMaxQuads + 5; ++i) g.DrawRect(0, 0, 1, 1);
  g.Flip();
  ASSERT_EQ(sink.events.size(), 2u);
  EXPECT_EQ(sink.events[0].v.size(), size_t(Batcher::kMaxQuads) * 4);
  EXPECT_EQ(sink.events[1].v.size(), 20u);
}

TEST_F(Draw, ClsAndViewportKeepDrawingOrder) {
  g.DrawRect(0, 0, 1, 1);
  g.SetClsColor(300, 20, -1);
  g.Cls();
  g.DrawRect(0, 0, 1, 1);
  g.SetViewport(1, 2, 3, 4);
  g.Flip();
  ASSERT_EQ(sink.events.size(), 4u);
  EXPECT_EQ(sink.events[0].kind, Event::Draw);
  EXPECT_EQ(sink.events[1].kind, Event::Clear);
  EXPECT_EQ(sink.events[1].rgb[0], 255);
  EXPECT_EQ(sink.events[1].rgb[1], 20);
  EXPECT_EQ(sink.events[1].rgb[2], 0);
  EXPECT_EQ(sink.events[2].kind, Event::Draw);
  EXPECT_EQ(sink.events[3].kind, Event::Clip);
  EXPECT_EQ(sink.events[3].clip[3], 4);
  int x, y, w, h;
  g.GetViewport(x, y, w, h);
  EXPECT_EQ(x + y + w + h, 10);
}

TEST_F(Draw, OutlineIsFourOnePixelStripsCoveringTheBorderOnce) {
  g.SetPolygonMode(GL_MODE_LINE);
  g.DrawRect(20, 20, 10, 8);
  const auto v = Flush();
  ASSERT_EQ(v.size(), 16u);
  float covered = 0;
  for (size_t q = 0; q < 16; q += 4) {
    const float minX = std::min(v[q].x, v[q + 2].x), maxX = std::max(v[q].x, v[q + 2].x);
    const float minY = std::min(v[q].y, v[q + 2].y), maxY = std::max(v[q].y, v[q + 2].y);
    EXPECT_TRUE(minX >= 20 && maxX <= 30 && minY >= 20 && maxY <= 28 && (maxX - minX == 1 || maxY - minY == 1));
    covered += (maxX - minX) * (maxY - minY);
  }
  EXPECT_EQ(covered, 2 * 10 + 2 * 6);  // the border pixels, each once
}

ImageFont MakeFont() {
  ImageFont f;
  f.size = 10;
  f.ascent = 8;
  f.descent = 2;
  f.height = 11;
  f.atlas.width = 16;
  f.atlas.height = 16;
  f.atlas.rgba.assign(16 * 16 * 4, 255);
  f.glyphs[int('A')] = Glyph{1, 1, 5, 7, 1, 7, 6};
  f.glyphs[0xE9] = Glyph{7, 1, 4, 8, 0, 8, 5};
  f.glyphs[int('?')] = Glyph{1, 9, 3, 6, 0, 6, 4};
  f.glyphs[int(' ')] = Glyph{0, 0, 0, 0, 0, 0, 3};
  return f;
}

TEST_F(Draw, TextTopLeftIsThePositionAndBaselineFollowsTheScale) {
  ImageFont f = MakeFont();
  g.SetImageFont(&f);
  g.DrawText("A A", 100, 50);
  auto v = Flush();
  ASSERT_EQ(v.size(), 8u);
  ExpectAt(v[0], 101, 51);  // baseline 58, glyph top 7 above it
  ExpectAt(v[2], 106, 58);
  ExpectAt(v[4], 110, 51);  // pen moved by 6 + 3
  EXPECT_NEAR(v[0].u, 1 / 16.0f, 1e-6f);
  EXPECT_NEAR(v[2].v, 8 / 16.0f, 1e-6f);

  sink.events.clear();
  g.SetScale(2, 2);
  g.DrawText("A", 100, 50);
  v = Flush();
  ASSERT_EQ(v.size(), 4u);
  ExpectAt(v[0], 102, 52);
  ExpectAt(v[2], 112, 66);  // baseline at 50 + 8 * 2
}

TEST_F(Draw, TextIsUtf8ShownInLatin1AndNothingToDrawIsHarmless) {
  ImageFont f = MakeFont();
  g.SetImageFont(&f);
  g.DrawText("\xC3\xA9\xE2\x82\xAC", 0, 0);  // é then €, which Latin-1 lacks
  const auto v = Flush();
  ASSERT_EQ(v.size(), 8u);
  EXPECT_NEAR(v[0].u, 7 / 16.0f, 1e-6f);  // é
  EXPECT_NEAR(v[4].u, 1 / 16.0f, 1e-6f);  // ?
  EXPECT_NEAR(v[4].v, 9 / 16.0f, 1e-6f);
  ExpectAt(v[4], 5, 2);
  sink.events.clear();
  g.DrawImage(nullptr, 0, 0);
  g.SetImageFont(nullptr);
  g.DrawText("abc", 0, 0);
  Image empty;
  g.DrawImage(&empty, 0, 0);
  EXPECT_TRUE(Flush().empty());
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
