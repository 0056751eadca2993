#pragma once
#include <string>
#include <vector>

#include "platform/sound.h"

// Sound effects through SDL2_mixer, using SDL's audio subsystem only.
// One instance per process: the mixer is global.
namespace bg {

class SdlAudio : public Audio {
 public:
  ~SdlAudio() override { Shutdown(); }
  bool Init() override;
  // Null when the file is missing, too large or not a sound SDL can read.
  SoundRef LoadSound(const std::string& path, int flags = 0) override;
  void PlaySound(Sound* s) override;
  // Stops everything and closes the device (Init may open it again).
  void Shutdown();

  bool IsOpen() const { return open_; }
  const std::string& Driver() const { return driver_; }
  int Channels() const { return channels_; }

  // The drivers Init tries, in order. `requested` is SDL_AUDIODRIVER: when
  // set, only the drivers it names (comma separated). Otherwise "FreeAudio
  // Directsound" first if present, then the others in SDL's order, leaving out
  // "disk" (it writes a file) and "dummy" (it only pretends to play).
  static std::vector<std::string> DriverOrder(const std::vector<std::string>& available, const char* requested);

 private:
  bool open_ = false;
  bool sdlUp_ = false;
  int channels_ = 0;
  std::string driver_;
};

}  // namespace bg
