// OpenGL output read back from the framebuffer. Runs under Xvfb (Mesa llvmpipe).
#include <gtest/gtest.h>

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <array>
#include <cmath>
#include <tuple>

#include "platform/backends/gl_gfx.h"
#include "tests/platform/fixtures.h"

static QOffscreenSurface* surface = nullptr;  // made in main, with the application
static QOpenGLContext* ctx = nullptr;

namespace bg {
namespace {
using namespace bg::test;
using Rgb = std::array<int, 3>;

constexpr int W = 128, H = 128;

Image Solid(int w, int h, std::initializer_list<std::array<uint8_t, 4>> px, bool filtered = false) {
  Image img{w, h, {w, h, {}}, filtered, nullptr};
  for (const auto& p : px) img.pixels.rgba.insert(img.pixels.rgba.end(), p.begin(), p.end());
  img.pixels.rgba.resize(size_t(w) * h * 4, 255);
  return img;
}

::testing::AssertionResult Near(const Rgb& got, const Rgb& want, int tol = 2) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[i] - want[i]) > tol)
      return ::testing::AssertionFailure() << "got (" << got[0] << "," << got[1] << "," << got[2] << ") want ("
                                           << want[0] << "," << want[1] << "," << want[2] << ")";
  return ::testing::AssertionSuccess();
}

class Gl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ctx->isValid() && ctx->makeCurrent(surface));
    fbo = std::make_unique<QOpenGLFramebufferObject>(W, H);
    ASSERT_TRUE(fbo->bind());
    ASSERT_TRUE(gfx.InitGL());
    Frame();
  }
  void TearDown() override {
    ctx->makeCurrent(surface);
    gfx.ReleaseGL();
    fbo.reset();
    SetGraphics(nullptr);
  }

  void Frame(float dpr = 1) {
    gfx.BeginFrame(W, H, dpr);
    SetGraphics(&gfx);
  }
  // Ends the frame and reads the framebuffer back.
  void Read() {
    gfx.EndFrame();
    pixels.resize(size_t(W) * H * 4);
    ctx->functions()->glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
  // Top-left origin, device pixels.
  Rgb Px(int x, int y) const {
    const uint8_t* p = &pixels[(size_t(H - 1 - y) * W + x) * 4];
    return {p[0], p[1], p[2]};
  }
  bool Lit(int x, int y) const { return Px(x, y) != Rgb{0, 0, 0}; }
  void Background(int r, int g, int b) {
    gfx.SetClsColor(r, g, b);
    gfx.Cls();
  }
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  GlGfx gfx;
  std::vector<uint8_t> pixels;
};

// One rectangle per case over a plain background; the probe is inside it.
TEST_F(Gl, BlendModesColourAndAlphaClamping) {
  const double a = 64 / 255.0;
  const struct {
    int blend;
    Rgb back, colour;
    float alpha;
    Rgb want;
    int tol;
  } cases[] = {
      {SOLIDBLEND, {10, 20, 30}, {200, 100, 50}, 0.5f, {200, 100, 50}, 0},  // alpha ignored
      {ALPHABLEND, {100, 100, 100}, {200, 50, 0}, 0.25f,
       {int(200 * a + 100 * (1 - a) + 0.5), int(50 * a + 100 * (1 - a) + 0.5), int(100 * (1 - a) + 0.5)}, 2},
      {LIGHTBLEND, {100, 100, 100}, {100, 200, 50}, 0.5f, {150, 200, 125}, 2},
      {LIGHTBLEND, {100, 100, 100}, {200, 200, 200}, 1.0f, {255, 255, 255}, 0},
      {SHADEBLEND, {200, 100, 50}, {128, 255, 64}, 0.3f, {100, 100, 13}, 2},  // multiplies, alpha ignored
      {SOLIDBLEND, {0, 0, 255}, {300, -5, 128}, 1.0f, {255, 0, 128}, 0},      // colours clamped when drawn
      {ALPHABLEND, {0, 0, 255}, {255, 255, 255}, 1.7f, {255, 255, 255}, 0},
      {ALPHABLEND, {0, 0, 255}, {255, 255, 255}, -0.3f, {0, 0, 255}, 0},
  };
  for (const auto& c : cases) {
    if (&c != cases) Frame();
    Background(c.back[0], c.back[1], c.back[2]);
    gfx.SetBlend(c.blend);
    gfx.SetColor(c.colour[0], c.colour[1], c.colour[2]);
    gfx.SetAlpha(c.alpha);
    gfx.DrawRect(10, 10, 20, 20);
    Read();
    EXPECT_TRUE(Near(Px(15, 15), c.want, c.tol)) << "blend " << c.blend << " alpha " << c.alpha;
    EXPECT_TRUE(Near(Px(5, 5), c.back, 0));
  }
}

TEST_F(Gl, MaskBlendDropsAlphaBelowHalfAndDrawsTheRestSolid) {
  Image img = Solid(2, 1, {{255, 0, 0, 100}, {0, 255, 0, 200}});
  Background(0, 0, 255);
  gfx.SetBlend(MASKBLEND);
  gfx.SetScale(10, 10);
  gfx.DrawImage(&img, 0, 0);
  gfx.SetAlpha(0.4f);  // 200/255 * 0.4 < 0.5: dropped as well
  gfx.DrawImage(&img, 0, 20);
  Read();
  for (auto [x, y, want] : {std::tuple{5, 5, Rgb{0, 0, 255}}, {15, 5, Rgb{0, 255, 0}}, {15, 25, Rgb{0, 0, 255}}})
    EXPECT_TRUE(Near(Px(x, y), want, 0)) << x << "," << y;
}

// Geometry (scale, origin, rotation, outlines, lines) is checked on the vertices in test_draw;
// here what only the GPU decides: blending, clipping, device pixels, textures and contexts.
TEST_F(Gl, ClsFollowsTheViewportAndDevicePixelRatioScales) {
  Background(0, 0, 0);
  gfx.SetViewport(10, 10, 20, 20);
  Background(255, 0, 0);  // clears the viewport only
  gfx.SetColor(0, 255, 0);
  gfx.DrawRect(25, 25, 100, 100);
  Read();
  EXPECT_TRUE(Near(Px(15, 15), {255, 0, 0}, 0));
  EXPECT_TRUE(Near(Px(29, 29), {0, 255, 0}, 0));
  for (auto [x, y] : {std::pair{30, 29}, {29, 30}, {9, 15}, {50, 50}}) EXPECT_TRUE(Near(Px(x, y), {0, 0, 0}, 0));
  Frame(2.0f);
  Background(0, 0, 0);
  gfx.SetColor(255, 255, 255);
  gfx.DrawRect(5, 5, 10, 10);
  gfx.SetViewport(40, 0, 10, 10);
  gfx.DrawRect(0, 0, 64, 64);
  Read();
  for (auto [x, y] : {std::pair{10, 10}, {29, 29}, {80, 0}, {99, 19}}) EXPECT_TRUE(Lit(x, y)) << x << "," << y;
  for (auto [x, y] : {std::pair{9, 20}, {30, 20}, {79, 5}, {100, 5}, {85, 20}}) EXPECT_FALSE(Lit(x, y)) << x << "," << y;
}

TEST_F(Gl, MaskedPictureShowsTheBackgroundThroughBlack) {
  const auto path = TempPath("gl_quad.png");
  WritePicture(path, 2, 2, 3, {255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255});
  auto masked = LoadImage(path, IMAGE_MASKED);
  auto plain = LoadImage(path, 0);
  ASSERT_TRUE(masked && plain);
  Background(50, 50, 50);
  gfx.SetBlend(ALPHABLEND);
  gfx.SetScale(10, 10);
  gfx.DrawImage(masked.get(), 0, 0);
  gfx.DrawImage(plain.get(), 40, 0);
  gfx.SetBlend(MASKBLEND);
  gfx.DrawImage(masked.get(), 80, 0);
  Read();
  for (auto [x, y, want] : {std::tuple{5, 5, Rgb{255, 0, 0}}, {15, 5, Rgb{50, 50, 50}}, {5, 15, Rgb{0, 255, 0}},
                            {55, 5, Rgb{0, 0, 0}}, {95, 5, Rgb{50, 50, 50}}, {95, 15, Rgb{0, 0, 255}}})
    EXPECT_TRUE(Near(Px(x, y), want, 0)) << x << "," << y;
}

TEST_F(Gl, FilteredPicturesBlendUnfilteredKeepHardEdges) {
  Image smooth = Solid(2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}}, true);
  Image hard = Solid(2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}}, false);
  Background(0, 0, 0);
  gfx.SetBlend(SOLIDBLEND);
  gfx.SetScale(32, 16);
  gfx.DrawImage(&smooth, 0, 0);
  gfx.DrawImage(&hard, 0, 32);
  Read();
  int between = 0, steps = 0;
  for (int x = 0; x < 64; ++x) {
    between += Px(x, 8)[0] > 20 && Px(x, 8)[0] < 235;
    const int v = Px(x, 40)[0];
    EXPECT_TRUE(v == 0 || v == 255) << x << ": " << v;
    if (x > 0) steps += Px(x, 40)[0] != Px(x - 1, 40)[0];
  }
  EXPECT_GT(between, 16);
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(Px(31, 40)[0] == 0 && Px(32, 40)[0] == 255) << "the step is between the two texels";
}

// Textures belong to a context: one that shares nothing with the first, with a 3.3 core
// profile (no fixed pipeline), draws the same picture, and the first one still draws it after.
TEST_F(Gl, PicturesDrawInAnUnsharedCoreProfileContextToo) {
  Image blue = Solid(1, 1, {{0, 0, 255, 255}});
  Background(0, 0, 0);
  gfx.SetScale(4, 4);
  gfx.DrawImage(&blue, 0, 0);
  Read();
  ASSERT_TRUE(Near(Px(1, 1), {0, 0, 255}, 0));
  {
    QSurfaceFormat fmt;
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CoreProfile);
    QOffscreenSurface coreSurface;
    coreSurface.setFormat(fmt);
    coreSurface.create();
    QOpenGLContext other;
    other.setFormat(fmt);
    ASSERT_TRUE(other.create());
    ASSERT_EQ(other.format().profile(), QSurfaceFormat::CoreProfile);
    ASSERT_NE(other.shareGroup(), ctx->shareGroup());
    ASSERT_TRUE(other.makeCurrent(&coreSurface));
    QOpenGLFramebufferObject fbo2(16, 16);
    fbo2.bind();
    GlGfx g2;
    ASSERT_TRUE(g2.InitGL());
    g2.BeginFrame(16, 16, 1);
    g2.SetClsColor(255, 0, 0);
    g2.Cls();
    g2.SetBlend(ALPHABLEND);
    g2.SetScale(4, 4);
    g2.DrawImage(&blue, 0, 0);
    g2.EndFrame();
    uint8_t px[2][4] = {};
    other.functions()->glReadPixels(1, 14, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px[0]);  // (1,1): the texel
    other.functions()->glReadPixels(10, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px[1]);  // the background
    EXPECT_TRUE(px[0][0] == 0 && px[0][2] == 255) << int(px[0][0]) << "," << int(px[0][2]);
    EXPECT_TRUE(px[1][0] == 255 && px[1][2] == 0) << int(px[1][0]) << "," << int(px[1][2]);
    g2.ReleaseGL();
    other.doneCurrent();
  }
  ASSERT_TRUE(ctx->makeCurrent(surface));
  fbo->bind();
  Frame();
  Background(0, 0, 0);
  gfx.DrawImage(&blue, 0, 0);
  Read();
  EXPECT_TRUE(Near(Px(1, 1), {0, 0, 255}, 0));
}

}  // namespace
}  // namespace bg

// Sanitizer builds: what the desktop's D-Bus library keeps until exit is not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\nleak:libubsan.so\n"; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // must precede QApplication
  QApplication app(argc, argv);
  QOffscreenSurface s;
  s.create();
  QOpenGLContext c;
  c.create();
  surface = &s;
  ctx = &c;
  return RUN_ALL_TESTS();
}
