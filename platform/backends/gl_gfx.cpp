#include "platform/backends/gl_gfx.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <QOpenGLBuffer>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>

namespace bg {
namespace {

// Textures outlive neither their share group nor their image. An image may
// die with no context current, so its texture name waits here until the next
// frame in that group; a group's names vanish with the group.
struct Registry {
  std::mutex mutex;
  uint64_t next = 0;
  std::unordered_map<QOpenGLContextGroup*, uint64_t> groups;
  std::unordered_map<uint64_t, std::vector<GLuint>> graves;  // one entry per live group
};
Registry& Reg() {
  static Registry* r = new Registry;  // never destroyed: images may die after static teardown
  return *r;
}

uint64_t GroupSerial(QOpenGLContextGroup* g) {
  Registry& r = Reg();
  std::lock_guard lock(r.mutex);
  auto it = r.groups.find(g);
  if (it != r.groups.end()) return it->second;
  const uint64_t serial = ++r.next;
  r.groups[g] = serial;
  r.graves[serial];
  QObject::connect(g, &QObject::destroyed, [g] {
    Registry& reg = Reg();
    std::lock_guard l(reg.mutex);
    auto found = reg.groups.find(g);
    if (found == reg.groups.end()) return;
    reg.graves.erase(found->second);
    reg.groups.erase(found);
  });
  return serial;
}

struct GlTexture {
  GLuint id = 0;
  uint64_t group = 0;
  bool filtered = false;
  ~GlTexture() {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    auto it = r.graves.find(group);
    if (it != r.graves.end()) it->second.push_back(id);
  }
};

constexpr const char* kVertexShader = R"(
#if __VERSION__ >= 130
#define attribute in
#define varying out
#endif
attribute vec2 aPos;
attribute vec2 aUv;
attribute vec4 aColor;
uniform vec4 uProj;
varying vec2 vUv;
varying vec4 vColor;
void main() {
  vUv = aUv;
  vColor = aColor;
  gl_Position = vec4(aPos * uProj.xy + uProj.zw, 0.0, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(
#if __VERSION__ >= 130
#define varying in
#define texture2D texture
out vec4 fragColor;
#else
#define fragColor gl_FragColor
#endif
uniform sampler2D uTex;
uniform float uAlphaTest;
varying vec2 vUv;
varying vec4 vColor;
void main() {
  vec4 c = texture2D(uTex, vUv) * vColor;
  if (c.a < uAlphaTest) discard;
  fragColor = c;
}
)";

std::shared_ptr<QOpenGLShaderProgram> Compile(QOpenGLContext* ctx) {
  const bool core = ctx->format().profile() == QSurfaceFormat::CoreProfile;
  const QByteArray head = ctx->isOpenGLES() ? "#version 100\nprecision mediump float;\n"
                          : core            ? "#version 150\n"
                                            : "#version 120\n";
  auto prog = std::make_shared<QOpenGLShaderProgram>();
  if (!prog->addShaderFromSourceCode(QOpenGLShader::Vertex, head + kVertexShader) ||
      !prog->addShaderFromSourceCode(QOpenGLShader::Fragment, head + kFragmentShader))
    return nullptr;
  prog->bindAttributeLocation("aPos", 0);
  prog->bindAttributeLocation("aUv", 1);
  prog->bindAttributeLocation("aColor", 2);
  if (!prog->link()) return nullptr;
  return prog;
}

}  // namespace

class GlSink : public DrawSink, protected QOpenGLFunctions {
 public:
  bool Init();
  void Release();
  bool Begin(int wPx, int hPx, float dpr);
  void End();
  void Draw(const TexSource& tex, int blend, const Vertex* v, int quads) override;
  void Clip(int x, int y, int w, int h) override;
  void Clear(uint8_t r, uint8_t g, uint8_t b) override;

  float width = 0, height = 0;  // logical
  bool dropPixels = false;

 private:
  // Draws, clips and clears wait here until the frame ends (or a texture's
  // filter changes), so the frame's vertices go to OpenGL in one buffer: Mesa's
  // software renderer pays dearly for every buffer refilled mid-frame.
  struct Op {
    enum Kind : uint8_t { DRAW, CLIP, CLEAR } kind;
    int blend;
    GLuint texture;
    int first, quads;  // DRAW: vertices from first * 4
    int x, y, w, h;    // CLIP: device pixels, OpenGL's rows
    uint8_t rgb[3];    // CLEAR
  };
  bool Live() const { return active_ && QOpenGLContext::currentContext() == ctx_; }
  GLuint Texture(const TexSource& tex);
  void Blend(int mode);
  void Attributes(size_t firstVertex = 0);
  void Run();

  QOpenGLContext* ctx_ = nullptr;
  uint64_t group_ = 0;
  std::shared_ptr<QOpenGLShaderProgram> prog_;
  std::unique_ptr<QOpenGLVertexArrayObject> vao_;
  GLuint vbo_ = 0, ibo_ = 0;
  int uProj_ = -1, uAlphaTest_ = -1, uTex_ = -1;
  GLint maxTexture_ = 0;
  int fbW_ = 0, fbH_ = 0;
  float dpr_ = 1;
  int blend_ = -1;
  GLuint bound_ = 0;
  bool active_ = false;
  std::vector<Op> ops_;
  std::vector<Vertex> pending_;
  Pixmap white_{1, 1, {255, 255, 255, 255}};
  std::shared_ptr<void> whiteCache_;
};

bool GlSink::Init() {
  QOpenGLContext* ctx = QOpenGLContext::currentContext();
  if (!ctx) return false;
  if (ctx_ == ctx) return prog_ != nullptr;
  // A previous context's objects died with it (Release ran or could not).
  prog_.reset();
  vao_.reset();
  vbo_ = ibo_ = 0;
  whiteCache_.reset();
  ctx_ = ctx;
  initializeOpenGLFunctions();
  group_ = GroupSerial(ctx->shareGroup());

  // One program per context, however many canvases draw with it.
  static QOpenGLContext* programFor = nullptr;
  static std::weak_ptr<QOpenGLShaderProgram> program;
  if (programFor == ctx) prog_ = program.lock();
  if (!prog_) {
    prog_ = Compile(ctx);
    if (!prog_) return false;
    programFor = ctx;
    program = prog_;
  }
  uProj_ = prog_->uniformLocation("uProj");
  uAlphaTest_ = prog_->uniformLocation("uAlphaTest");
  uTex_ = prog_->uniformLocation("uTex");

  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture_);
  glGenBuffers(1, &vbo_);
  glGenBuffers(1, &ibo_);
  std::vector<uint16_t> idx(size_t(Batcher::kMaxQuads) * 6);
  for (int q = 0; q < Batcher::kMaxQuads; ++q) {
    const uint16_t b = uint16_t(q * 4);
    const uint16_t quad[6] = {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 2), uint16_t(b + 3), b};
    std::copy(quad, quad + 6, idx.begin() + q * 6);
  }
  auto vao = std::make_unique<QOpenGLVertexArrayObject>();
  if (vao->create()) {
    vao_ = std::move(vao);
    vao_->bind();
  }
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(idx.size() * sizeof(uint16_t)), idx.data(), GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, vbo_);
  Attributes();
  if (vao_) vao_->release();
  return true;
}

void GlSink::Attributes(size_t firstVertex) {
  const size_t base = firstVertex * sizeof(Vertex);
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(base + offsetof(Vertex, x)));
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(base + offsetof(Vertex, u)));
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                        reinterpret_cast<void*>(base + offsetof(Vertex, rgba)));
}

void GlSink::Release() {
  active_ = false;
  ops_.clear();
  pending_.clear();
  if (!ctx_ || QOpenGLContext::currentContext() != ctx_) return;
  whiteCache_.reset();
  if (vbo_) glDeleteBuffers(1, &vbo_);
  if (ibo_) glDeleteBuffers(1, &ibo_);
  vbo_ = ibo_ = 0;
  vao_.reset();
  prog_.reset();
  std::vector<GLuint> dead;
  {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    dead.swap(r.graves[group_]);
  }
  if (!dead.empty()) glDeleteTextures(GLsizei(dead.size()), dead.data());
  ctx_ = nullptr;
}

bool GlSink::Begin(int wPx, int hPx, float dpr) {
  active_ = false;
  if (!prog_ || QOpenGLContext::currentContext() != ctx_ || wPx <= 0 || hPx <= 0) return false;
  std::vector<GLuint> dead;
  {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    dead.swap(r.graves[group_]);
  }
  if (!dead.empty()) glDeleteTextures(GLsizei(dead.size()), dead.data());

  fbW_ = wPx;
  fbH_ = hPx;
  dpr_ = dpr > 0 ? dpr : 1.0f;
  width = float(wPx) / dpr_;
  height = float(hPx) / dpr_;
  // Qt or the application may have touched any state since the last frame.
  glViewport(0, 0, wPx, hPx);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);  // the canvas stays opaque for the compositor
  glActiveTexture(GL_TEXTURE0);
  prog_->bind();
  prog_->setUniformValue(uProj_, 2.0f / width, -2.0f / height, -1.0f, 1.0f);
  prog_->setUniformValue(uTex_, 0);
  glBindBuffer(GL_ARRAY_BUFFER, vbo_);
  if (vao_) {
    vao_->bind();
  } else {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
    Attributes();
  }
  blend_ = -1;
  bound_ = 0;
  ops_.clear();
  pending_.clear();
  active_ = true;
  return true;
}

void GlSink::Run() {
  if (ops_.empty()) return;
  if (!pending_.empty())
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(pending_.size() * sizeof(Vertex)), pending_.data(), GL_STREAM_DRAW);
  for (const Op& op : ops_) {
    switch (op.kind) {
      case Op::CLIP: glScissor(op.x, op.y, op.w, op.h); break;
      case Op::CLEAR:
        glClearColor(op.rgb[0] / 255.0f, op.rgb[1] / 255.0f, op.rgb[2] / 255.0f, 1.0f);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        break;
      case Op::DRAW:
        if (op.texture != bound_) {
          glBindTexture(GL_TEXTURE_2D, op.texture);
          bound_ = op.texture;
        }
        Blend(op.blend);
        Attributes(size_t(op.first) * 4);
        glDrawElements(GL_TRIANGLES, op.quads * 6, GL_UNSIGNED_SHORT, nullptr);
        break;
    }
  }
  ops_.clear();
  pending_.clear();
}

void GlSink::End() {
  if (!Live()) return;
  Run();
  active_ = false;
  if (vao_) vao_->release();
  prog_->release();
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_BLEND);
}

GLuint GlSink::Texture(const TexSource& src) {
  const TexSource tex = src.pixels ? src : TexSource{&white_, &whiteCache_, false};
  auto* have = static_cast<GlTexture*>(tex.cache->get());
  if (have && have->group == group_) {
    if (have->filtered != tex.filtered) {
      Run();  // the waiting draws sample it with the old filter
      have->filtered = tex.filtered;
      glBindTexture(GL_TEXTURE_2D, have->id);
      bound_ = have->id;
      const GLint f = tex.filtered ? GL_LINEAR : GL_NEAREST;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
    }
    return have->id;
  }
  const Pixmap& p = *tex.pixels;
  if (p.width <= 0 || p.height <= 0 || p.width > maxTexture_ || p.height > maxTexture_ ||
      p.rgba.size() != size_t(p.width) * p.height * 4)
    return 0;
  auto made = std::make_shared<GlTexture>();
  glGenTextures(1, &made->id);
  made->group = group_;
  made->filtered = tex.filtered;
  glBindTexture(GL_TEXTURE_2D, made->id);
  bound_ = made->id;
  const GLint f = tex.filtered ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, p.width, p.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
  *tex.cache = made;  // a texture of another group goes to that group's graves
  // The one context of the offscreen canvases lives for the whole run, so its
  // textures never need the pictures' pixels again.
  if (dropPixels && tex.pixels != &white_) std::vector<uint8_t>().swap(const_cast<Pixmap*>(tex.pixels)->rgba);
  return made->id;
}

void GlSink::Blend(int mode) {
  if (mode < MASKBLEND || mode > SHADEBLEND) mode = SOLIDBLEND;
  if (mode == blend_) return;
  blend_ = mode;
  prog_->setUniformValue(uAlphaTest_, mode == MASKBLEND ? 0.5f : -1.0f);
  switch (mode) {
    case MASKBLEND:
    case SOLIDBLEND: glDisable(GL_BLEND); break;
    case ALPHABLEND: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case LIGHTBLEND: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
    case SHADEBLEND: glEnable(GL_BLEND); glBlendFunc(GL_DST_COLOR, GL_ZERO); break;
  }
}

void GlSink::Draw(const TexSource& tex, int blend, const Vertex* v, int quads) {
  if (!Live() || quads <= 0) return;
  const GLuint id = Texture(tex);
  if (!id) return;
  Op op{};
  op.kind = Op::DRAW;
  op.blend = blend;
  op.texture = id;
  op.first = int(pending_.size() / 4);
  op.quads = quads;
  ops_.push_back(op);
  pending_.insert(pending_.end(), v, v + size_t(quads) * 4);
}

void GlSink::Clip(int x, int y, int w, int h) {
  if (!Live()) return;
  const auto dev = [this](float v) { return int(std::lround(v * dpr_)); };
  const int x0 = dev(float(x)), x1 = dev(float(x) + float(std::max(w, 0)));
  const int y0 = dev(float(y)), y1 = dev(float(y) + float(std::max(h, 0)));
  Op op{};
  op.kind = Op::CLIP;
  op.x = x0;
  op.y = fbH_ - y1;
  op.w = x1 - x0;
  op.h = y1 - y0;
  ops_.push_back(op);
}

void GlSink::Clear(uint8_t r, uint8_t g, uint8_t b) {
  if (!Live()) return;
  Op op{};
  op.kind = Op::CLEAR;
  op.rgb[0] = r;
  op.rgb[1] = g;
  op.rgb[2] = b;
  ops_.push_back(op);
}

GlGfx::GlGfx() : sink_(std::make_unique<GlSink>()) { SetSink(sink_.get()); }
GlGfx::~GlGfx() { SetSink(nullptr); }

bool GlGfx::InitGL() { return sink_->Init(); }
void GlGfx::DropPixelsAfterUpload() { sink_->dropPixels = true; }
void GlGfx::ReleaseGL() {
  Batches().Flush();
  sink_->Release();
}

void GlGfx::BeginFrame(int widthPx, int heightPx, float devicePixelRatio) {
  Batches().Flush();  // anything drawn outside a frame is dropped here
  if (sink_->Begin(widthPx, heightPx, devicePixelRatio))
    SetViewport(0, 0, int(std::ceil(sink_->width)), int(std::ceil(sink_->height)));
}

void GlGfx::EndFrame() {
  Flip();
  sink_->End();
}

void GlGfx::BeginRecord(int widthPx, int heightPx, float devicePixelRatio) {
  Batches().Flush();
  rec_.Reset();
  SetSink(&rec_);
  const float dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0f;
  SetViewport(0, 0, int(std::ceil(float(widthPx) / dpr)), int(std::ceil(float(heightPx) / dpr)));
}

void GlGfx::EndRecord() {
  Flip();
  SetSink(sink_.get());
}

Change GlGfx::Compare(bool kept) {
  damage_.clear();
  change_ = kept ? bg::Compare(shown_, rec_, damage_) : Change::WHOLE;
  return change_;
}

void GlGfx::Present(int widthPx, int heightPx, float devicePixelRatio, bool whole) {
  if (sink_->Begin(widthPx, heightPx, devicePixelRatio)) {
    if (whole || change_ == Change::WHOLE) {
      rec_.Replay(*sink_);
    } else {
      for (const PixRect& r : damage_) rec_.Replay(*sink_, &r);
    }
    sink_->End();
  }
  KeepShown();
}

void GlGfx::KeepShown() { std::swap(rec_, shown_); }

void GlGfx::RedrawShown(int widthPx, int heightPx, float devicePixelRatio) {
  if (!sink_->Begin(widthPx, heightPx, devicePixelRatio)) return;
  shown_.Replay(*sink_);
  sink_->End();
}


GlCanvasWidget::GlCanvasWidget(QWidget* parent) : QOpenGLWidget(parent) {}

GlCanvasWidget::~GlCanvasWidget() {
  if (context()) disconnect(context(), nullptr, this, nullptr);
  Release();
  if (&G() == &gfx_) SetGraphics(nullptr);
}

void GlCanvasWidget::Release() {
  if (!context()) return;
  makeCurrent();
  gfx_.ReleaseGL();
  doneCurrent();
}

void GlCanvasWidget::initializeGL() {
  gfx_.InitGL();
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { Release(); });
}

void GlCanvasWidget::paintGL() {
  const qreal dpr = devicePixelRatioF();
  gfx_.BeginFrame(int(width() * dpr + 0.5), int(height() * dpr + 0.5), float(dpr));
  SetGraphics(&gfx_);
  if (onPaint) onPaint();
  gfx_.EndFrame();
}

}  // namespace bg

namespace bg {
namespace {

// The one context of every offscreen canvas, made on first use and kept for
// the run (its textures and shaders serve every canvas).
struct SharedContext {
  QOffscreenSurface* surface = nullptr;
  QOpenGLContext* context = nullptr;
  bool failed = false;
};
SharedContext& Shared() {
  static SharedContext* s = new SharedContext;  // outlives the canvases at exit
  return *s;
}

bool MakeSharedCurrent() {
  SharedContext& s = Shared();
  if (s.failed) return false;
  if (!s.context) {
    s.context = new QOpenGLContext;
    if (QOpenGLContext* global = QOpenGLContext::globalShareContext()) s.context->setShareContext(global);
    if (!s.context->create()) {
      s.failed = true;
      return false;
    }
    s.surface = new QOffscreenSurface;
    s.surface->setFormat(s.context->format());
    s.surface->create();
  }
  if (QOpenGLContext::currentContext() == s.context) return true;
  return s.context->makeCurrent(s.surface);
}

// Nothing stays current between frames: Qt then has no thread state to keep at exit.
void DoneShared() {
  SharedContext& s = Shared();
  if (s.context && QOpenGLContext::currentContext() == s.context) s.context->doneCurrent();
}

}  // namespace

OffscreenCanvas::OffscreenCanvas() { gfx_.DropPixelsAfterUpload(); }

OffscreenCanvas::~OffscreenCanvas() {
  if (fbo_ && MakeSharedCurrent()) {
    gfx_.ReleaseGL();
    fbo_.reset();
    DoneShared();
  } else {
    (void)fbo_.release();  // the context is gone: so is the framebuffer
  }
  if (&G() == &gfx_) SetGraphics(nullptr);
}

void OffscreenCanvas::Record(int widthPx, int heightPx, float dpr, const std::function<void()>& paint) {
  gfx_.BeginRecord(widthPx, heightPx, dpr);
  SetGraphics(&gfx_);
  if (paint) paint();
  gfx_.EndRecord();
  wPx_ = widthPx;
  hPx_ = heightPx;
  dpr_ = dpr > 0 ? dpr : 1.0f;
  recorded_ = true;
}

bool OffscreenCanvas::Fits(int widthPx, int heightPx) const {
  return fbo_ && !image_.isNull() && image_.width() == widthPx && image_.height() == heightPx;
}

bool OffscreenCanvas::Bind() {
  if (wPx_ <= 0 || hPx_ <= 0 || !MakeSharedCurrent()) return false;
  if (!gfx_.InitGL()) return false;
  if (!fbo_ || fbo_->width() != wPx_ || fbo_->height() != hPx_) {
    fbo_ = std::make_unique<QOpenGLFramebufferObject>(wPx_, hPx_);
    image_ = QImage(wPx_, hPx_, QImage::Format_RGB32);
    image_.setDevicePixelRatio(dpr_);
  }
  return fbo_->isValid() && fbo_->bind();
}

std::vector<QRect> OffscreenCanvas::Present(bool whole) {
  std::vector<QRect> changed;
  if (!recorded_) return changed;
  const bool kept = !whole && Fits(wPx_, hPx_);
  const Change c = gfx_.Compare(kept);
  if (c == Change::NONE) {
    gfx_.KeepShown();
    ++skipped;
    return changed;
  }
  if (!Bind()) {
    DoneShared();
    return changed;
  }
  gfx_.Present(wPx_, hPx_, dpr_, c == Change::WHOLE);
  const QRect all(0, 0, wPx_, hPx_);
  if (c == Change::WHOLE) {
    ReadBack(all);
    changed.push_back(QRect(0, 0, int(std::ceil(float(wPx_) / dpr_)), int(std::ceil(float(hPx_) / dpr_))));
  } else {
    ++partial;
    for (const PixRect& r : gfx_.Damage()) {
      const QRect logical(r.x, r.y, r.w, r.h);
      const QRect dev = QRect(QPoint(int(std::floor(r.x * dpr_)), int(std::floor(r.y * dpr_))),
                              QPoint(int(std::ceil((r.x + r.w) * dpr_)) - 1, int(std::ceil((r.y + r.h) * dpr_)) - 1)) & all;
      ReadBack(dev);
      changed.push_back(logical);
    }
  }
  fbo_->release();
  DoneShared();
  ++presented;
  return changed;
}

void OffscreenCanvas::RedrawWhole() {
  if (!Fits(wPx_, hPx_) || !Bind()) {
    DoneShared();
    return;
  }
  gfx_.RedrawShown(wPx_, hPx_, dpr_);
  ReadBack(QRect(0, 0, wPx_, hPx_));
  fbo_->release();
  DoneShared();
}

void OffscreenCanvas::ReadBack(const QRect& r) {
  if (r.isEmpty()) return;
  QOpenGLContext* ctx = QOpenGLContext::currentContext();
  QOpenGLFunctions* f = ctx->functions();
  const bool es = ctx->isOpenGLES();
  const size_t rowBytes = size_t(r.width()) * 4;
  f->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // OpenGL counts rows from the bottom.
  const int glY = hPx_ - r.y() - r.height();
  if (!es) {
    // Straight into the picture, bottom row first, then turned over in place:
    // no second canvas-sized buffer is kept.
    constexpr GLenum kPackRowLength = 0x0D02, kBgra = 0x80E1;
    f->glPixelStorei(kPackRowLength, GLint(image_.bytesPerLine() / 4));
    f->glReadPixels(r.x(), glY, r.width(), r.height(), kBgra, GL_UNSIGNED_BYTE, image_.scanLine(r.y()) + size_t(r.x()) * 4);
    f->glPixelStorei(kPackRowLength, 0);
    rows_.resize(rowBytes);
    for (int top = r.y(), bottom = r.y() + r.height() - 1; top <= bottom; ++top, --bottom) {
      uint8_t* a = image_.scanLine(top) + size_t(r.x()) * 4;
      uint8_t* b = image_.scanLine(bottom) + size_t(r.x()) * 4;
      if (top != bottom) {
        std::memcpy(rows_.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, rows_.data(), rowBytes);
        for (size_t i = 3; i < rowBytes; i += 4) b[i] = 255;
      }
      for (size_t i = 3; i < rowBytes; i += 4) a[i] = 255;
    }
    return;
  }
  rows_.resize(size_t(r.height()) * rowBytes);
  f->glReadPixels(r.x(), glY, r.width(), r.height(), GL_RGBA, GL_UNSIGNED_BYTE, rows_.data());
  for (int y = 0; y < r.height(); ++y) {
    uint8_t* dst = image_.scanLine(r.y() + y) + size_t(r.x()) * 4;
    const uint8_t* src = rows_.data() + size_t(r.height() - 1 - y) * rowBytes;
    std::memcpy(dst, src, rowBytes);
    for (size_t i = 0; i < rowBytes; i += 4) std::swap(dst[i], dst[i + 2]);
    for (size_t i = 3; i < rowBytes; i += 4) dst[i] = 255;
  }
  rows_ = {};
}

}  // namespace bg
