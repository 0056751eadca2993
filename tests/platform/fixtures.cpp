#include "tests/platform/fixtures.h"

#include "tests/support/scratch.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <QBuffer>
#include <QImage>
#include <zlib.h>

namespace bg::test {
namespace fs = std::filesystem;

std::string TempDir() {
  static const ScratchDir root;
  return root.path;
}

std::string TempPath(const std::string& name) { return TempDir() + "/" + name; }

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Qt's encoders write the pictures, so the decoders under test meet files they did not make.
void WritePicture(const std::string& path, int w, int h, int channels, const std::vector<uint8_t>& px, int quality) {
  if (px.size() < size_t(w) * size_t(h) * size_t(channels)) throw std::runtime_error("short pixel data");
  const QImage img(px.data(), w, h, w * channels, channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  if (!img.save(QString::fromStdString(path), nullptr, quality)) throw std::runtime_error("write " + path);
}

void WriteMonoPng(const std::string& path, int w, int h) {
  QImage img(w, h, QImage::Format_Mono);
  img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < h; ++y) std::memset(img.scanLine(y), 0xAA, size_t(img.bytesPerLine()));
  if (!img.save(QString::fromStdString(path), "PNG")) throw std::runtime_error("write " + path);
}

std::vector<uint8_t> PngHeaderOnly(uint32_t w, uint32_t h) {
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  QImage(1, 1, QImage::Format_RGBA8888).save(&buf, "PNG");
  std::vector<uint8_t> file(bytes.begin(), bytes.end());
  // IHDR comes first: its width and height, then its CRC over type and payload.
  for (int i = 0; i < 4; ++i) file[16 + i] = uint8_t(w >> (24 - 8 * i)), file[20 + i] = uint8_t(h >> (24 - 8 * i));
  const uLong crc = crc32(0, file.data() + 12, 17);
  for (int i = 0; i < 4; ++i) file[29 + i] = uint8_t(crc >> (24 - 8 * i));
  return file;
}

void WriteWav(const std::string& path, int rate, double seconds, double hz, double amplitude) {
  const uint32_t frames = uint32_t(rate * seconds), bytes = frames * 2;
  std::vector<uint8_t> out;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
  auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(t[i])); };
  tag("RIFF"); u32(36 + bytes); tag("WAVE");
  tag("fmt "); u32(16); u16(1); u16(1); u32(uint32_t(rate)); u32(uint32_t(rate) * 2); u16(2); u16(16);
  tag("data"); u32(bytes);
  for (uint32_t i = 0; i < frames; ++i)
    u16(uint16_t(int16_t(std::lround(32767.0 * amplitude * std::sin(2 * M_PI * hz * i / rate)))));
  WriteFile(path, out);
}

std::string FindFont() {
  for (const char* p : {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                        "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"})
    if (fs::exists(p)) return p;
  return "";
}

}  // namespace bg::test
