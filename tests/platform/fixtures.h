#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Pictures, sounds and fonts made or found at test time, so the tests do not
// depend on the game's own resources.
namespace bg::test {

// A fresh directory under the system temp dir, removed at exit.
std::string TempDir();
std::string TempPath(const std::string& name);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// PNG or JPEG by the path's extension, from packed RGB (3 channels) or RGBA (4) rows;
// quality -1 is the encoder's default.
void WritePicture(const std::string& path, int w, int h, int channels, const std::vector<uint8_t>& px,
                  int quality = -1);
// 1-bit PNG, pixels alternating white and black along each row.
void WriteMonoPng(const std::string& path, int w, int h);
// A valid small PNG whose header claims w x h.
std::vector<uint8_t> PngHeaderOnly(uint32_t w, uint32_t h);

// 16-bit mono PCM sine.
void WriteWav(const std::string& path, int rate, double seconds, double hz, double amplitude);

// A TrueType font the machine has (fonts-liberation2 or DejaVu); empty if none.
std::string FindFont();

}  // namespace bg::test
