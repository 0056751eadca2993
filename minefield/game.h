#pragma once
#include <cstdint>

#include "minefield/block.h"

// A game from start to end, alone or over the network: in a network game every
// program applies the host's relayed clicks through the same ClickBlock.
namespace bg {

extern uint8_t GameStatus;  // 0 in play, 2 over
extern int32_t Mines;
extern uint8_t BombLose;
extern int32_t rseed;
extern float GameTime;
extern int32_t wtime;
extern float DeltaTime;
extern TBlock* MouseBlock;

// Frame timer, class-level only.
class Delta {
 public:
  static float Time;
  static int32_t TimeDelay;
  static int32_t FPS;
  static int32_t mFPS;
  static uint16_t __d;
  static void Start();
  static void Update();
  static float GetDelta() { return Time; }
  static int32_t GetFPS(uint8_t mode);
};

// 1 when started; 0 when refused, with nothing changed. wrap and bomblose -1 take the options.
uint8_t StartGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose);
int32_t ClickBlock(TBlock* block, uint8_t button, TPlayer* player);
int32_t SPWin();
int32_t MPWin();
int32_t Update();
// The rule StartGame applies before it changes anything (also used by the options and the host).
bool GameSetupValid(int32_t width, int32_t height, int32_t mines);

}  // namespace bg
