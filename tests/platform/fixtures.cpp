#include "tests/platform/fixtures.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

namespace bg::test {
namespace fs = std::filesystem;

namespace {
struct TempRoot {
  std::string path;
  TempRoot() {
    std::string tmpl = (fs::temp_directory_path() / "bg-platform-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
    path = tmpl;
  }
  ~TempRoot() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
}  // namespace

std::string TempDir() {
  static TempRoot root;
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

void WritePng(const std::string& path, int w, int h, int colorType, int bitDepth,
              const std::vector<uint8_t>& data, bool interlaced) {
  const int channels = colorType == PNG_COLOR_TYPE_RGB ? 3 : colorType == PNG_COLOR_TYPE_RGBA ? 4
                       : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  const size_t stride = (size_t(w) * channels * bitDepth + 7) / 8;
  if (data.size() < stride * size_t(h)) throw std::runtime_error("short pixel data");
  std::vector<png_bytep> rows(static_cast<size_t>(h));  // before setjmp: a longjmp must not skip its destructor
  for (int y = 0; y < h; ++y) rows[size_t(y)] = const_cast<png_bytep>(data.data() + size_t(y) * stride);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("open " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    throw std::runtime_error("png write");
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), bitDepth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void WritePngRgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  WritePng(path, w, h, PNG_COLOR_TYPE_RGB, 8, rgb);
}
void WritePngRgba(const std::string& path, int w, int h, const std::vector<uint8_t>& rgba) {
  WritePng(path, w, h, PNG_COLOR_TYPE_RGBA, 8, rgba);
}

std::vector<uint8_t> PngChunk(const char type[4], const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  const uint32_t n = uint32_t(payload.size());
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(n >> s));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), payload.begin(), payload.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  crc = crc32(crc, payload.data(), uInt(payload.size()));
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(crc >> s));
  return out;
}

std::vector<uint8_t> PngHeaderOnly(uint32_t w, uint32_t h) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  for (uint32_t v : {w, h})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(uint8_t(v >> s));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, not interlaced
  const auto a = PngChunk("IHDR", ihdr);
  // One tiny compressed row, far short of the claimed picture.
  std::vector<uint8_t> raw(64, 0), packed(128);
  uLongf len = uLongf(packed.size());
  compress(packed.data(), &len, raw.data(), uLong(raw.size()));
  packed.resize(len);
  const auto b = PngChunk("IDAT", packed);
  const auto c = PngChunk("IEND", {});
  file.insert(file.end(), a.begin(), a.end());
  file.insert(file.end(), b.begin(), b.end());
  file.insert(file.end(), c.begin(), c.end());
  return file;
}

void WriteJpeg(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("open " + path);
  jpeg_compress_struct ci;
  jpeg_error_mgr err;
  ci.err = jpeg_std_error(&err);
  jpeg_create_compress(&ci);
  jpeg_stdio_dest(&ci, f);
  ci.image_width = JDIMENSION(w);
  ci.image_height = JDIMENSION(h);
  ci.input_components = 3;
  ci.in_color_space = JCS_RGB;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, quality, TRUE);
  jpeg_start_compress(&ci, TRUE);
  while (ci.next_scanline < ci.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + size_t(ci.next_scanline) * w * 3);
    jpeg_write_scanlines(&ci, &row, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  std::fclose(f);
}

void WriteWav(const std::string& path, int rate, double seconds, double hz, double amplitude) {
  const uint32_t frames = uint32_t(rate * seconds), bytes = frames * 2;
  std::vector<uint8_t> out;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
  auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
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
