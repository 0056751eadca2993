#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "minefield/game.h"
#include "minefield/record.h"

// A finished game as it is kept: who played it, how it ended and how well,
// and its whole record, so it can be counted in the statistics and watched
// again. Kept games travel as bytes (the records database, .bgreplay files)
// through the codec below.
namespace bg {

enum class Outcome : uint8_t {
  WON = 0,          // the field was cleared (on a shared field: by this player's click)
  LOST = 1,         // a lethal mine: this player's
  ENDED = 2,        // a shared game ended by the others
  ABANDONED = 3,    // a new game started after at least one move
};
const char* OutcomeText(Outcome o);  // "won", "lost", "ended by others", "abandoned"

struct KeptPlayer {
  uint8_t id = 0;
  std::string name;
  RGB colour{};
  int32_t score = 0;
};

struct KeptGame {
  int64_t date = 0;      // seconds since 1970, UTC, when it ended
  std::string player;    // this program's player
  bool networked = false;
  std::vector<KeptPlayer> players;  // a shared game's players at its end, by id
  Outcome outcome = Outcome::WON;
  int32_t millis = 0;    // how long it took
  int32_t clicks = 0;    // this player's clicks (a chord is one)
  int32_t bbbv = 0;      // 3BV of the field
  GameRecord record;

  double Seconds() const { return millis / 1000.0; }
  // 3BV per second and 3BV per click; 0 when there is nothing to divide by.
  double BbbvPerSecond() const { return millis > 0 ? bbbv * 1000.0 / millis : 0.0; }
  double Efficiency() const { return clicks > 0 ? double(bbbv) / clicks : 0.0; }
};

// The fewest left clicks that clear the field: each opening (a connected area
// of blocks with no mine around, with its numbered border) counts one, and
// each numbered block that touches no opening one more. Wrapping fields count
// across their edges. 0 while the mines are not placed.
int32_t Bbbv(const Game& g);

// ---- The kept-game codec ----------------------------------------------------
// Pure functions over bytes; every reader is bounds checked and refuses
// hostile input with one of the messages below, never partly.
inline constexpr const char* kNotAReplay = "Not a replay file";
inline constexpr const char* kDamagedReplay = "The replay file is damaged";
inline constexpr const char* kNewerReplay = "The replay file was made by a newer version of Blastgrid";
inline constexpr uint16_t kReplayVersion = 1;
// Hostile counts are refused before anything is allocated for them. An hour
// of eight players at the host's click limit is under a million events, and a
// field takes at most 255 joins; a file near the caps still loads in well
// under a second.
inline constexpr uint32_t kMaxReplayEvents = 4'000'000;
inline constexpr uint32_t kMaxReplayJoins = 1024;
inline constexpr size_t kMaxReplayBytes = size_t(64) << 20;

// A .bgreplay file: magic, version, length, the kept game, CRC-32.
std::vector<uint8_t> EncodeReplay(const KeptGame& game);
struct ReplayRead {
  std::optional<KeptGame> game;
  std::string error;  // one of the messages above when there is no game
};
ReplayRead DecodeReplay(std::span<const uint8_t> bytes);

// The events of a record alone, compact (varints, deltas): what the database keeps
// of a game's moves. False (and `out` cleared) for bytes that are not a valid list.
std::vector<uint8_t> EncodeEvents(const GameRecord& record);
bool DecodeEvents(std::span<const uint8_t> bytes, GameRecord& out);

}  // namespace bg
