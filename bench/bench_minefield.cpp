// Costs of the rules that run per click, apart from any drawing.
#include <benchmark/benchmark.h>

#include "minefield/game.h"
#include "minefield/record.h"
#include "platform/random.h"

using namespace bg;

namespace {

Game BuildEmpty(int w, int h) {
  Game g;
  StartGame(g, w, h, 0, 0, 0.0f, 0, 1);
  MakeMines(g, 0, 0, 0, 1);
  return g;
}

// One reveal floods a mine-free field of 85,000 blocks.
void BM_RevealEmpty85000(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Game g = BuildEmpty(340, 250);
    state.ResumeTiming();
    Reveal(g, 42500, nullptr, true, true);
    benchmark::DoNotOptimize(g.revealed);
  }
}
BENCHMARK(BM_RevealEmpty85000)->Unit(benchmark::kMillisecond);

// The first click on a mine-free 1000 x 1000 field: the mines are placed (none)
// and the flood uncovers every block. Target: 30 ms.
void BM_FirstRevealMineFree1000x1000(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Game g;
    StartGame(g, 1000, 1000, 0, 0, 0.0f, 0, 1);
    state.ResumeTiming();
    Apply(g, Move{500 * 1000 + 500, CLICK_UNCOVER, kNoPlayer});
    benchmark::DoNotOptimize(g.revealed);
  }
}
BENCHMARK(BM_FirstRevealMineFree1000x1000)->Unit(benchmark::kMillisecond);

// The floor: touching every cell of the same field once.
void BM_TouchCells85000(benchmark::State& state) {
  Game g = BuildEmpty(340, 250);
  for (auto _ : state) {
    for (TBlock& b : g.Blocks) b.Revealed ^= 1;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TouchCells85000)->Unit(benchmark::kMillisecond);

// A late joiner's replay: 100,000 logged reveals and flag toggles on a 400 x 200 field.
void BM_Replay100000Clicks(benchmark::State& state) {
  GameRecord record;
  record.setup = GameSetup{400, 200, 4000, 1, 0, 17};
  record.AddJoin("p", RGB{1, 2, 3}, 0, 0.0f);
  Rng rng(99);
  for (int i = 0; i < 100000; ++i)
    record.AddMove({rng.Rand(0, 400 * 200 - 1), uint8_t(rng.Rand(0, 3) == 0 ? 1 : 2), 0}, 0.0f);
  for (auto _ : state) {
    const Game g = Replay(record);
    benchmark::DoNotOptimize(g.GameStatus);
  }
}
BENCHMARK(BM_Replay100000Clicks)->Unit(benchmark::kMillisecond);

// Memory of a 1000 x 1000 field: the rules keep the blocks and nothing else per block.
void BM_BytesPerBlock1000x1000(benchmark::State& state) {
  double bytes = 0, blocks = 1;
  for (auto _ : state) {
    const Game g = BuildEmpty(1000, 1000);
    bytes = double(g.Blocks.capacity() * sizeof(TBlock));
    blocks = double(g.Blocks.size());
  }
  state.counters["bytes_per_block"] = bytes / blocks;
}
BENCHMARK(BM_BytesPerBlock1000x1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
