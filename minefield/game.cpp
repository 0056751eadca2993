#include "minefield/game.h"

#include <cmath>
#include <string>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/windows.h"
#include "net/net.h"
#include "net/players.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "platform/sound.h"
#include "render/background.h"
#include "render/console.h"
#include "render/scale.h"

namespace bg {

uint8_t GameStatus = 0;
int32_t Mines = 13;
uint8_t BombLose = 0;
int32_t rseed = 0;
float GameTime = 0.0f;
int32_t wtime = 0;
float DeltaTime = 0.001f;
TBlock* MouseBlock = nullptr;

float Delta::Time = 0.0f;
int32_t Delta::TimeDelay = 0;
int32_t Delta::FPS = 0;
int32_t Delta::mFPS = 0;
uint16_t Delta::__d = 0;

void Delta::Start() { TimeDelay = MilliSecs(); }

void Delta::Update() {
  const int32_t elapsed = MilliSecs() - TimeDelay;
  Time = float(elapsed) * 0.001f;
  const int32_t now = MilliSecs();
  if (now - TimeDelay > 0) FPS = 1000 / (now - TimeDelay);
  TimeDelay = MilliSecs();
  DeltaTime = Time;
  __d = uint16_t(int32_t(__d) + int32_t(Time * 1000.0f));
  if (__d >= 1000) {
    mFPS = FPS;
    __d = 0;
  }
}

int32_t Delta::GetFPS(uint8_t mode) { return mode == 1 ? mFPS : mode == 0 ? FPS : 0; }

bool GameSetupValid(int32_t width, int32_t height, int32_t mines) {
  if (width < 1 || height < 1) return false;
  const int64_t n = int64_t(width) * int64_t(height);
  if (n > kMaxBlocks) return false;
  return int64_t(mines) < n - 12;
}

uint8_t StartGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose) {
  if (!GameSetupValid(width, height, mines)) return 0;

  if (width != BlockAW || height != BlockAH) {
    DEFWIDTH = float(TBlock::Size * width + 52);
    DEFHEIGHT = float(TBlock::Size * height + 52);
    for (const SImageRef& img : {IBack1, IBack2, IBack3})
      if (img && img->Width() > 0 && img->Height() > 0)
        img->SetScales(DEFWIDTH / float(img->Width()), DEFHEIGHT / float(img->Height()));
    backimg = {IBack1, IBack2, IBack3};
    if (IBackImg) IBackImg->SetScales(DEFWIDTH / 700.0f, DEFHEIGHT / 900.0f);
    winr = DEFWIDTH / DEFHEIGHT;
    WindowSetToRatio(DEFWIDTH);
  }

  Wrapping = wrap == -1 ? oWrap : wrap;
  StartBlocks(width, height);
  Mines = mines;
  BombLose = bomblose == -1 ? oBombLose : uint8_t(bomblose);
  wtime = 0;
  GameStatus = 0;
  GameTime = gametime;
  TBlock::flags = 0;

  for (const PlayerRef& p : Players) {
    p->score = 0;
    p->FindScore();
    p->out = 0;
  }
  for (const PlayerRef& p : LeavingPlayers) std::erase(Players, p);
  PlayerlistRefresh();
  for (const PlayerRef& p : SLeavingPlayers) std::erase(SPlayers, p);
  return 1;
}

namespace {
void RevealAll(const TBlock* origin) {
  for (TBlock& b : Blocks) b.Reveal(nullptr, 0, origin, 1);
}

void ShowWinWindow() {
  if (!gWinWindow) return;
  Gui& gui = TheGui();
  if (gMainWindow) PlaceWinWindow();
  gui.Show(gWinWindow);
  if (gMainWindow) gui.Disable(gMainWindow);
  if (gCan) gui.Disable(gCan);
  gui.Activate(gWinWindow);
}

std::string TimeText() { return "Time Taken: " + std::to_string(wtime) + " secs."; }
}  // namespace

int32_t ClickBlock(TBlock* block, uint8_t button, TPlayer* player) {
  if (!block) return 0;
  if (player && player->out == 1) return 0;
  if (button == 1) {
    const uint8_t foreign = (player && block->fpid != player->id) ? 1 : 0;
    if (TBlock::NumRevealed() == 0 && (block->flag == 0 || foreign == 1))
      MakeMines(block->x, block->y, Mines, TNet::NetStatus > 0 ? rseed : -1);
    if (block->flag == 1 && foreign == 0) return 0;
    const uint8_t unflag = player ? 0 : 1;
    if (block->Revealed == 0 && block->Value == -1 && BombLose == 1) {
      block->Reveal(player, unflag, nullptr, 1);
      if (player) player->out = 1;
      bool anyIn = false;
      for (const PlayerRef& p : Players) anyIn = anyIn || p->out == 0;
      if (!anyIn) {
        RevealAll(nullptr);
        if (oSound == 1) TheAudio().PlaySound(SExplosion.get());
        GameStatus = 2;
        if (player) MPWin();
      }
    } else if (block->Revealed == 0) {
      block->Reveal(player, unflag, nullptr, 1);
      if (TBlock::CoveredSafe() == 0) {
        GameStatus = 2;
        RevealAll(block);
        if (player)
          MPWin();
        else
          SPWin();
      }
    }
  } else if (button == 2) {
    if (!player)
      block->ToggleFlag(nullptr);
    else if (block->flag == 0 || block->fpid == player->id)
      block->ToggleFlag(player);
  }
  return 0;
}

int32_t SPWin() {
  if (GameStatus == 0) return 0;
  wtime = int32_t(GameTime);
  if (gWinText) TheGui().SetText(gWinText, "You have won!");
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText());
  ShowWinWindow();
  return 0;
}

int32_t MPWin() {
  if (GameStatus == 0) return 0;
  for (const PlayerRef& p : Players) p->FindScore();
  wtime = int32_t(GameTime);
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText());
  const std::vector<PlayerRef> ranking = RankByScore(Players);
  CPrint("----------");
  CPrint("  Scores  ");
  for (const PlayerRef& p : ranking) CPrint(p->name + " scored: " + std::to_string(p->score));
  if (gWinText && !ranking.empty()) TheGui().SetText(gWinText, ranking.front()->name + " has won!");
  ShowWinWindow();
  return 0;
}

int32_t Update() {
  MouseBlock = nullptr;
  Delta::Update();
  if (GameStatus < 2) GameTime += Delta::Time;
  TBlock::UpdateBlocks();
  return 0;
}

}  // namespace bg
