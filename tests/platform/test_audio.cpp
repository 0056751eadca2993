// SdlAudio through SDL's file-writing "disk" driver, so no sound card is needed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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

// The loudest sample the disk driver wrote from byte `from` on, once `bytes` more exist or
// one is louder than `enough`. The driver writes in real time whatever the test does, so a
// sound is looked for after the point where it was started, however late that is.
int PeakOfOutput(const std::string& out, size_t from, size_t bytes, int enough = 1 << 16) {
  // Generous: the deadline only stops a hang; a loaded machine writes the output late.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    const std::vector<uint8_t> data = ReadFile(out);
    int peak = 0;
    for (size_t i = from & ~size_t(1); i + 1 < data.size(); i += 2)
      peak = std::max(peak, std::abs(int(int16_t(data[i] | data[i + 1] << 8))));  // little-endian samples
    if (peak > enough || data.size() >= from + bytes || std::chrono::steady_clock::now() >= end) return peak;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
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
    EXPECT_EQ(PeakOfOutput(out, 0, 4000), 0) << "nothing played is silence";
    const size_t started = ReadFile(out).size();
    audio.PlaySound(sound.get());
    audio.PlaySound(sound.get());  // the first still plays: a second channel is added
    EXPECT_EQ(audio.Channels(), 2);
    EXPECT_GT(PeakOfOutput(out, started, 10 * 44100 * 4, 8000), 8000) << "no sound within 10 s of output";
    const auto bytes = ReadFile(wav);
    WriteFile(TempPath("junk.wav"), std::vector<uint8_t>(3000, 0x37));
    WriteFile(TempPath("half.wav"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    for (const std::string& bad : {TempPath("junk.wav"), TempPath("half.wav"), TempPath("missing.wav"), TempDir()})
      EXPECT_FALSE(audio.LoadSound(bad)) << bad;
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
