#pragma once
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QRect>

#include <QOpenGLFramebufferObject>
#include <QOpenGLWidget>

#include "platform/backends/batch_gfx.h"

// OpenGL drawing for Qt 6. Drawing coordinates are logical (toolkit) pixels;
// the framebuffer is in device pixels, so HiDPI output stays sharp.
//
// Textures are made on first draw and cached in Image::backend /
// ImageFont::backend, tagged with the context's share group. The application
// must call QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts) before
// constructing QApplication so that every canvas shares one texture set;
// without it each context still draws correctly but uploads again whenever a
// picture moves to a context of another group.
namespace bg {

class GlSink;

class GlGfx : public BatchGfx {
 public:
  GlGfx();
  ~GlGfx() override;

  // With the context current (QOpenGLWidget::initializeGL). False when the
  // context cannot compile the shaders; drawing then does nothing.
  bool InitGL();
  // For a context that lives as long as the pictures: once a picture is a
  // texture, its pixels are freed (they are never read again).
  void DropPixelsAfterUpload();
  // Frees the GL objects; call with the same context current, e.g. from
  // QOpenGLContext::aboutToBeDestroyed.
  void ReleaseGL();
  // Starts a frame into the bound framebuffer (QOpenGLWidget::paintGL binds
  // its own). Resets the viewport to the whole canvas.
  void BeginFrame(int widthPx, int heightPx, float devicePixelRatio);
  // Sends what is queued; the toolkit presents the frame.
  void EndFrame();

  // Recording: what is drawn between BeginRecord and EndRecord is kept, not
  // sent, and needs no context. Compare then tells how the recorded frame
  // differs from the one last presented (WHOLE when `kept` is false: the
  // framebuffer no longer shows it).
  void BeginRecord(int widthPx, int heightPx, float devicePixelRatio);
  void EndRecord();
  Change Compare(bool kept);
  // With the context current and the canvas's framebuffer bound: draws what
  // Compare found changed (everything when `whole`), then remembers the frame
  // as the one shown.
  void Present(int widthPx, int heightPx, float devicePixelRatio, bool whole);
  // Takes the recorded frame as shown without drawing it (it was the same).
  void KeepShown();
  // Draws the frame last shown again, whole (context current, framebuffer bound).
  void RedrawShown(int widthPx, int heightPx, float devicePixelRatio);
  const std::vector<PixRect>& Damage() const { return damage_; }

 private:
  std::unique_ptr<GlSink> sink_;
  FrameRecord rec_, shown_;
  std::vector<PixRect> damage_;
  Change change_ = Change::WHOLE;
};

// A canvas drawn offscreen: every OffscreenCanvas draws with one OpenGL
// context (one set of shaders and textures) into its own framebuffer, and
// keeps the picture in memory for the toolkit to show as a plain image. The
// window then needs no OpenGL composition, and only the rectangles that
// changed are drawn, read back and shown again.
class OffscreenCanvas {
 public:
  OffscreenCanvas();
  ~OffscreenCanvas();
  OffscreenCanvas(const OffscreenCanvas&) = delete;
  OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

  GlGfx& Graphics() { return gfx_; }
  // Records what `paint` draws through G() for a canvas of this size.
  void Record(int widthPx, int heightPx, float devicePixelRatio, const std::function<void()>& paint);
  // Brings the picture up to the recorded frame: everything when `whole` or
  // the size changed, else what differs. Returns the rectangles changed, in
  // logical pixels (none when the picture stayed the same).
  std::vector<QRect> Present(bool whole);
  // Draws the current frame again whole (the picture drawing every frame would give).
  void RedrawWhole();
  // The picture, in device pixels; null before the first frame.
  const QImage& Picture() const { return image_; }
  // A picture of this size is there.
  bool Fits(int widthPx, int heightPx) const;

  long long presented = 0, partial = 0, skipped = 0;

 private:
  bool Bind();
  void ReadBack(const QRect& devicePixels);
  GlGfx gfx_;
  std::unique_ptr<QOpenGLFramebufferObject> fbo_;
  QImage image_;
  int wPx_ = 0, hPx_ = 0;
  float dpr_ = 1;
  bool recorded_ = false;
  std::vector<uint8_t> rows_;
};

// A ready canvas: paintGL makes its GlGfx current (SetGraphics) and calls
// onPaint, which draws through G(). It stays current afterwards; drawing
// outside a frame is ignored.
class GlCanvasWidget : public QOpenGLWidget {
 public:
  explicit GlCanvasWidget(QWidget* parent = nullptr);
  ~GlCanvasWidget() override;

  std::function<void()> onPaint;
  GlGfx& Graphics() { return gfx_; }

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  void Release();
  GlGfx gfx_;
};

}  // namespace bg
