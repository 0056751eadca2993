#pragma once
#include <memory>
#include <string>

#include "platform/gui_memory.h"
#include "platform/sound.h"
#include "tests/support/field.h"
#include "tests/support/scratch.h"

// A clean program state over the in-memory backends, for tests.
namespace bg::test {

struct TestGui : MemoryGui {
  Gadget* Focus() const { return focus_; }
  Gadget* CreateTimer(double hz) override { return timer = MemoryGui::CreateTimer(hz); }
  Gadget* timer = nullptr;  // the tick's, made at start-up
};

struct World {
  World();
  ~World();
  TestGui gui;
  MemoryAudio audio;
  // The whole start-up over the memory backends, in the current directory.
  bool Start();
  // Feeds one event record to the hook.
  static Event Send(int id, Gadget* source, int data = 0, int x = 0, int y = 0, ObjectRef extra = nullptr);
};

// A fresh directory made current for the test's life.
struct TempDir : ScratchDir {
  TempDir();
  ~TempDir();
  std::string old;
};
std::string ReadFile(const std::string& file);
void WriteFile(const std::string& file, const std::string& bytes);

}  // namespace bg::test
