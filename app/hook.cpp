#include "app/hook.h"

namespace bg {

uint8_t BlockMDown = 0;
int32_t ChatOKTimer = 0;
float gMouseX = 0.0f, gMouseY = 0.0f;
uint8_t firstgame = 1;

}  // namespace bg
