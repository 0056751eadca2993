#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "minefield/game.h"

// A whole game as its setup and what happened, in the host's order: enough to
// build the game again on another machine, for a late joiner or a replay.
namespace bg {

struct GameSetup {
  int32_t width = 9, height = 9, mines = 10;
  uint8_t wrap = 1, lethal = 1;
  int32_t seed = 0;
};

struct RecordEvent {
  enum Kind : uint8_t { MOVE, JOIN, LEAVE, COLOUR };
  float time = 0.0f;  // game time when it happened
  Kind kind = MOVE;
  uint8_t player = kNoPlayer;
  uint8_t button = 0;
  RGB colour{};
  int32_t block = 0;
  uint32_t name = 0;  // a join's name, in GameRecord::names
};

struct GameRecord {
  GameSetup setup;
  std::vector<RecordEvent> events;
  std::vector<std::string> names;

  void Clear(const GameSetup& s) {
    setup = s;
    events.clear();
    names.clear();
  }
  void AddMove(const Move& m, float time) { events.push_back({time, RecordEvent::MOVE, m.player, m.button, {}, m.block, 0}); }
  void AddJoin(const std::string& name, const RGB& col, uint8_t id, float time) {
    names.push_back(name);
    events.push_back({time, RecordEvent::JOIN, id, 0, col, 0, uint32_t(names.size() - 1)});
  }
  void AddLeave(uint8_t id, float time) { events.push_back({time, RecordEvent::LEAVE, id, 0, {}, 0, 0}); }
  void AddColour(uint8_t id, const RGB& col, float time) { events.push_back({time, RecordEvent::COLOUR, id, 0, col, 0, 0}); }
  Move MoveOf(const RecordEvent& e) const { return {e.block, e.button, e.player}; }
};

// A player leaves: their marks stay; the list shows them as gone until the next field.
void PlayerLeaves(Game& g, uint8_t id);
// One event of a record applied to a game: the same path the live game takes.
ClickOutcome ApplyEvent(Game& g, const GameRecord& r, const RecordEvent& e);
// The game a record describes after its first `count` events (all by default).
Game Replay(const GameRecord& r, size_t count = SIZE_MAX);

}  // namespace bg
