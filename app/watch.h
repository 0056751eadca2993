#pragma once
#include <cstddef>

#include "minefield/kept.h"
#include "minefield/replayer.h"
#include "render/view.h"

// A kept game played back: a game and a view of its own, moved on by the
// same ApplyEvent as a live game, drawn by the same board drawing. Nothing
// here touches the game being played.
namespace bg {

inline constexpr double kWatchSpeeds[] = {0.5, 1.0, 2.0, 4.0, 8.0};
inline constexpr int kWatchNormalSpeed = 1;

struct Watch {
  // `kept` gives its record to the player; what is left describes the game.
  Watch(KeptGame kept, const Resources& res);

  KeptGame kept;
  Replayer player;
  View view;
  // The program's pictures; the backgrounds are copies, scaled for this board alone.
  Resources res;
  double clock = 0.0;  // seconds of the game shown so far
  int speed = kWatchNormalSpeed;  // in kWatchSpeeds
  bool playing = false;

  double Speed() const { return kWatchSpeeds[speed]; }
  // `seconds` of real time at the chosen speed; at the end it stops playing.
  // True when the game shown changed.
  bool Advance(double seconds);
  // The next move, with the joins and colours before it; pauses.
  bool StepMove();
  // The game after its first `events` events; the clock follows.
  void SeekTo(size_t events);
  bool AtEnd() const { return player.Position() >= player.Events(); }
  // The board fitted whole into a canvas of cw x ch pixels.
  void Fit(int cw, int ch);
};

}  // namespace bg
