#pragma once
#include "platform/gfx.h"
#include "render/simage.h"

// The pictures and fonts the drawing uses, loaded once at start-up.
namespace bg {

extern SImageRef IBack1, IBack2, IBack3, IBackImg;
extern SImageRef IBlock, IBlockRev, IFlag, IMine, IClock, ITextBox;
extern ImageRef IMineImg;
extern FontRef FArialBold40, FArialBold20;

}  // namespace bg
