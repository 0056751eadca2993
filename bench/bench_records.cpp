// Kept games: writing one, the statistics of many, and jumping about in a long replay.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/records.h"
#include "minefield/replayer.h"
#include "platform/random.h"

using namespace bg;

namespace {

std::string FreshFile() {
  char tmpl[] = "/tmp/blastgrid-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
  return dir + "/records.sqlite";
}

// A game alone on a 100 x 100 field, clicked `moves` times a fraction of a second apart.
KeptGame Played(int moves, int32_t seed) {
  KeptGame k;
  k.player = "bench";
  k.record.Clear({100, 100, 1500, 1, 1, seed});
  Rng rng(seed);
  for (int i = 0; i < moves; ++i) k.record.AddMove({rng.Rand(0, 9999), uint8_t(rng.Rand(1, 2)), kNoPlayer}, i * 0.3f);
  k.millis = moves * 300;
  k.clicks = moves;
  k.bbbv = 900;
  return k;
}

void BM_Keep10000MoveGame(benchmark::State& state) {
  const std::string file = FreshFile();
  Records records(file);
  const KeptGame k = Played(10000, 1);
  for (auto _ : state) benchmark::DoNotOptimize(records.Keep(k).kept);
  state.counters["bytes/move"] = double(EncodeEvents(k.record).size()) / 10000.0;
  std::filesystem::remove_all(std::filesystem::path(file).parent_path());
}
BENCHMARK(BM_Keep10000MoveGame)->Unit(benchmark::kMillisecond);

// What the statistics window reads: every setup's figures, best times and last 50 wins.
void BM_Statistics10000Games(benchmark::State& state) {
  const std::string file = FreshFile();
  {
    Records records(file);
    Rng rng(5);
    for (int i = 0; i < 10000; ++i) {
      KeptGame k = Played(20, i);
      k.record.setup.width = 9 + i % 4;
      k.outcome = Outcome(rng.Rand(0, 3));
      k.millis = rng.Rand(5000, 300000);
      records.Keep(k);
    }
  }
  for (auto _ : state) {
    Records records(file);
    const Statistics s = records.Stats();
    for (const SetupStats& st : s.setups) {
      benchmark::DoNotOptimize(records.BestTimes(st.setup));
      benchmark::DoNotOptimize(records.LastWinningTimes(st.setup));
    }
    benchmark::DoNotOptimize(records.List());
    benchmark::DoNotOptimize(s.total.played);
  }
  std::filesystem::remove_all(std::filesystem::path(file).parent_path());
}
BENCHMARK(BM_Statistics10000Games)->Unit(benchmark::kMillisecond);

GameRecord Long(int32_t w, int32_t h) {
  GameRecord r;
  r.Clear({w, h, w * h / 6, 1, 0, 3});
  Rng rng(11);
  for (int i = 0; i < 300000; ++i) r.AddMove({rng.Rand(0, w * h - 1), uint8_t(rng.Rand(1, 2)), kNoPlayer}, i * 0.05f);
  return r;
}

// The watch window's slider: jumps to moments anywhere in a 300,000-move replay.
void BM_Seek300000Moves(benchmark::State& state) {
  Replayer p(Long(int32_t(state.range(0)), int32_t(state.range(1))));
  Rng rng(2);
  for (auto _ : state) benchmark::DoNotOptimize(p.Seek(size_t(rng.Rand(0, 300000))).revealed);
}
BENCHMARK(BM_Seek300000Moves)->Args({100, 100})->Args({1000, 1000})->Unit(benchmark::kMillisecond);

// Opening such a replay to watch: one pass that lays down the copies.
void BM_Open300000Moves(benchmark::State& state) {
  const GameRecord r = Long(100, 100);
  for (auto _ : state) benchmark::DoNotOptimize(Replayer(r).Events());
}
BENCHMARK(BM_Open300000Moves)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
