#include "platform/gfx.h"

namespace bg {
namespace {
NullGfx gNullGfx;
Gfx* gCurrent = &gNullGfx;
}  // namespace

Gfx& G() { return *gCurrent; }
void SetGraphics(Gfx* gfx) { gCurrent = gfx ? gfx : &gNullGfx; }
}  // namespace bg
