#pragma once
#include <memory>
#include <string>

#include "platform/gfx.h"

// Pictures laid out in design units: each carries its own scale factors and is
// drawn through the design scale, so the board grows with the window.
namespace bg {

class TSImage {
 public:
  static std::shared_ptr<TSImage> Create(ImageRef img, float scX, float scY);
  void SetScales(float x, float y) { scX = x; scY = y; }
  void SetScalesRelative(float size);
  Image* GetImage() const { return img.get(); }
  int Width() const { return img ? img->width : 0; }
  int Height() const { return img ? img->height : 0; }

  ImageRef img;
  float scX = 0.0f;
  float scY = 0.0f;
};
using SImageRef = std::shared_ptr<TSImage>;

SImageRef LoadSImage(const std::string& path, float scX = 1.0f, float scY = 1.0f, int flags = IMAGE_DEFAULT);

// Scaled drawing on the current context; each leaves the context's scale as it found it.
struct Scale;
void DrawSImage(const Scale& s, const TSImage* image, float x, float y);
void DrawSText(const Scale& s, const std::string& text, float x, float y);
void DrawSRect(const Scale& s, float x, float y, float w, float h, int thickness);
void SetDrawMode(int mode);

}  // namespace bg
