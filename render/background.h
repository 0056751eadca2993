#pragma once
#include <array>
#include <cstdint>

#include "render/simage.h"

// The animated background behind the board.
namespace bg {

extern uint8_t backtype;  // 0 cross-fade, 1 still picture, 2 plain white
extern std::array<float, 3> backalpha;
extern std::array<int32_t, 3> backalphainc;
extern std::array<int32_t, 3> backcol;
extern std::array<SImageRef, 3> backimg;
// The first field of the session opens with a white flash.
extern bool firstgame;

// The background pictures stretched over the design area.
void FitBackground();
// For a board canvas of cw x ch pixels.
void DrawBackground(uint8_t style, float strength, int cw, int ch);
// The board canvas's picture (cw x ch pixels): background, board, the first game's opening flash.
void Draw(int cw, int ch);
// The score strip (w x h pixels): time and mines left.
void DrawScore(int w, int h);

}  // namespace bg
