#pragma once
#include <cstdint>

#include "platform/gui.h"

// The one event hook: every event of the program reaches it.
namespace bg {

extern uint8_t BlockMDown;
extern int32_t ChatOKTimer;
extern float gMouseX, gMouseY;
extern uint8_t firstgame;

Event* Hook(Event& ev);

}  // namespace bg
