#pragma once
#include <cstdint>
#include <vector>

#include "minefield/block.h"
#include "minefield/players.h"

// A game from start to end as one value: the field, its players, its clock
// and its status. Alone, relayed by a host, replayed for a late joiner or
// watched again, every move reaches it through Apply. The rules only report
// what happened; the program shows it.
namespace bg {

// The state of the game: GAME_PLAYING or GAME_OVER.
enum : uint8_t { GAME_PLAYING = 0, GAME_OVER = 2 };
// The buttons of a click.
enum : uint8_t { CLICK_UNCOVER = 1, CLICK_FLAG = 2 };

// One click on the field: by a player (kNoPlayer: nobody), with button 1 or 2.
struct Move {
  int32_t block = 0;
  uint8_t button = CLICK_UNCOVER;
  uint8_t player = kNoPlayer;
};

// What StartGame did.
struct StartOutcome {
  bool started = false;      // false: refused, nothing changed
  bool sizeChanged = false;  // the field has another width or height than before
};

// What a click did.
struct ClickOutcome {
  bool applied = false;     // false: refused (no block, a player who is out, an own flag, another button)
  bool mineHit = false;     // a mine was uncovered
  bool knockedOut = false;  // the clicking player uncovered a lethal mine and is out
  bool ended = false;       // the game is over: cleared, or every player is out
  bool won = false;         // every block without a mine is uncovered
  bool ranked = false;      // a network ending: every player's score was counted for the ranking
};

struct Game : FieldShape {
  std::vector<TBlock> Blocks;
  // Sorted by id. Players who left stay until the next field, with their marks.
  std::vector<TPlayer> Players;
  // Each player id's colour on this field: marks keep it after the player is gone.
  std::array<RGB, 256> colours{};
  int32_t Mines = 13;
  uint8_t BombLose = 0;
  // The seed the mines are placed from at the first uncovering.
  int32_t rseed = 0;
  uint8_t GameStatus = GAME_PLAYING;
  float GameTime = 0.0f;
  int32_t wtime = 0;  // whole seconds the game took, once it ended
  int32_t flags = 0;  // flags standing on the field

  // Kept up to date by every change, so the per-click queries cost nothing however large the field.
  int32_t revealed = 0;
  int32_t coveredSafe = 0;
  int32_t recursekill = 0;

  TBlock* FromID(int32_t id) { return id >= 0 && id < int32_t(Blocks.size()) ? &Blocks[size_t(id)] : nullptr; }
  const TBlock* FromID(int32_t id) const { return const_cast<Game*>(this)->FromID(id); }
  TPlayer* FindByID(uint8_t id);
  const TPlayer* FindByID(uint8_t id) const { return const_cast<Game*>(this)->FindByID(id); }
};

// Fields whose setup StartGame refuses, changing nothing; also used by the options and the host.
bool GameSetupValid(int32_t width, int32_t height, int32_t mines);
// A new field; wrap and bomblose are taken as they are (the caller resolves options).
// Resets the players' scores and drops the players who left.
StartOutcome StartGame(Game& g, int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime,
                       int32_t bomblose, int32_t seed);
// Places `count` mines from `seed`, none on or around (x, y); the numbers follow.
void MakeMines(Game& g, int32_t x, int32_t y, int32_t count, int32_t seed);
// Uncovers a block and floods an empty area. unflag: flags in the flood are
// removed; top: a new reveal (the call limit starts again) rather than one step.
int32_t Reveal(Game& g, int32_t id, const TPlayer* player, bool unflag, bool top);
void ToggleFlag(Game& g, int32_t id, const TPlayer* player);
// Button 1 uncovers, 2 flags; the first uncovering places the mines from the game's seed.
ClickOutcome ClickBlock(Game& g, int32_t id, uint8_t button, TPlayer* player);
// The one way a click reaches the rules: the move's player must be in the game (or nobody).
ClickOutcome Apply(Game& g, const Move& m);

// A player joins with a colour (a known id is replaced), or changes colour; players stay in id order.
TPlayer& AddPlayer(Game& g, const std::string& name, const RGB& col, uint8_t id);
void SetColour(Game& g, uint8_t id, const RGB& col);
int32_t FindScore(const Game& g, uint8_t id);
// A player's colour record; null for nobody.
const RGB* ColourOf(const Game& g, uint8_t id);

// The game clock: runs until the game is over.
void Update(Game& g, float dt);

}  // namespace bg
