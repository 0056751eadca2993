#pragma once
#include <cstddef>
#include <vector>

#include "minefield/game.h"
#include "minefield/record.h"

// A kept game watched again: the game after any number of its events, through
// the same ApplyEvent the live game takes. Copies of the game every so many
// events make a jump anywhere cost one copy and a short run of events.
namespace bg {

class Replayer {
 public:
  explicit Replayer(GameRecord record);

  const GameRecord& Record() const { return record_; }
  size_t Events() const { return record_.events.size(); }
  // Events applied so far; the game shown is the game after them.
  size_t Position() const { return position_; }
  const Game& Now() const { return game_; }
  // The game time of the last event: how long the replay runs.
  float Duration() const;
  // The number of events that happened by game time `t`.
  size_t EventsBy(float t) const;

  // The game after the first `count` events (clamped to Events()).
  const Game& Seek(size_t count);
  // One event more; false at the end.
  bool Step();
  // Every event up to game time `t` applied (forward or back).
  const Game& SeekTime(float t) { return Seek(EventsBy(t)); }

 private:
  GameRecord record_;
  Game game_;
  size_t position_ = 0;
  size_t every_ = 1;                // events between two copies
  std::vector<Game> checkpoints_;  // checkpoints_[i]: the game after i * every_ events
};

}  // namespace bg
