#pragma once
#include <cstdint>

#include "minefield/block.h"

// A game from start to end, alone or over the network: in a network game every
// program applies the host's relayed clicks through the same ClickBlock. The
// rules only report what happened; the program shows it.
namespace bg {

// The state of the game: GAME_PLAYING or GAME_OVER.
enum : uint8_t { GAME_PLAYING = 0, GAME_OVER = 2 };
extern uint8_t GameStatus;
extern int32_t Mines;
extern uint8_t BombLose;
extern int32_t rseed;
extern float GameTime;
extern int32_t wtime;
extern float DeltaTime;

// The buttons of a click.
enum : uint8_t { CLICK_UNCOVER = 1, CLICK_FLAG = 2 };

// Frame timer, class-level only.
class Delta {
 public:
  static float Time;
  static int32_t TimeDelay;
  static void Start();
  static void Update();
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

// Fields whose setup StartGame refuses, changing nothing; also used by the options and the host.
bool GameSetupValid(int32_t width, int32_t height, int32_t mines);
// A new field; wrap and bomblose are taken as they are (the caller resolves options).
// Resets the players' scores and drops the players who left.
StartOutcome StartGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose);
// Applies one click: button 1 uncovers, 2 flags; player null is nobody's click.
// The first uncovering places the mines from seed (-1: from the clock).
ClickOutcome ClickBlock(TBlock* block, uint8_t button, TPlayer* player, int32_t seed);
// Frame time and game clock.
void Update();

}  // namespace bg
