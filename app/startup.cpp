#include "app/startup.h"

#include <cstdio>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/hook.h"
#include "app/presenter.h"
#include "app/windows.h"
#include "minefield/game.h"
#include "net/host.h"
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

bool Initialise(std::string& error, bool requireResources, const std::string& resDir) {
  SetSessionEvents(&ThePresenter());
  gView = View{};
  gView.lastFrame = MilliSecs();
  const std::vector<std::string> replaced = LoadSettings(ini, gOptions);
  gGame = Game{};
  TServerList::IPs = {gOptions.oListIP, "localhost"};
  TServerList::Ports = {TextToInt(gOptions.oListPort), 8201};
  Hosting().Reset();

  const auto res = [&resDir](const char* file) { return resDir + "/" + file; };
  gRes.IBack1 = LoadSImage(res("back1.jpg"));
  gRes.IBack2 = LoadSImage(res("back2.jpg"));
  gRes.IBack3 = LoadSImage(res("back3.jpg"));
  gRes.IBackImg = LoadSImage(res("back.jpg"));
  gRes.IBlock = LoadSImage(res("block.png"));
  gRes.IBlockRev = LoadSImage(res("blockrevealed.png"));
  gRes.IFlag = LoadSImage(res("flag.png"));
  gRes.IMine = LoadSImage(res("bomb.png"));
  gRes.IMineImg = LoadImage(res("bomb.png"));
  gRes.IClock = LoadSImage(res("clock.png"));
  gRes.ITextBox = LoadSImage(res("textbox.png"));
  gRes.SExplosion = TheAudio().LoadSound(res("expl.wav"));
  gRes.FArialBold40 = LoadImageFont(res("arialbd.ttf"), 40, 4);
  gRes.FArialBold20 = LoadImageFont(res("arialbd.ttf"), 20, 4);
  if (requireResources) {
    const std::pair<bool, const char*> loaded[] = {
        {bool(gRes.IBack1), "back1.jpg"},     {bool(gRes.IBack2), "back2.jpg"},
        {bool(gRes.IBack3), "back3.jpg"},     {bool(gRes.IBackImg), "back.jpg"},
        {bool(gRes.IBlock), "block.png"},     {bool(gRes.IBlockRev), "blockrevealed.png"},
        {bool(gRes.IFlag), "flag.png"},       {bool(gRes.IMine && gRes.IMineImg), "bomb.png"},
        {bool(gRes.IClock), "clock.png"},     {bool(gRes.ITextBox), "textbox.png"},
        {bool(gRes.SExplosion), "expl.wav"},  {bool(gRes.FArialBold40 && gRes.FArialBold20), "arialbd.ttf"}};
    for (auto [ok, file] : loaded) {
      if (!ok) {
        error = "Missing or unreadable resource file: " + res(file);
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
  Scale& sc = gView.scale;
  sc.SCALEX = float(gui.ClientWidth(gMainWindow)) / sc.DEFWIDTH;
  sc.SCALEY = float(gui.ClientHeight(gMainWindow)) / sc.DEFHEIGHT;
  sc.BACKSCALEX = sc.SCALEX;
  sc.BACKSCALEY = sc.SCALEY;

  gView.rng.Seed(MilliSecs());
  StartBackground(gView, gRes);

  gui.CreateTimer(70.0);
  gui.SetHook([](Event& ev) { return Hook(ev); });
  NewGame(gOptions.oWidth, gOptions.oHeight, gOptions.oMines, -1, 0.0f, -1);
  gui.Show(gMainWindow);
  return true;
}

int StartUp(const std::string& resDir) {
  std::string error;
  if (!Initialise(error, true, resDir)) {
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
