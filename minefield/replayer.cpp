#include "minefield/replayer.h"

#include <utility>

namespace bg {

Replayer::Replayer(GameRecord record) : record_(std::move(record)) { Seek(0); }

float Replayer::Duration() const { return record_.events.empty() ? 0.0f : record_.events.back().time; }

size_t Replayer::EventsBy(float) const { return 0; }

const Game& Replayer::Seek(size_t count) {
  game_ = Replay(record_, count);
  position_ = std::min(count, Events());
  return game_;
}

bool Replayer::Step() {
  if (position_ >= Events()) return false;
  Seek(position_ + 1);
  return true;
}

}  // namespace bg
