#pragma once
#include <memory>
#include <string>
#include <vector>

// One short sound effect. The backend plays it; MemoryAudio records it.
namespace bg {

struct Sound {
  virtual ~Sound() = default;
  std::string path;
};
using SoundRef = std::shared_ptr<Sound>;

class Audio {
 public:
  virtual ~Audio() = default;
  // Chooses the driver and keeps one channel; false when no output exists (the game runs silent).
  virtual bool Init() = 0;
  virtual SoundRef LoadSound(const std::string& path, int flags = 0) = 0;
  // Plays once on a fresh channel at full volume; returns at once.
  virtual void PlaySound(Sound* s) = 0;
};

class MemoryAudio : public Audio {
 public:
  bool Init() override { return true; }
  SoundRef LoadSound(const std::string& path, int flags = 0) override;
  void PlaySound(Sound* s) override {
    if (s) played.push_back(s->path);
  }
  std::vector<std::string> played;
};

Audio& TheAudio();
void SetAudio(Audio* audio);

}  // namespace bg
