#include "render/simage.h"

#include "render/scale.h"

namespace bg {

std::shared_ptr<TSImage> TSImage::Create(ImageRef img, float scX, float scY) {
  auto s = std::make_shared<TSImage>();
  s->img = std::move(img);
  s->scX = scX;
  s->scY = scY;
  return s;
}

void TSImage::SetScalesRelative(float size) {
  if (!img || img->width <= 0 || img->height <= 0) return;
  scX = size / float(img->width);
  scY = size / float(img->height);
}

SImageRef LoadSImage(const std::string& path, float scX, float scY, int flags) {
  ImageRef img = LoadImage(path, flags);
  if (!img) return nullptr;
  return TSImage::Create(std::move(img), scX, scY);
}

void DrawSImage(const Scale& s, const TSImage* image, float x, float y) {
  if (!image || !image->img) return;
  Gfx& g = G();
  float sx, sy;
  g.GetScale(sx, sy);
  g.SetScale(s.SCALEX * image->scX * sx, s.SCALEY * image->scY * sy);
  g.DrawImage(image->img.get(), x * s.SCALEX, y * s.SCALEY);
  g.SetScale(sx, sy);
}

void DrawSText(const Scale& s, const std::string& text, float x, float y) {
  Gfx& g = G();
  float sx, sy;
  g.GetScale(sx, sy);
  g.SetScale(s.SCALEX * sx, s.SCALEY * sy);
  g.DrawText(text, x * s.SCALEX, y * s.SCALEY);
  g.SetScale(sx, sy);
}

void DrawSRect(const Scale& s, float x, float y, float w, float h, int thickness) {
  Gfx& g = G();
  for (int i = 0; i < thickness; ++i) {
    const float fi = float(i);
    g.DrawRect(x * s.SCALEX - fi, y * s.SCALEY - fi, w * s.SCALEX + 2 * fi, h * s.SCALEY + 2 * fi);
  }
}

void SetDrawMode(int mode) { G().SetPolygonMode(mode); }

}  // namespace bg
