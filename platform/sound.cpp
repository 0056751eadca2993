#include "platform/sound.h"

#include <fstream>

namespace bg {
namespace {
MemoryAudio gSilent;
Audio* gAudio = &gSilent;
}  // namespace

SoundRef MemoryAudio::LoadSound(const std::string& path, int) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return nullptr;
  auto s = std::make_shared<Sound>();
  s->path = path;
  return s;
}

Audio& TheAudio() { return *gAudio; }
void SetAudio(Audio* audio) { gAudio = audio ? audio : &gSilent; }
}  // namespace bg
