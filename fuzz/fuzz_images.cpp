// Picture loading (PNG, JPEG) from an untrusted file: no crash, and a picture that loads
// has the pixels its size says.
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/gfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bg;
  const std::string path = fuzz::WriteScratch("in.img", data, size);
  // Both flag sets: the colour-key pass only runs on masked pictures.
  for (int flags : {int(IMAGE_DEFAULT), 0}) {
    ImageRef img = LoadImage(path, flags);
    if (!img) return 0;
    fuzz::Check(img->width > 0 && img->height > 0, "loaded picture without a size");
    fuzz::Check(img->pixels.width == img->width && img->pixels.height == img->height, "pixmap size differs");
    fuzz::Check(img->pixels.rgba.size() == size_t(img->width) * size_t(img->height) * 4, "pixel buffer size");
  }
  return 0;
}
