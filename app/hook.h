#pragma once
#include <cstdint>

#include "platform/gui.h"

// The one event hook: every event of the program reaches it.
namespace bg {

// When the last chat line was sent: the input keeps the focus for a moment after.
extern int32_t ChatOKTimer;

Event* Hook(Event& ev);

}  // namespace bg
