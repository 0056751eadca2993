#pragma once
#include <memory>

#include "platform/gui_memory.h"
#include "platform/sound.h"

// A clean program state over the in-memory backends, for tests.
namespace bg::test {

struct World {
  World();
  ~World();
  MemoryGui gui;
  MemoryAudio audio;
  // The windows the rules write to: the main window with its canvas and the
  // win window with its two labels, the chat console and the player list.
  void MakeGameGadgets();
};

// Every game global back to its start-up value.
void ResetGameState();

// A fixed clock for the duration of a test.
void SetClock(int32_t ms);
void UseRealClock();

}  // namespace bg::test
