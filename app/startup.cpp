#include "app/startup.h"

#include <cstdio>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/windows.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "net/events.h"
#include "net/serverlist.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "platform/random.h"
#include "platform/sound.h"
#include "render/background.h"
#include "render/scale.h"

namespace bg {

namespace {
std::string DefaultName() {
  // Drawn every time, also when the file has a name, so what follows draws the same numbers.
  const char l1 = char(Rand(97, 122)), l2 = char(Rand(97, 122)), l3 = char(Rand(97, 122));
  return std::string(1, l3) + "Player" + l2 + l1;
}
}  // namespace

std::vector<std::string> LoadSettings(TVellIni& settings, Options& options) {
  settings.Sections = TSectionList();
  settings.Load();
  std::vector<std::string> replaced = ReadOptions(settings, options, DefaultName());
  // Rewritten at every start; a file that already reads exactly so is left
  // alone, which keeps waiting for the disk off the way to the first frame.
  if (!settings.Holds()) settings.Save(true);
  return replaced;
}

bool Initialise(std::string& error, bool requireResources) {
  SetSessionEvents(&ThePresenter());
  Delta::Start();
  const std::vector<std::string> replaced = LoadSettings(ini, gOptions);
  Blocks.clear();
  BlockA.Reset(1, 1);
  rseed = MilliSecs();
  TServerList::IPs = {gOptions.oListIP, "localhost"};
  TServerList::Ports = {TextToInt(gOptions.oListPort), 8201};
  Actions.clear();
  SPlayers.clear();
  Players.clear();
  LeavingPlayers.clear();
  SLeavingPlayers.clear();

  IBack1 = LoadSImage("res/back1.jpg");
  IBack2 = LoadSImage("res/back2.jpg");
  IBack3 = LoadSImage("res/back3.jpg");
  IBackImg = LoadSImage("res/back.jpg");
  IBlock = LoadSImage("res/block.png");
  IBlockRev = LoadSImage("res/blockrevealed.png");
  IFlag = LoadSImage("res/flag.png");
  IMine = LoadSImage("res/bomb.png");
  IMineImg = LoadImage("res/bomb.png");
  IClock = LoadSImage("res/clock.png");
  ITextBox = LoadSImage("res/textbox.png");
  SExplosion = TheAudio().LoadSound("res/expl.wav");
  FArialBold40 = LoadImageFont("res/arialbd.ttf", 40, 4);
  FArialBold20 = LoadImageFont("res/arialbd.ttf", 20, 4);
  if (requireResources) {
    const std::pair<bool, const char*> loaded[] = {
        {bool(IBack1), "res/back1.jpg"},     {bool(IBack2), "res/back2.jpg"},
        {bool(IBack3), "res/back3.jpg"},     {bool(IBackImg), "res/back.jpg"},
        {bool(IBlock), "res/block.png"},     {bool(IBlockRev), "res/blockrevealed.png"},
        {bool(IFlag), "res/flag.png"},       {bool(IMine && IMineImg), "res/bomb.png"},
        {bool(IClock), "res/clock.png"},     {bool(ITextBox), "res/textbox.png"},
        {bool(SExplosion), "res/expl.wav"},  {bool(FArialBold40 && FArialBold20), "res/arialbd.ttf"}};
    for (auto [ok, file] : loaded) {
      if (!ok) {
        error = std::string("Missing or unreadable resource file: ") + file;
        return false;
      }
    }
  }
  TheAudio().Init();

  color = {uint8_t(Rand(0, 255)), uint8_t(Rand(0, 255)), uint8_t(Rand(0, 255))};

  if (!BuildWindows()) {
    error.clear();  // no main window: end quietly
    return false;
  }
  for (const std::string& line : replaced) CPrint(line);
  Gui& gui = TheGui();
  SCALEX = float(gui.ClientWidth(gMainWindow)) / DEFWIDTH;
  SCALEY = float(gui.ClientHeight(gMainWindow)) / DEFHEIGHT;
  BACKSCALEX = SCALEX;
  BACKSCALEY = SCALEY;

  SeedRnd(MilliSecs());
  for (float& a : backalpha) a = float(Rnd(0.0, 1.0));
  for (int32_t& i : backalphainc) i = Rand(0, 1);
  for (int32_t& c : backcol) c = Rand(1, 3);
  backimg = {IBack1, IBack2, IBack3};

  gui.CreateTimer(70.0);
  gui.SetHook([](Event& ev) { return Hook(ev); });
  NewGame(gOptions.oWidth, gOptions.oHeight, gOptions.oMines, -1, 0.0f, -1);
  gui.Show(gMainWindow);
  return true;
}

int StartUp() {
  std::string error;
  if (!Initialise(error)) {
    if (!error.empty()) {
      std::fprintf(stderr, "Blastgrid: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  // Exit ends the process; the loop never ends by itself.
  for (;;) TheGui().WaitSystem();
}

}  // namespace bg
