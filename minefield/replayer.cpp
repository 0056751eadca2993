#include "minefield/replayer.h"

#include <algorithm>
#include <utility>

namespace bg {

namespace {
// What the copies of one replay may take together, and the fewest events between two.
constexpr size_t kCheckpointBytes = size_t(32) << 20;
constexpr size_t kMinEvery = 1024;

void Start(Game& g, const GameSetup& s) { StartGame(g, s.width, s.height, s.mines, s.wrap, 0.0f, s.lethal, s.seed); }

void Next(Game& g, const GameRecord& r, size_t i) {
  g.GameTime = r.events[i].time;
  ApplyEvent(g, r, r.events[i]);
}
}  // namespace

Replayer::Replayer(GameRecord record) : record_(std::move(record)) {
  Start(game_, record_.setup);
  const size_t bytes = game_.Blocks.size() * sizeof(TBlock) + sizeof(Game);
  const size_t copies = std::max<size_t>(1, kCheckpointBytes / bytes);
  every_ = std::max(kMinEvery, (Events() + copies - 1) / copies);
  checkpoints_.reserve(Events() / every_ + 1);
  checkpoints_.push_back(game_);
  for (size_t i = 0; i < Events(); ++i) {
    Next(game_, record_, i);
    if ((i + 1) % every_ == 0) checkpoints_.push_back(game_);
  }
  game_ = checkpoints_.front();
}

float Replayer::Duration() const { return record_.events.empty() ? 0.0f : record_.events.back().time; }

size_t Replayer::EventsBy(float t) const {
  const auto& ev = record_.events;
  return size_t(std::upper_bound(ev.begin(), ev.end(), t, [](float v, const RecordEvent& e) { return v < e.time; }) -
                ev.begin());
}

const Game& Replayer::Seek(size_t count) {
  count = std::min(count, Events());
  if (count < position_ || count - position_ >= every_) {
    const size_t c = std::min(count / every_, checkpoints_.size() - 1);
    game_ = checkpoints_[c];
    position_ = c * every_;
  }
  for (; position_ < count; ++position_) Next(game_, record_, position_);
  return game_;
}

bool Replayer::Step() {
  if (position_ >= Events()) return false;
  Next(game_, record_, position_++);
  return true;
}

}  // namespace bg
