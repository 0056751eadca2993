#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "minefield/game.h"
#include "platform/random.h"
#include "platform/sound.h"
#include "render/simage.h"

// What the board canvas shows of a game, beside the game itself: the design
// scale, the scroll origin, how far the field is panned, the pointer, the
// opening flash and the background. The rules never read it.
namespace bg {

// Design units to canvas pixels. The design area depends only on the field size.
struct Scale {
  float DEFWIDTH = 270.0f, DEFHEIGHT = 320.0f;
  float SCALEX = 1.0f, SCALEY = 1.0f;
  float BACKSCALEX = 1.0f, BACKSCALEY = 1.0f;
  // Minus the scroll bars' positions.
  float OriginX = 0.0f, OriginY = 0.0f;
  float winr = 0.0f;
  static constexpr int32_t TopbarSize = 40;
  static constexpr int32_t ScrollSize = 16;
};

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

struct Background {
  uint8_t backtype = 1;  // 0 cross-fade, 1 still picture, 2 plain white
  std::array<float, 3> backalpha{0, 0, 0};
  std::array<int32_t, 3> backalphainc{0, 0, 0};
  std::array<int32_t, 3> backcol{1, 1, 1};
  std::array<SImageRef, 3> backimg;
  // The first field of the session opens with a white flash.
  bool firstgame = true;
};

// The pictures, fonts and the one sound, loaded once at start-up.
struct Resources {
  SoundRef SExplosion;
  SImageRef IBack1, IBack2, IBack3, IBackImg;
  SImageRef IBlock, IBlockRev, IFlag, IMine, IClock, ITextBox;
  ImageRef IMineImg;
  FontRef FArialBold40, FArialBold20;
};

struct View {
  Scale scale;
  // The board's top-left corner in design units.
  float framex = 26.0f, framey = 26.0f;
  // The pointer over the board canvas, in canvas pixels less the scroll origin.
  float gMouseX = 0.0f, gMouseY = 0.0f;
  // The block under the pointer at the last update; -1 when none.
  int32_t MouseBlock = -1;
  // The left button went down over a block and is still down.
  bool BlockMDown = false;
  // How far the field is panned, in blocks: where block (x, y) is drawn.
  int32_t panX = 0, panY = 0;
  FlashState Flash;
  Background back;
  // Seconds since the last frame, and when that frame was (milliseconds).
  float frameTime = 0.001f;
  int32_t lastFrame = 0;
  // Flash effects and background colours draw from here, never from the mines' generator.
  Rng rng;
};

}  // namespace bg
