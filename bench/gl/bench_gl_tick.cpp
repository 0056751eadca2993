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

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/startup.h"
#include "minefield/game.h"
#include "platform/backends/qt_gui.h"
#include "platform/sound.h"
#include "render/background.h"

using namespace bg;
using Clock = std::chrono::steady_clock;

namespace {

QtGui* gQt = nullptr;
double gStartupMs = 0;

void Finish() {
  auto* canvas = static_cast<QOpenGLWidget*>(gQt->WidgetOf(gCan));
  canvas->makeCurrent();
  QOpenGLContext::currentContext()->functions()->glFinish();
  canvas->doneCurrent();
}

void BM_StartupToFirstFrame(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(gStartupMs / 1000.0);
  state.counters["startup_ms"] = gStartupMs;
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_WholeTickLlvmpipe(benchmark::State& state) {
  const int side = int(state.range(0));
  gQt->SetShape(gMainWindow, 40, 40, int(state.range(1)), int(state.range(2)));
  QCoreApplication::processEvents();
  NewGame(side, side, side * side / 8, 1, 0.0f, 0);
  ClickBlock(BlockA(side / 2, side / 2), CLICK_UNCOVER, nullptr, -1);
  firstgame = false;
  Event tick;
  tick.id = EVENT_TIMERTICK;
  for (auto _ : state) {
    Hook(tick);
    Finish();
  }
}
BENCHMARK(BM_WholeTickLlvmpipe)->Args({9, 270, 360})->Args({290, 1280, 1024})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const auto start = Clock::now();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
  // Wait for the first frame of the board canvas to be painted.
  bool painted = false;
  gQt->SetHook([&painted](Event& ev) {
    Event* r = Hook(ev);
    if (ev.id == EVENT_GADGETPAINT && ev.source == gCan) painted = true;
    return r;
  });
  while (!painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  Finish();
  gStartupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  gQt->SetHook([](Event& ev) { return Hook(ev); });

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  std::_Exit(0);
}
