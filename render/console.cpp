#include "render/console.h"

#include "app/gadgets.h"

namespace bg {

namespace {
// The console keeps the last lines only: a chatty or hostile game must not
// grow it (and the program) without end.
constexpr size_t kConsoleKeep = 128 * 1024;
size_t gAppended = 0;
}  // namespace

void CPrint(const std::string& text) {
  if (!gChatConsole) return;
  Gui& gui = TheGui();
  const bool hidden = gui.Hidden(gChatConsole);
  gui.AddText(gChatConsole, "\n " + text);
  gAppended += text.size() + 2;
  if (gAppended > kConsoleKeep) {
    // Checked now and then, so a long console costs no copy per line.
    gAppended = 0;
    const std::string all = gui.Text(gChatConsole);
    if (all.size() > 2 * kConsoleKeep) {
      const size_t from = all.find('\n', all.size() - kConsoleKeep);
      gui.SetText(gChatConsole, from == std::string::npos ? std::string() : all.substr(from));
    }
  }
  if (hidden) gui.Hide(gChatConsole);
}

}  // namespace bg
