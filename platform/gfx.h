#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// 2D drawing, pictures and fonts. Pictures and fonts are decoded on the CPU
// (no display needed); a drawing backend turns them into textures when drawn.
namespace bg {

// Straight (non-premultiplied) RGBA, 8 bits a channel, rows top to bottom.
struct Pixmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};

struct Image {
  int width = 0;
  int height = 0;
  Pixmap pixels;
  bool filtered = true;  // smooth when scaled
  // Backend cache (a texture); the backend owns what it puts here.
  std::shared_ptr<void> backend;
};
using ImageRef = std::shared_ptr<Image>;

struct Glyph {
  int x = 0, y = 0, w = 0, h = 0;  // place in the font's atlas
  int bearingX = 0, bearingY = 0;  // pen on the baseline to the glyph's top-left: x right, y up
  int advance = 0;
};

struct ImageFont {
  int size = 0;
  int ascent = 0, descent = 0, height = 0;
  Glyph glyphs[256];  // by Latin-1 code
  Pixmap atlas;       // white glyphs, coverage in alpha
  std::shared_ptr<void> backend;
};
using FontRef = std::shared_ptr<ImageFont>;

enum : int { MASKBLEND = 1, SOLIDBLEND = 2, ALPHABLEND = 3, LIGHTBLEND = 4, SHADEBLEND = 5 };
enum : int { IMAGE_MASKED = 2, IMAGE_FILTERED = 4, IMAGE_DEFAULT = -1 };
enum : int { GL_MODE_LINE = 0x1B01, GL_MODE_FILL = 0x1B02 };

// Loads a PNG or JPEG. flags -1: masked and filtered. Null on any failure.
ImageRef LoadImage(const std::string& path, int flags = IMAGE_DEFAULT);
// A TrueType font rendered at `size` pixels, smoothed. Null on failure.
FontRef LoadImageFont(const std::string& path, int size, int style = 4);

// One drawing context. The state lives here; backends draw.
class Gfx {
 public:
  virtual ~Gfx() = default;

  void SetColor(int r, int g, int b) { r_ = r; g_ = g; b_ = b; }
  void SetAlpha(float a) { alpha_ = a; }
  void SetBlend(int mode) { blend_ = mode; }
  void SetScale(float sx, float sy) { sx_ = sx; sy_ = sy; }
  void GetScale(float& sx, float& sy) const { sx = sx_; sy = sy_; }
  void SetRotation(float deg) { rot_ = deg; }
  void SetOrigin(float x, float y) { ox_ = x; oy_ = y; }
  void SetClsColor(int r, int g, int b) { cr_ = r; cg_ = g; cb_ = b; }
  void SetImageFont(ImageFont* f) { font_ = f; }

  virtual void SetViewport(int x, int y, int w, int h) = 0;
  virtual void Cls() = 0;
  virtual void DrawImage(Image* img, float x, float y) = 0;
  virtual void DrawRect(float x, float y, float w, float h) = 0;
  virtual void DrawLine(float x1, float y1, float x2, float y2) = 0;
  virtual void DrawText(const std::string& text, float x, float y) = 0;
  // GL_MODE_LINE: rectangles show their outline only; GL_MODE_FILL: filled.
  virtual void SetPolygonMode(int mode) = 0;
  virtual void Flip(int sync = -1) = 0;

 protected:
  int r_ = 255, g_ = 255, b_ = 255;
  float alpha_ = 1.0f;
  int blend_ = SOLIDBLEND;
  float sx_ = 1.0f, sy_ = 1.0f;
  float rot_ = 0.0f;
  float ox_ = 0.0f, oy_ = 0.0f;
  int cr_ = 0, cg_ = 0, cb_ = 0;
  ImageFont* font_ = nullptr;
};

// The current context; the drawing code works on it. Never null: a context
// that draws nothing stands in until a canvas makes its own current.
Gfx& G();
void SetGraphics(Gfx* gfx);

// A context that keeps the state and draws nothing; for display-free runs.
class NullGfx : public Gfx {
 public:
  void SetViewport(int, int, int, int) override {}
  void Cls() override {}
  void DrawImage(Image*, float, float) override {}
  void DrawRect(float, float, float, float) override {}
  void DrawLine(float, float, float, float) override {}
  void DrawText(const std::string&, float, float) override {}
  void SetPolygonMode(int mode) override { polygonMode = mode; }
  void Flip(int) override {}
  int polygonMode = GL_MODE_FILL;
};

}  // namespace bg
