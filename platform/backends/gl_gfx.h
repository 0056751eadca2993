#pragma once
#include <functional>
#include <memory>

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
  // Frees the GL objects; call with the same context current, e.g. from
  // QOpenGLContext::aboutToBeDestroyed.
  void ReleaseGL();
  // Starts a frame into the bound framebuffer (QOpenGLWidget::paintGL binds
  // its own). Resets the viewport to the whole canvas.
  void BeginFrame(int widthPx, int heightPx, float devicePixelRatio);
  // Sends what is queued; the toolkit presents the frame.
  void EndFrame();

  float LogicalWidth() const;
  float LogicalHeight() const;

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
