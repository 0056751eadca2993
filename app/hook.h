#pragma once
#include <cstdint>

#include "platform/gui.h"

// The one event hook: every event of the program reaches it.
namespace bg {

Event* Hook(Event& ev);

}  // namespace bg
