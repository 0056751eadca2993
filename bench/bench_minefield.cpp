// Costs of the rules that run per click, apart from any drawing.
#include <benchmark/benchmark.h>

#include "minefield/block.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/random.h"

using namespace bg;

namespace {

void BuildEmpty(int w, int h) {
  Wrapping = 0;
  StartBlocks(w, h);
  MakeMines(0, 0, 0, 1);
}

// One reveal floods a mine-free field of 85,000 blocks.
void BM_RevealEmpty85000(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    BuildEmpty(340, 250);
    state.ResumeTiming();
    Blocks[42500].Reveal(nullptr, true, true);
    benchmark::DoNotOptimize(TBlock::NumRevealed());
  }
}
BENCHMARK(BM_RevealEmpty85000)->Unit(benchmark::kMillisecond);

// The floor: touching every cell of the same field once.
void BM_TouchCells85000(benchmark::State& state) {
  BuildEmpty(340, 250);
  for (auto _ : state) {
    for (TBlock& b : Blocks) b.Revealed ^= 1;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TouchCells85000)->Unit(benchmark::kMillisecond);

// A late joiner's replay: 100,000 logged reveals and flag toggles on a 400 x 200 field.
void BM_Replay100000Clicks(benchmark::State& state) {
  std::vector<std::pair<int32_t, uint8_t>> log;
  SeedRnd(99);
  for (int i = 0; i < 100000; ++i) log.push_back({Rand(0, 400 * 200 - 1), uint8_t(Rand(0, 3) == 0 ? 1 : 2)});
  auto player = TPlayer::Create("p", RGB{1, 2, 3}, 0, nullptr, 0);
  for (auto _ : state) {
    state.PauseTiming();
    StartGame(400, 200, 4000, 1, 0.0f, 0);
    state.ResumeTiming();
    for (auto [id, button] : log) ClickBlock(TBlock::FromID(id), button, player.get(), -1);
    benchmark::DoNotOptimize(GameStatus);
  }
}
BENCHMARK(BM_Replay100000Clicks)->Unit(benchmark::kMillisecond);

// Memory of a 1000 x 1000 field: the blocks and the grid of links.
void BM_BytesPerBlock1000x1000(benchmark::State& state) {
  for (auto _ : state) {
    BuildEmpty(1000, 1000);
    benchmark::DoNotOptimize(Blocks.data());
  }
  const double bytes = double(Blocks.capacity() * sizeof(TBlock) + BlockA.Cells() * sizeof(TBlock*));
  state.counters["bytes_per_block"] = bytes / double(Blocks.size());
}
BENCHMARK(BM_BytesPerBlock1000x1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
