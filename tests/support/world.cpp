#include "tests/support/world.h"

#include <unistd.h>

#include <fstream>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/record_windows.h"
#include "app/startup.h"
#include "app/windows.h"
#include "net/events.h"
#include "net/host.h"
#include "net/net.h"
#include "net/serverlist.h"
#include "platform/random.h"

namespace bg::test {

namespace {
// The gadgets die with their backend: no later test may find one of them in a global.
void ForgetGadgets() {
  for (Gadget** g : {&gMainWindow, &gCan, &gCanScore, &gHScroll, &gVScroll, &gOptionWindow, &gOptionWrap,
       &gOptionWrapTag, &gOptionSound, &gOptionSoundTag, &gOptionBombL, &gOptionBombLTag, &gOptionPan, &gOptionPanTag,
       &gOptionInvert, &gOptionInvertTag, &gOptionWidth, &gOptionWidthTag, &gOptionHeight, &gOptionHeightTag,
       &gOptionMines, &gOptionMinesTag, &gOptionOK, &gOptionCancel, &gMultiWindow, &gMultiTabber, &gSettingsColor,
       &gSettingsColbox, &gSettingsName, &gSettingsNameTag, &gDirectIP, &gDirectIPTag, &gDirectPort, &gDirectPortTag,
       &gDirectConnect, &gDirectHost, &gDisconnect, &gServerList, &gServerRefresh, &gServerJoin, &gServerHost,
       &gChatConsole, &gChatInp, &gChatSend, &gChatPList, &gAboutWindow, &gAboutText, &gWinWindow, &gWinText,
       &gWinTextTime, &menu_game, &menu_game_new, &menu_game_ratio, &menu_game_options, &menu_game_theme,
       &menu_game_exit, &menu_help, &menu_help_about, &menu_multiplayer_parent, &menu_multiplayer, &menu_player,
       &menu_player_slap, &menu_player_kick})
    *g = nullptr;
  TabSettings = TabDirect = TabServers = TabChat = nullptr;
}

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
  ResetRecordWindows();
  TTab::Tabs.clear();
  gRes.SExplosion.reset();
  SetAudio(nullptr);
  SetGui(nullptr);
  UseRealClock();
}

TempDir::TempDir() : old(std::filesystem::current_path()) {
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
  Event ev{.id = id, .source = source, .data = data, .x = x, .y = y, .extra = std::move(extra)};
  Hook(ev);
  return ev;
}

}  // namespace bg::test
