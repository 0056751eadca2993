#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx.h"

// Turns the drawing calls into batches of textured quads, apart from any GPU
// API: a sink receives each batch (GlSink submits it to OpenGL, NullSink only
// counts it), so our own CPU cost can be measured on its own.
namespace bg {

// One corner of a quad. Positions are logical (toolkit) pixels.
struct Vertex {
  float x, y;
  float u, v;
  uint8_t rgba[4];  // straight alpha; clamped when the quad is made
};

// What a quad samples: a picture, a font atlas, or nothing (plain colour).
struct TexSource {
  const Pixmap* pixels = nullptr;
  std::shared_ptr<void>* cache = nullptr;  // the backend's texture for `pixels`
  bool filtered = false;
};

// Receives batches in drawing order.
class DrawSink {
 public:
  virtual ~DrawSink() = default;
  // `quads` quads of four vertices each, in order around the quad.
  virtual void Draw(const TexSource& tex, int blend, const Vertex* v, int quads) = 0;
  // Clip rectangle, logical pixels, top-left origin.
  virtual void Clip(int x, int y, int w, int h) = 0;
  // Fills the clip rectangle.
  virtual void Clear(uint8_t r, uint8_t g, uint8_t b) = 0;
};

class NullSink : public DrawSink {
 public:
  void Draw(const TexSource&, int, const Vertex*, int n) override { ++batches; quads += n; }
  void Clip(int, int, int, int) override { ++clips; }
  void Clear(uint8_t, uint8_t, uint8_t) override { ++clears; }
  long long batches = 0, quads = 0, clips = 0, clears = 0;
};

// A rectangle in logical pixels.
struct PixRect {
  int x = 0, y = 0, w = 0, h = 0;
};

// One frame's drawing as the sink received it, kept so that the next frame
// can be compared with it and only what differs redrawn.
class FrameRecord : public DrawSink {
 public:
  enum Kind : uint8_t { DRAW, CLIP, CLEAR };
  struct Cmd {
    Kind kind;
    bool filtered;
    uint8_t rgb[3];
    int blend;
    const Pixmap* pixels;
    std::shared_ptr<void>* cache;
    int first, quads;    // DRAW: quads[first .. first + quads)
    PixRect rect;        // CLIP
  };

  void Reset() { cmds.clear(); verts.clear(); }
  void Draw(const TexSource& tex, int blend, const Vertex* v, int quads) override;
  void Clip(int x, int y, int w, int h) override;
  void Clear(uint8_t r, uint8_t g, uint8_t b) override;

  // Sends the frame to `sink`. With `only`, just what lies inside it: the
  // clip is narrowed to it and quads wholly outside are left out, which gives
  // the same pixels inside `only` as the whole frame when the frame begins
  // with a clear.
  void Replay(DrawSink& sink, const PixRect* only = nullptr) const;
  int Quads() const { return int(verts.size() / 4); }

  std::vector<Cmd> cmds;
  std::vector<Vertex> verts;
};

// How to bring a canvas that shows `before` up to `after`.
enum class Change { NONE, PART, WHOLE };
// PART fills `damage` with rectangles (logical pixels, clipped to the canvas)
// outside which both frames give the same pixels.
Change Compare(const FrameRecord& before, const FrameRecord& after, std::vector<PixRect>& damage);

class Batcher {
 public:
  static constexpr int kMaxQuads = 16384;  // 65536 vertices: 16-bit indices suffice

  explicit Batcher(DrawSink* sink = nullptr) : verts_(size_t(256) * 4), sink_(sink) {}
  void SetSink(DrawSink* sink) { Flush(); sink_ = sink; }
  DrawSink* Sink() const { return sink_; }

  // Room for one quad's four vertices; a new texture or blend mode, or a
  // full buffer, first sends what is queued.
  Vertex* Add(const TexSource& tex, int blend) {
    if (tex.pixels != tex_.pixels || blend != blend_ || count_ == kMaxQuads) Restart(tex, blend);
    // Grows to what frames need (small fields never need the whole buffer).
    if (size_t(count_) * 4 == verts_.size()) verts_.resize(std::min(verts_.size() * 2, size_t(kMaxQuads) * 4));
    return &verts_[size_t(count_++) * 4];
  }
  void Flush();

  long long submitted = 0;  // batches handed to the sink

 private:
  void Restart(const TexSource& tex, int blend);

  std::vector<Vertex> verts_;
  DrawSink* sink_;
  TexSource tex_;
  int blend_ = -1;
  int count_ = 0;
};

// The drawing state of Gfx turned into quads. Rotation is clockwise on the
// screen, about the drawing handle (the top-left corner), after scaling.
class BatchGfx : public Gfx {
 public:
  explicit BatchGfx(DrawSink* sink = nullptr) : batch_(sink) {}

  void SetViewport(int x, int y, int w, int h) override;
  void Cls() override;
  void DrawImage(Image* img, float x, float y) override;
  void DrawRect(float x, float y, float w, float h) override;
  void DrawLine(float x1, float y1, float x2, float y2) override;
  void DrawText(const std::string& text, float x, float y) override;
  void SetPolygonMode(int mode) override { polygonMode_ = mode; }
  void Flip(int sync = -1) override;

  Batcher& Batches() { return batch_; }

 protected:
  void SetSink(DrawSink* sink) { batch_.SetSink(sink); }

 private:
  void UpdateBasis();
  void RecomputeBasis();
  // The local rectangle (lx, ly, w, h), scaled and rotated, placed at (ax, ay).
  void Quad(const TexSource& tex, float ax, float ay, float lx, float ly, float w, float h,
            float u0, float v0, float u1, float v1);
  void PackColour();

  Batcher batch_;
  int polygonMode_ = GL_MODE_FILL;
  // Scale and rotation as two basis vectors, recomputed only when they change.
  float basisFor_[3] = {1.0f, 1.0f, 0.0f};
  float ex_[2] = {1.0f, 0.0f}, ey_[2] = {0.0f, 1.0f};
  uint8_t colour_[4] = {};
};

}  // namespace bg
