#pragma once
#include <cstdint>

#include "minefield/game.h"
#include "render/view.h"

// The board: a game's blocks drawn in design units, the block under the
// pointer and the flash effect each new field opens with. Reads the game,
// never changes it.
namespace bg {

double PointDistance(double x1, double y1, double x2, double y2);
// Where block `id` is drawn, in design units from the board's corner, after panning.
float DrawX(const Game& g, const View& v, int32_t id);
float DrawY(const Game& g, const View& v, int32_t id);
// Pans a wrapping field by one block: nothing of the game changes.
void Pan(const Game& g, View& v, int32_t dx, int32_t dy);
// A new field is shown: the block pictures fitted to a block, its flash
// effect chosen (effects off, or fields over 3000 blocks, get none), unpanned.
void StartBoard(const Game& g, View& v, const Resources& res, bool effects);
// Finds the block under the pointer.
void UpdateMouseBlock(const Game& g, View& v);
// Draws every block and the frame around the board on the current context,
// for a canvas of cw x ch pixels.
void DrawBlocks(const Game& g, View& v, const Resources& res, int cw, int ch);

}  // namespace bg
