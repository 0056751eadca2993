// Whole frames at 1280x1024 into an offscreen framebuffer, timed until the GPU
// (Mesa llvmpipe here) has finished. Run under xvfb-run.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include "platform/backends/gl_gfx.h"

namespace {
using namespace bg;
constexpr int kW = 1280, kH = 1024;

// Qt needs its application object before any surface; made on first use.
void EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_draw_gl";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

void BM_GlFrame(benchmark::State& state) {
  const int n = int(state.range(0));
  EnsureApp();
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext ctx;
  if (!ctx.create() || !ctx.makeCurrent(&surface)) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  {
    QOpenGLFramebufferObject fbo(kW, kH);
    fbo.bind();
    GlGfx g;
    if (!g.InitGL()) {
      state.SkipWithError("shaders failed");
      return;
    }
    Image tile;
    tile.width = tile.pixels.width = 14;
    tile.height = tile.pixels.height = 14;
    tile.pixels.rgba.assign(14 * 14 * 4, 220);
    g.SetBlend(ALPHABLEND);
    for (auto _ : state) {
      g.BeginFrame(kW, kH, 1.0f);
      g.Cls();
      for (int i = 0; i < n; ++i) {
        g.SetColor(i & 255, (i >> 3) & 255, 255 - (i & 255));
        g.SetAlpha(0.25f + float(i & 7) * 0.1f);
        g.DrawImage(&tile, float((i * 14) % (kW - 14)), float((i / 91 * 14) % (kH - 14)));
      }
      g.EndFrame();
      ctx.functions()->glFinish();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["batches/frame"] = double(g.Batches().submitted) / double(state.iterations());
    g.ReleaseGL();
  }
  ctx.doneCurrent();
}
BENCHMARK(BM_GlFrame)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
