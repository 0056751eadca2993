// One frame of the game as the timer drives it (board, score strip, update),
// drawn into the batcher with a sink that only counts: our own CPU, no driver.
#include <benchmark/benchmark.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "minefield/game.h"
#include "platform/backends/batch_gfx.h"
#include "platform/gui_memory.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

using namespace bg;

namespace {

SImageRef Picture(int size) {
  auto img = std::make_shared<Image>();
  img->width = img->height = size;
  img->pixels.width = img->pixels.height = size;
  img->pixels.rgba.assign(size_t(size) * size_t(size) * 4, 200);
  return TSImage::Create(img, 1, 1);
}

void BM_Tick(benchmark::State& state) {
  const int side = int(state.range(0));
  MemoryGui gui;
  SetGui(&gui);
  gMainWindow = gui.CreateWindow("Blastgrid", 0, 0, 1280, 1024, nullptr, WINDOW_CLIENTCOORDS);
  gCan = gui.CreateCanvas(0, 40, 1264, 968, gMainWindow, 0);
  gCanScore = gui.CreateCanvas(0, 0, 1280, 40, gMainWindow, 0);
  gui.desktopW = 1280;
  gui.desktopH = 1100;
  gRes.IBlock = Picture(48);
  gRes.IBlockRev = Picture(48);
  gRes.IFlag = Picture(48);
  gRes.IMine = Picture(48);
  gRes.IBackImg = Picture(512);
  gRes.ITextBox = Picture(64);
  gRes.IClock = Picture(48);
  gRes.IMineImg = gRes.IMine->img;
  gOptions.oEffects = 1;
  NewGame(side, side, side * side / 8, 1, 0.0f, 0);
  Apply(gGame, Move{(side / 2) * side + side / 2, CLICK_UNCOVER, kNoPlayer});
  gView.back.firstgame = false;
  gView.back.backtype = 1;
  NullSink sink;
  BatchGfx gfx(&sink);
  for (auto _ : state) {
    SetGraphics(&gfx);
    gfx.SetViewport(0, 0, gui.Width(gCan), gui.Height(gCan));
    Draw(gGame, gView, gRes, gui.Width(gCan), gui.Height(gCan));
    gfx.SetViewport(0, 0, gui.Width(gCanScore), gui.Height(gCanScore));
    DrawScore(gGame, gRes, gui.Width(gCanScore), gui.Height(gCanScore));
    Update(gGame, gView.frameTime);
    UpdateMouseBlock(gGame, gView);
  }
  state.counters["quads_per_frame"] = double(sink.quads) / double(state.iterations());
  SetGraphics(nullptr);
  gMainWindow = gCan = gCanScore = nullptr;  // they die with this run's gadgets
  SetGui(nullptr);
}
BENCHMARK(BM_Tick)->Arg(9)->Arg(290)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
