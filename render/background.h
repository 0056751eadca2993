#pragma once
#include <cstdint>

#include "minefield/game.h"
#include "render/view.h"

// The animated background behind the board, the whole board canvas and the score strip.
namespace bg {

// The background pictures stretched over the design area.
void FitBackground(View& v, const Resources& res);
// The cross-fade's starting point, drawn from the view's generator.
void StartBackground(View& v, const Resources& res);
// For a board canvas of cw x ch pixels.
void DrawBackground(View& v, const Resources& res, uint8_t style, float strength, int cw, int ch);
// The board canvas's picture (cw x ch pixels): background, board, the first game's opening flash.
void Draw(const Game& g, View& v, const Resources& res, int cw, int ch);
// Whether the board canvas's picture changes by itself from frame to frame:
// the cross-fade, the first field's white opening, a block flash still
// fading. A flash that is over is dropped here (it shows nothing any more).
bool Animating(const Game& g, View& v);
// The score strip (w x h pixels): time and mines left.
void DrawScore(const Game& g, const Resources& res, int w, int h);

}  // namespace bg
