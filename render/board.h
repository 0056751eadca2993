#pragma once
#include <cstdint>
#include <vector>

#include "minefield/block.h"

// The board: its blocks drawn in design units, the block under the pointer and
// the flash effect each new field opens with. Reads the field, never changes it.
namespace bg {

// The board's top-left corner in design units.
extern float framex, framey;

// The pointer over the board canvas, in canvas pixels less the scroll origin.
extern float gMouseX, gMouseY;
// The block under the pointer at the last update; null when none.
extern TBlock* MouseBlock;
// The left button went down over a block and is still down.
extern bool BlockMDown;

// One block's part of the opening flash.
struct BlockFlash {
  float FadeAlpha = 0.0f;
  RGB fadecol{255, 255, 255};
};
// The opening flash of the current field: the effect (0-6, -1 none) and each
// block's state by block id.
struct FlashState {
  int32_t effect = -1;
  std::vector<BlockFlash> blocks;
};
extern FlashState Flash;

double PointDistance(double x1, double y1, double x2, double y2);
// A new field is shown: the block pictures fitted to a block, and its flash
// effect chosen (effects off, or fields over 3000 blocks, get none).
void StartBoard(bool effects);
// Finds the block under the pointer.
void UpdateMouseBlock();
// Draws every block and the frame around the board on the current context,
// for a canvas of cw x ch pixels.
void DrawBlocks(int cw, int ch);

}  // namespace bg
