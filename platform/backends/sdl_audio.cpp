#include "platform/backends/sdl_audio.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <SDL.h>
#include <SDL_mixer.h>

namespace bg {
namespace {

// Effects are short; anything bigger is not one of ours.
constexpr std::uintmax_t kMaxSoundFile = 64u << 20;
// Channels beyond this steal the oldest instead of growing further.
constexpr int kMaxChannels = 32;

struct SdlSound : Sound {
  Mix_Chunk* chunk = nullptr;  // null while the game runs silent
  ~SdlSound() override {
    if (chunk) Mix_FreeChunk(chunk);
  }
};

// SDL_mixer does not close a stream whose format it cannot recognise, so
// the stream is ours to close.
Mix_Chunk* LoadChunk(const std::string& path) {
  SDL_RWops* rw = SDL_RWFromFile(path.c_str(), "rb");
  if (!rw) return nullptr;
  // Only WAV: the mixer would also try music formats, whose decoders leak on
  // damaged files.
  char head[12] = {};
  const bool wav = SDL_RWread(rw, head, 1, 12) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
                   std::memcmp(head + 8, "WAVE", 4) == 0;
  if (!wav || SDL_RWseek(rw, 0, RW_SEEK_SET) != 0) {
    SDL_RWclose(rw);
    return nullptr;
  }
  Mix_Chunk* chunk = Mix_LoadWAV_RW(rw, 0);
  SDL_RWclose(rw);
  return chunk;
}

}  // namespace

std::vector<std::string> SdlAudio::DriverOrder(const std::vector<std::string>& available, const char* requested) {
  std::vector<std::string> order;
  if (requested && *requested) {
    std::stringstream list(requested);
    for (std::string name; std::getline(list, name, ',');)
      if (!name.empty()) order.push_back(name);
    return order;
  }
  const std::string preferred = "FreeAudio Directsound";
  if (std::find(available.begin(), available.end(), preferred) != available.end()) order.push_back(preferred);
  for (const std::string& name : available)
    if (name != preferred && name != "disk" && name != "dummy") order.push_back(name);
  return order;
}

bool SdlAudio::Init() {
  if (open_) return true;
  std::vector<std::string> available;
  for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i)
    if (const char* name = SDL_GetAudioDriver(i)) available.push_back(name);
  // The game ends on its own terms: SDL must not take over SIGINT and SIGTERM.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  for (const std::string& name : DriverOrder(available, std::getenv("SDL_AUDIODRIVER"))) {
    // The hint must outrank the environment variable to pick this one driver.
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, name.c_str(), SDL_HINT_OVERRIDE);
    const bool up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (up && Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, 1024) == 0) {
      const char* current = SDL_GetCurrentAudioDriver();
      driver_ = current ? current : name;
      channels_ = Mix_AllocateChannels(1);
      Mix_Volume(-1, MIX_MAX_VOLUME);
      open_ = sdlUp_ = true;
      break;
    }
    if (up) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  return open_;
}

void SdlAudio::Shutdown() {
  if (open_) {
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
    open_ = false;
  }
  if (sdlUp_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  sdlUp_ = false;
  channels_ = 0;
}

SoundRef SdlAudio::LoadSound(const std::string& path, int) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxSoundFile) return nullptr;
  SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "verystrict");  // a cut-short file is refused, not half played
  auto s = std::make_shared<SdlSound>();
  s->path = path;
  if (open_) {
    s->chunk = LoadChunk(path);
    if (!s->chunk) return nullptr;
    return s;
  }
  // Silent: still refuse what could not be played, as an open device would.
  SDL_AudioSpec format;
  Uint8* buf = nullptr;
  Uint32 len = 0;
  if (!SDL_LoadWAV(path.c_str(), &format, &buf, &len)) return nullptr;
  SDL_FreeWAV(buf);
  return s;
}

void SdlAudio::PlaySound(Sound* s) {
  auto* sound = dynamic_cast<SdlSound*>(s);
  if (!open_ || !sound) return;
  // A sound loaded before the device was opened is decoded on its first play.
  if (!sound->chunk) sound->chunk = LoadChunk(sound->path);
  if (!sound->chunk) return;
  if (Mix_PlayChannel(-1, sound->chunk, 0) >= 0) return;
  if (channels_ < kMaxChannels) {
    channels_ = Mix_AllocateChannels(channels_ + 1);
    Mix_Volume(-1, MIX_MAX_VOLUME);
    if (Mix_PlayChannel(channels_ - 1, sound->chunk, 0) >= 0) return;
  }
  const int oldest = Mix_GroupOldest(-1);
  if (oldest >= 0) Mix_PlayChannel(oldest, sound->chunk, 0);
}

}  // namespace bg
