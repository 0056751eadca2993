// Sound loading as the game does it: SDL's WAV reader (used while the game runs silent) and
// SDL_mixer's loader (used with an open device), straight from memory. Without an open
// device the mixer refuses to load anything ("Audio device hasn't been opened"), so one is
// opened on SDL's "dummy" driver, which plays into nothing.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Far longer than any sound effect; keeps every input quick.
static constexpr size_t kMaxInput = 1 << 20;

// The harness closes the sources itself: SDL_mixer 2.6.2 does not close one it cannot
// identify even when asked to, and that leak would mask everything else.
static void LoadBoth(const uint8_t* data, size_t size) {
  SDL_AudioSpec format;
  Uint8* buf = nullptr;
  Uint32 len = 0;
  SDL_RWops* src = SDL_RWFromConstMem(data, int(size));
  if (!src) return;  // SDL refuses a memory source of no bytes
  if (SDL_LoadWAV_RW(src, 0, &format, &buf, &len)) SDL_FreeWAV(buf);
  SDL_RWclose(src);
  // The game hands the mixer only files with a WAV header (its music decoders leak).
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return;
  src = SDL_RWFromConstMem(data, int(size));
  if (Mix_Chunk* chunk = Mix_LoadWAV_RW(src, 0)) Mix_FreeChunk(chunk);
  SDL_RWclose(src);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, 1024) != 0) {
    std::fprintf(stderr, "cannot open the dummy audio device: %s\n", SDL_GetError());
    std::abort();
  }
  // As the game sets it: a file cut short is refused rather than half loaded.
  SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "verystrict");
  // SDL keeps its error message in a buffer it allocates on the first error of a thread;
  // taken now, it is not counted as a leak of whichever input fails first.
  static const uint8_t bad[] = {'R', 'I', 'F', 'F', 0, 0};
  LoadBoth(bad, sizeof bad);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  LoadBoth(data, size);
  return 0;
}
