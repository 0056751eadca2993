#pragma once
#include <cstdint>

#include "platform/gui.h"

// The one event hook: every event of the program reaches it.
namespace bg {

Event* Hook(Event& ev);
// The tick rests: nothing moves or happens, so the timer waits for the next
// second of the clock, an event or a socket.
bool TickResting();

}  // namespace bg
