// The whole 70 Hz tick with real windows and OpenGL (under Xvfb this is Mesa's
// software renderer, so a floor rather than a target), and the time from the
// program's start to its first painted frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <chrono>
#include <filesystem>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "platform/backends/qt_gui.h"
#include "platform/sound.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

using namespace bg;
using Clock = std::chrono::steady_clock;

namespace {

QtGui* gQt = nullptr;
double gStartupMs = 0;

// Lets the window system take what was shown (the X server draws asynchronously).
void Finish() { QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest); }

void BM_StartupToFirstFrame(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(gStartupMs / 1000.0);
  state.counters["startup_ms"] = gStartupMs;
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Ticks of a field in a window. Mode 0: nothing changes (the canvases are
// compared and left alone); 1: the pointer moves to another block every tick;
// 2: every frame drawn whole, as if nothing were kept.
void BM_WholeTickLlvmpipe(benchmark::State& state) {
  const int side = int(state.range(0)), mode = int(state.range(3));
  gQt->SetShape(gMainWindow, 40, 40, int(state.range(1)), int(state.range(2)));
  QCoreApplication::processEvents();
  NewGame(side, side, side * side / 8, 1, 0.0f, 0);
  Apply(gGame, Move{(side / 2) * side + side / 2, CLICK_UNCOVER, kNoPlayer});
  gView.back.firstgame = false;
  gQt->SetRepaintAll(mode == 2);
  Event tick;
  tick.id = EVENT_TIMERTICK;
  Hook(tick);
  Hook(tick);
  // Covered blocks: the pointer changes how they look.
  std::vector<int32_t> covered;
  for (int32_t i = 0; i < side * side && covered.size() < 5; ++i)
    if (gGame.Blocks[size_t(i)].Revealed == 0) covered.push_back(i);
  const auto before = gQt->FramesOf(gCan);
  long long n = 0;
  for (auto _ : state) {
    if (mode == 1) {
      const int32_t b = covered[size_t(n % long(covered.size()))];
      gView.gMouseX = (gView.framex + DrawX(gGame, gView, b) + 12) * gView.scale.SCALEX;
      gView.gMouseY = (gView.framey + DrawY(gGame, gView, b) + 12) * gView.scale.SCALEY;
    }
    ++n;
    Hook(tick);
    // Qt shows the new frames in the window, as the event loop would.
    Finish();
  }
  const auto after = gQt->FramesOf(gCan);
  state.counters["drawn"] = double(after.presented - before.presented) / double(n);
  state.counters["in_part"] = double(after.partial - before.partial) / double(n);
  state.counters["left"] = double(after.skipped - before.skipped) / double(n);
  gQt->SetRepaintAll(false);
}
BENCHMARK(BM_WholeTickLlvmpipe)
    ->ArgNames({"side", "w", "h", "mode"})
    ->Args({9, 270, 360, 0})->Args({9, 270, 360, 1})->Args({9, 270, 360, 2})
    ->Args({290, 1280, 1024, 0})->Args({290, 1280, 1024, 1})->Args({290, 1280, 1024, 2})
    ->Args({1000, 1280, 1024, 1})
    ->Unit(benchmark::kMillisecond);

// Scrolling a 1000 x 1000 field a few pixels every tick, as dragging a scroll
// bar does: the whole canvas changes each frame. Target: 14 ms a frame (70 Hz).
void BM_ScrollLlvmpipe(benchmark::State& state) {
  const int side = 1000;
  gQt->SetShape(gMainWindow, 40, 40, 1280, 1024);
  QCoreApplication::processEvents();
  NewGame(side, side, side * side / 8, 1, 0.0f, 0);
  Apply(gGame, Move{(side / 2) * side + side / 2, CLICK_UNCOVER, kNoPlayer});
  gView.back.firstgame = false;
  Event tick;
  tick.id = EVENT_TIMERTICK;
  Hook(tick);
  int pos = 0;
  for (auto _ : state) {
    pos = (pos + 7) % 12000;
    Event scroll;
    scroll.id = EVENT_GADGETACTION;
    scroll.source = gHScroll;
    scroll.data = pos;
    Hook(scroll);
    scroll.source = gVScroll;
    Hook(scroll);
    Hook(tick);
    Finish();
  }
}
BENCHMARK(BM_ScrollLlvmpipe)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const auto start = Clock::now();
  QApplication app(argc, argv);
  char tmpl[] = "/tmp/blastgrid-glbench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  std::filesystem::create_directory_symlink(BG_RES_DIR, dir + "/res");
  if (chdir(dir.c_str()) != 0) return 1;
  gQt = new QtGui();
  MemoryAudio audio;
  SetGui(gQt);
  SetAudio(&audio);
  std::string error;
  if (!Initialise(error, true)) return 1;
  // Wait for the board canvas's first frame, drawn and handed to the window system.
  while (gQt->FramesOf(gCan).presented == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  Finish();
  gStartupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  std::_Exit(0);
}
