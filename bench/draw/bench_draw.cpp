// Our own CPU cost per frame: drawing calls turned into batches, with a sink
// that only counts, so no driver time is included.
#include <benchmark/benchmark.h>

#include "platform/backends/batch_gfx.h"

namespace {
using namespace bg;

Image Tile(int w, int h) {
  Image img;
  img.width = img.pixels.width = w;
  img.height = img.pixels.height = h;
  img.pixels.rgba.assign(size_t(w) * h * 4, 200);
  return img;
}

// One frame of N 14x14 textured quads, colour and alpha changing every quad.
void BM_BatchQuads(benchmark::State& state) {
  const int n = int(state.range(0));
  NullSink sink;
  BatchGfx g(&sink);
  Image tile = Tile(14, 14);
  g.SetBlend(ALPHABLEND);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      g.SetColor(i & 255, (i >> 3) & 255, 255 - (i & 255));
      g.SetAlpha(float(i & 15) * (1.0f / 15.0f));
      g.DrawImage(&tile, float((i * 14) % 1274), float((i / 91 * 14) % 1010));
    }
    g.Flip();
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["batches/frame"] = double(sink.batches) / double(state.iterations());
}
BENCHMARK(BM_BatchQuads)->Arg(5000)->Arg(50000)->Unit(benchmark::kMicrosecond);

// The same with scale and rotation changing every quad (the slow path).
void BM_BatchQuadsRotated(benchmark::State& state) {
  const int n = int(state.range(0));
  NullSink sink;
  BatchGfx g(&sink);
  Image tile = Tile(14, 14);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      g.SetColor(i & 255, 128, 64);
      g.SetAlpha(float(i & 15) * (1.0f / 15.0f));
      g.SetRotation(float(i % 360));
      g.SetScale(1.0f + float(i & 3) * 0.25f, 1.0f);
      g.DrawImage(&tile, float((i * 14) % 1274), float((i / 91 * 14) % 1010));
    }
    g.Flip();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BatchQuadsRotated)->Arg(50000)->Unit(benchmark::kMicrosecond);

// Alternating textures: every quad is its own batch (the worst case for batching).
void BM_BatchAlternating(benchmark::State& state) {
  const int n = int(state.range(0));
  NullSink sink;
  BatchGfx g(&sink);
  Image a = Tile(14, 14), b = Tile(14, 14);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) g.DrawImage(i & 1 ? &a : &b, float(i % 1274), 0);
    g.Flip();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BatchAlternating)->Arg(50000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
