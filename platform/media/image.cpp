// PNG and JPEG decoding straight into straight-alpha RGBA. Every file is
// untrusted: any failure, including a file cut short, yields nullptr.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "platform/gfx.h"

namespace bg {
namespace {

// Size cap, checked from the header before any pixel memory is taken:
// at most 16384 pixels a side and 64 M pixels (256 MiB of RGBA).
constexpr unsigned kMaxSide = 16384;
constexpr unsigned long long kMaxPixels = 64ull << 20;
// Progressive JPEGs with thousands of scans cost a full pass each; real ones have a few dozen.
constexpr int kMaxJpegScans = 256;

bool SizeOk(unsigned long long w, unsigned long long h) {
  return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// Lives in the caller, outside the decoder's setjmp frame, so a longjmp
// neither skips a destructor nor leaves it indeterminate.
struct Decoded {
  int w = 0, h = 0;
  bool alpha = false;
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
};

bool Allocate(Decoded& out, unsigned w, unsigned h) {
  try {
    out.w = int(w);
    out.h = int(h);
    out.rgba.resize(size_t(w) * h * 4);
    out.rows.resize(h);
    for (unsigned y = 0; y < h; ++y) out.rows[y] = out.rgba.data() + size_t(y) * w * 4;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngQuiet(png_structp, png_const_charp) {}

bool DecodePng(FILE* f, Decoded& out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngQuiet);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, f);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (!SizeOk(w, h)) png_error(png, "too large");
  const int type = png_get_color_type(png, info);
  out.alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);  // palette, grey below 8 bits and tRNS become 8-bit channels
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "layout");
  if (!Allocate(out, w, h)) png_error(png, "memory");
  png_read_image(png, out.rows.data());
  png_read_end(png, nullptr);  // so a file cut after its pixel data is refused too
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

struct JpegJob {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr c) {
  std::longjmp(reinterpret_cast<JpegJob*>(c->client_data)->jump, 1);
}

// Damaged entropy data would otherwise decode to grey filler; refuse it instead.
void JpegMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  switch (c->err->msg_code) {
    case JWRN_JPEG_EOF: case JWRN_HIT_MARKER: case JWRN_MUST_RESYNC: case JWRN_HUFF_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL: case JWRN_BOGUS_PROGRESSION: case JWRN_TOO_MUCH_DATA:
      JpegFail(c);
    default:
      break;
  }
}

void JpegProgress(j_common_ptr c) {
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxJpegScans) JpegFail(c);
}

bool DecodeJpeg(FILE* f, JpegJob& job, Decoded& out) {
  jpeg_decompress_struct& ci = job.cinfo;
  ci.err = jpeg_std_error(&job.err);
  job.err.error_exit = JpegFail;
  job.err.emit_message = JpegMessage;
  job.progress.progress_monitor = JpegProgress;
  if (setjmp(job.jump)) {
    jpeg_destroy_decompress(&ci);
    return false;
  }
  jpeg_create_decompress(&ci);
  ci.client_data = &job;
  ci.progress = &job.progress;
  jpeg_stdio_src(&ci, f);
  jpeg_read_header(&ci, TRUE);
  if (!SizeOk(ci.image_width, ci.image_height)) JpegFail(reinterpret_cast<j_common_ptr>(&ci));
  ci.out_color_space = JCS_EXT_RGBA;  // alpha filled with 255
  jpeg_start_decompress(&ci);
  if (ci.output_components != 4 || !Allocate(out, ci.output_width, ci.output_height))
    JpegFail(reinterpret_cast<j_common_ptr>(&ci));
  while (ci.output_scanline < ci.output_height) {
    if (jpeg_read_scanlines(&ci, &out.rows[ci.output_scanline], 1) != 1) JpegFail(reinterpret_cast<j_common_ptr>(&ci));
  }
  jpeg_finish_decompress(&ci);
  jpeg_destroy_decompress(&ci);
  return true;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

ImageRef LoadImage(const std::string& path, int flags) {
  if (flags == IMAGE_DEFAULT) flags = IMAGE_MASKED | IMAGE_FILTERED;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;  // devices and pipes could block or never end
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  unsigned char sig[8] = {};
  const size_t got = std::fread(sig, 1, sizeof sig, file.get());
  std::rewind(file.get());

  Decoded d;
  bool ok = false;
  if (got == 8 && png_sig_cmp(sig, 0, 8) == 0) {
    ok = DecodePng(file.get(), d);
  } else if (got >= 3 && sig[0] == 0xFF && sig[1] == 0xD8 && sig[2] == 0xFF) {
    auto job = std::make_unique<JpegJob>();
    ok = DecodeJpeg(file.get(), *job, d);
  }
  if (!ok) return nullptr;

  // Pictures without alpha use pure black as their transparent colour.
  if ((flags & IMAGE_MASKED) && !d.alpha) {
    for (size_t i = 0; i < d.rgba.size(); i += 4)
      if (d.rgba[i] == 0 && d.rgba[i + 1] == 0 && d.rgba[i + 2] == 0) d.rgba[i + 3] = 0;
  }
  auto img = std::make_shared<Image>();
  img->width = img->pixels.width = d.w;
  img->height = img->pixels.height = d.h;
  img->pixels.rgba = std::move(d.rgba);
  img->filtered = (flags & IMAGE_FILTERED) != 0;
  return img;
}

}  // namespace bg
