#include "tests/support/world.h"

#include <unistd.h>

#include <fstream>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/startup.h"
#include "app/windows.h"
#include "net/events.h"
#include "net/host.h"
#include "net/net.h"
#include "net/serverlist.h"
#include "platform/random.h"

namespace bg::test {

namespace {
// The window's game, view and resources, the sessions and the options back to their start-up values.
void ResetGameState() {
  gGame = Game();
  gView = View();
  gRes = Resources();
  TNet::Reset();
  Hosting().Reset();
  TServerList::ClearList();
  TServerList::CloseSock();
  gOptions = DefaultOptions();
  SeedRnd(0x1234);
}
}  // namespace

World::World() {
  ResetGameState();
  SetGui(&gui);
  SetAudio(&audio);
  SetSessionEvents(&ThePresenter());
}

World::~World() {
  ResetGameState();
  SetSessionEvents(nullptr);
  ForgetGadgets();
  TTab::Tabs.clear();
  SExplosion.reset();
  SetAudio(nullptr);
  SetGui(nullptr);
  UseRealClock();
}

TempDir::TempDir() {
  char cwd[4096];
  old = getcwd(cwd, sizeof cwd) ? cwd : "/";
  if (path.empty() || chdir(path.c_str()) != 0) path.clear();
}
TempDir::~TempDir() {
  if (chdir(old.c_str()) != 0) path.clear();  // never remove a directory we may still be in
}

std::string ReadFile(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void WriteFile(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

bool World::Start() {
  std::string error;
  return Initialise(error, false);
}

Event World::Send(int id, Gadget* source, int data, int x, int y, ObjectRef extra) {
  Event ev;
  ev.id = id;
  ev.source = source;
  ev.data = data;
  ev.x = x;
  ev.y = y;
  ev.extra = std::move(extra);
  Hook(ev);
  return ev;
}

}  // namespace bg::test
