// A replay watched at x8 on a 100 x 100 field: each frame moves the replay on
// by a 70th of a second and draws its canvas, as the timer tick does. Under
// Xvfb the drawing is Mesa's software renderer. 70 Hz leaves 14.3 ms a frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>

#include "app/globals.h"
#include "app/record_windows.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "platform/backends/qt_gui.h"
#include "platform/random.h"
#include "platform/sound.h"

using namespace bg;

namespace {

QtGui* gQt = nullptr;

// Every safe block uncovered one by one in a shuffled order, a move every 50 ms.
KeptGame LongGame(int32_t side) {
  KeptGame k;
  k.record.Clear(GameSetup{side, side, side * side / 6, 0, 0, 1234});
  Game g;
  StartGame(g, side, side, side * side / 6, 0, 0.0f, 0, 1234);
  std::vector<int32_t> order(size_t(side) * size_t(side));
  for (size_t i = 0; i < order.size(); ++i) order[i] = int32_t(i);
  Rng rng;
  rng.Seed(99);
  for (size_t i = order.size() - 1; i > 0; --i) std::swap(order[i], order[size_t(rng.Rand(0, int32_t(i)))]);
  float t = 0.0f;
  for (int32_t b : order) {
    if (g.GameStatus != GAME_PLAYING) break;
    if (g.Blocks[size_t(b)].Revealed || (t > 0.0f && g.Blocks[size_t(b)].Value == -1)) continue;
    t += 0.05f;
    g.GameTime = t;
    k.record.AddMove(Move{b, CLICK_UNCOVER, kNoPlayer}, t);
    Apply(g, Move{b, CLICK_UNCOVER, kNoPlayer});
  }
  return k;
}

// mode 0: only what changed is drawn again, as in the program; 1: every frame
// whole; 2: the replay moved on without drawing, to tell the two costs apart.
void BM_WatchAtX8(benchmark::State& state) {
  const int side = int(state.range(0));
  WatchGame(LongGame(side));
  RecordWindows& u = RecordUi();
  Watch& w = *u.watching;
  w.speed = int(std::size(kWatchSpeeds)) - 1;
  w.playing = true;
  gQt->SetRepaintAll(state.range(1) == 1);
  QCoreApplication::processEvents();
  size_t events = 0;
  for (auto _ : state) {
    const size_t before = w.player.Position();
    w.Advance(1.0 / 70.0);
    events += w.player.Position() - before;
    if (state.range(1) != 2) gQt->Redraw(u.watchCanvas);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    if (w.AtEnd()) {
      w.SeekTo(0);
      w.playing = true;
    }
  }
  state.counters["events/frame"] = double(events) / double(state.iterations());
  state.counters["moves"] = double(w.player.Events());
  gQt->SetRepaintAll(false);
}
BENCHMARK(BM_WatchAtX8)->ArgNames({"side", "mode"})->Args({100, 0})->Args({100, 1})->Args({100, 2})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  char tmpl[] = "/tmp/blastgrid-watchbench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::filesystem::create_directory_symlink(BG_RES_DIR, dir + "/res");
  if (chdir(dir.c_str()) != 0) return 1;
  gQt = new QtGui();
  MemoryAudio audio;
  SetGui(gQt);
  SetAudio(&audio);
  std::string error;
  if (!Initialise(error, true)) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  std::_Exit(0);
}
