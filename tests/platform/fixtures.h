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

// PNG through libpng. colorType: PNG_COLOR_TYPE_*; `data` holds packed rows
// at the given bit depth.
void WritePng(const std::string& path, int w, int h, int colorType, int bitDepth,
              const std::vector<uint8_t>& data, bool interlaced = false);
void WritePngRgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb);
void WritePngRgba(const std::string& path, int w, int h, const std::vector<uint8_t>& rgba);
// PNG chunks by hand, for files libpng would not write.
std::vector<uint8_t> PngChunk(const char type[4], const std::vector<uint8_t>& payload);
std::vector<uint8_t> PngHeaderOnly(uint32_t w, uint32_t h);

void WriteJpeg(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb, int quality = 95);

// 16-bit mono PCM sine.
void WriteWav(const std::string& path, int rate, double seconds, double hz, double amplitude);

// A TrueType font the machine has (fonts-liberation2 or DejaVu); empty if none.
std::string FindFont();

}  // namespace bg::test
