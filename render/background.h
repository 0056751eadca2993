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

void DrawBackground(uint8_t style, float strength);
// The main canvas's picture: background, board, the first game's opening flash.
void Draw();
// The score strip: time and mines left.
void DrawScore();

}  // namespace bg
