#pragma once
#include "platform/backends/gl_gfx.h"
#include "platform/backends/qt_gadget.h"

// The toolkit objects behind QtGui's gadgets, for tests that look at the real widgets.
namespace bg::test {
inline QtGadget* QtOf(Gadget* g) { return static_cast<QtGadget*>(g); }
inline QWidget* WidgetOf(Gadget* g) { return QtOf(g)->widget; }
inline QImage CanvasPicture(Gadget* canvas) { return QtOf(canvas)->canvas->Picture(); }
}  // namespace bg::test
