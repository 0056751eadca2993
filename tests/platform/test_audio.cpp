// SdlAudio through SDL's file-writing "disk" driver, so no sound card is needed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/backends/sdl_audio.h"
#include "tests/platform/fixtures.h"

namespace bg {
namespace {
using namespace bg::test;

TEST(SdlAudioDrivers, PrefersFreeAudioDirectsoundThenSdlOrder) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SdlAudio::DriverOrder({"winmm", "FreeAudio Directsound", "directsound"}, nullptr),
            (V{"FreeAudio Directsound", "winmm", "directsound"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"pulseaudio", "alsa", "disk", "dummy"}, ""), (V{"pulseaudio", "alsa"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"pulseaudio", "alsa", "disk"}, "disk"), (V{"disk"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"alsa"}, "pipewire,,alsa"), (V{"pipewire", "alsa"}));
}

// The loudest sample the disk driver wrote, once at least `bytes` of output exist.
int PeakOfOutput(const std::string& out, size_t bytes) {
  std::vector<uint8_t> data;
  // Generous: the deadline only stops a hang; a loaded machine writes the output late.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((data = ReadFile(out)).size() < bytes && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  int peak = 0;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    int16_t v;
    std::memcpy(&v, &data[i], 2);
    peak = std::max(peak, std::abs(int(v)));
  }
  return peak;
}

TEST(DiskAudio, PlaysLoadedSoundsOnGrowingChannelsAndRefusesBadFiles) {
  const std::string wav = TempPath("beep.wav");
  WriteWav(wav, 22050, 0.25, 440, 0.5);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  for (bool loadFirst : {false, true}) {  // start-up loads the sound before it opens the device
    const std::string out = TempPath(loadFirst ? "early.raw" : "late.raw");
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    SdlAudio audio;
    SoundRef early = loadFirst ? audio.LoadSound(wav) : nullptr;
    ASSERT_TRUE(audio.Init());
    EXPECT_EQ(audio.Driver(), "disk");
    SoundRef sound = loadFirst ? early : audio.LoadSound(wav);
    ASSERT_TRUE(sound);
    EXPECT_EQ(PeakOfOutput(out, 4000), 0) << "nothing played is silence";
    audio.PlaySound(sound.get());
    audio.PlaySound(sound.get());  // the first still plays: a second channel is added
    EXPECT_EQ(audio.Channels(), 2);
    EXPECT_GT(PeakOfOutput(out, 4000 + 22050), 8000);
    const auto bad = TempPath("bad.wav");
    WriteFile(bad, std::vector<uint8_t>(3000, 0x37));
    EXPECT_FALSE(audio.LoadSound(bad));
    const auto bytes = ReadFile(wav);
    WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    EXPECT_FALSE(audio.LoadSound(bad));
    EXPECT_FALSE(audio.LoadSound(TempPath("missing.wav")));
    EXPECT_FALSE(audio.LoadSound(TempDir()));
    audio.PlaySound(nullptr);
    audio.Shutdown();
  }
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);  // silent but safe
  SdlAudio none;
  EXPECT_FALSE(none.Init());
  auto sound = none.LoadSound(wav);
  ASSERT_TRUE(sound);
  none.PlaySound(sound.get());
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
}  // namespace bg
