#include "render/console.h"

#include "app/gadgets.h"

namespace bg {

void CPrint(const std::string& text) {
  if (!gChatConsole) return;
  Gui& gui = TheGui();
  const bool hidden = gui.Hidden(gChatConsole);
  gui.AddText(gChatConsole, "\n " + text);
  if (hidden) gui.Hide(gChatConsole);
}

}  // namespace bg
