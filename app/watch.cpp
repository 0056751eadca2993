#include "app/watch.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

namespace bg {

namespace {
Resources OwnBackgrounds(const Resources& shared) {
  Resources r = shared;
  // The pictures themselves stay shared; only their scale factors are this board's.
  for (SImageRef* img : {&r.IBack1, &r.IBack2, &r.IBack3, &r.IBackImg})
    if (*img) *img = std::make_shared<TSImage>(**img);
  return r;
}
}  // namespace

Watch::Watch(KeptGame k, const Resources& shared) : player(std::move(k.record)), res(OwnBackgrounds(shared)) {
  kept = std::move(k);
  view.back.firstgame = false;
  view.back.backtype = 1;
  StartBoard(player.Now(), view, res, false);
}

bool Watch::Advance(double seconds) {
  if (!playing) return false;
  clock += seconds * Speed();
  const size_t before = player.Position();
  size_t to = player.EventsBy(float(clock));
  if (to <= before) to = before;  // time only runs forward while playing
  if (to != before) player.Seek(to);
  if (AtEnd()) {
    playing = false;
    clock = std::max(clock, double(player.Duration()));
  }
  return player.Position() != before;
}

bool Watch::StepMove() {
  playing = false;
  const auto& events = player.Record().events;
  bool moved = false;
  while (!moved && player.Position() < events.size()) {
    moved = events[player.Position()].kind == RecordEvent::MOVE;
    player.Step();
  }
  if (player.Position() > 0) clock = events[player.Position() - 1].time;
  return moved;
}

void Watch::SeekTo(size_t events) {
  player.Seek(events);
  const size_t at = player.Position();
  clock = at > 0 ? double(player.Record().events[at - 1].time) : 0.0;
}

void Watch::Fit(int cw, int ch) {
  Scale& s = view.scale;
  const Game& g = player.Now();
  SetDesignArea(s, g.BlockAW, g.BlockAH);
  s.BACKSCALEX = float(std::max(cw, 1)) / s.DEFWIDTH;
  s.BACKSCALEY = float(std::max(ch, 1)) / s.DEFHEIGHT;
  // No floor here, unlike the main window: a watched board always fits whole.
  s.SCALEX = s.SCALEY = std::min(s.BACKSCALEX, s.BACKSCALEY);
  s.OriginX = s.OriginY = 0.0f;
  FitBackground(view, res);
}

}  // namespace bg
