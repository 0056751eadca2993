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
  EXPECT_EQ(SdlAudio::DriverOrder({"winmm", "FreeAudio Directsound", "directsound"}, nullptr),
            (std::vector<std::string>{"FreeAudio Directsound", "winmm", "directsound"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"pulseaudio", "alsa", "disk", "dummy"}, ""),
            (std::vector<std::string>{"pulseaudio", "alsa"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"pulseaudio", "alsa", "disk"}, "disk"), (std::vector<std::string>{"disk"}));
  EXPECT_EQ(SdlAudio::DriverOrder({"alsa"}, "pipewire,,alsa"), (std::vector<std::string>{"pipewire", "alsa"}));
}

class DiskAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    out = TempPath("disk_audio.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    wav = TempPath("beep.wav");
    WriteWav(wav, 22050, 0.25, 440, 0.5);
  }
  void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }
  std::string out, wav;
};

TEST_F(DiskAudio, PlayedWavReachesTheOutput) {
  SdlAudio audio;
  ASSERT_TRUE(audio.Init());
  EXPECT_EQ(audio.Driver(), "disk");
  EXPECT_EQ(audio.Channels(), 1);
  auto sound = audio.LoadSound(wav);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->path, wav);
  const auto t0 = std::chrono::steady_clock::now();
  audio.PlaySound(sound.get());
  audio.PlaySound(sound.get());  // the first still plays: a second channel is added
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
  EXPECT_EQ(audio.Channels(), 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  audio.Shutdown();

  const auto bytes = ReadFile(out);
  ASSERT_GT(bytes.size(), 1000u);
  int peak = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    int16_t s;
    std::memcpy(&s, &bytes[i], 2);
    peak = std::max(peak, std::abs(int(s)));
  }
  EXPECT_GT(peak, 8000);
}

// Start-up loads the sound before it opens the device; it must still play.
TEST_F(DiskAudio, SoundLoadedBeforeTheDeviceOpensStillPlays) {
  SdlAudio audio;
  auto sound = audio.LoadSound(wav);
  ASSERT_TRUE(sound);
  ASSERT_TRUE(audio.Init());
  audio.PlaySound(sound.get());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  audio.Shutdown();
  const auto bytes = ReadFile(out);
  int peak = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    int16_t v;
    std::memcpy(&v, &bytes[i], 2);
    peak = std::max(peak, std::abs(int(v)));
  }
  EXPECT_GT(peak, 8000);
}

TEST_F(DiskAudio, NothingPlayedIsSilence) {
  SdlAudio audio;
  ASSERT_TRUE(audio.Init());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  audio.Shutdown();
  const auto bytes = ReadFile(out);
  ASSERT_GT(bytes.size(), 1000u);
  for (uint8_t b : bytes) ASSERT_EQ(b, 0);
}

TEST_F(DiskAudio, BadSoundFilesGiveNull) {
  SdlAudio audio;
  ASSERT_TRUE(audio.Init());
  EXPECT_FALSE(audio.LoadSound(TempPath("missing.wav")));
  EXPECT_FALSE(audio.LoadSound(TempDir()));
  const auto bad = TempPath("bad.wav");
  WriteFile(bad, std::vector<uint8_t>(3000, 0x37));
  EXPECT_FALSE(audio.LoadSound(bad));
  const auto bytes = ReadFile(wav);
  WriteFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
  EXPECT_FALSE(audio.LoadSound(bad));
  audio.PlaySound(nullptr);
}

TEST_F(DiskAudio, NoWorkingDriverMeansSilentButSafe) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  SdlAudio audio;
  EXPECT_FALSE(audio.Init());
  EXPECT_FALSE(audio.IsOpen());
  auto sound = audio.LoadSound(wav);
  ASSERT_TRUE(sound);  // still a valid sound; it just is not heard
  audio.PlaySound(sound.get());
  const auto bad = TempPath("bad2.wav");
  WriteFile(bad, std::vector<uint8_t>(3000, 0x37));
  EXPECT_FALSE(audio.LoadSound(bad));
  EXPECT_FALSE(audio.LoadSound(TempPath("missing.wav")));
}

}  // namespace
}  // namespace bg
