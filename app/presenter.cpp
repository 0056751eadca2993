#include "app/presenter.h"

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/windows.h"
#include "minefield/players.h"
#include "net/host.h"
#include "platform/clock.h"
#include "net/net.h"
#include "net/serverlist.h"
#include "platform/gui.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

namespace bg {

namespace {
// The console keeps the last lines only: a chatty or hostile game must not
// grow it (and the program) without end.
constexpr size_t kConsoleKeep = 128 * 1024;
size_t gAppended = 0;

void ShowWinWindow() {
  if (!gWinWindow) return;
  Gui& gui = TheGui();
  if (gMainWindow) PlaceWinWindow();
  gui.Show(gWinWindow);
  if (gMainWindow) gui.Disable(gMainWindow);
  if (gCan) gui.Disable(gCan);
  gui.Activate(gWinWindow);
}

std::string TimeText() { return "Time Taken: " + std::to_string(gGame.wtime) + " secs."; }

// The end of a game alone: the win window.
void ShowWin() {
  if (gWinText) TheGui().SetText(gWinText, "You have won!");
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText());
  ShowWinWindow();
}

// The end of a network game: the scores in the console, the best player in the win window.
void ShowRanking() {
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText());
  const std::vector<TPlayer> ranking = RankByScore(gGame.Players);
  CPrint("----------");
  CPrint("  Scores  ");
  for (const TPlayer& p : ranking) CPrint(p.name + " scored: " + std::to_string(p.score));
  if (gWinText && !ranking.empty()) TheGui().SetText(gWinText, ranking.front().name + " has won!");
  ShowWinWindow();
}
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

bool NewGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose) {
  const StartOutcome started = StartGame(gGame, width, height, mines, wrap == -1 ? gOptions.oWrap : wrap, gametime,
                                         bomblose == -1 ? gOptions.oBombLose : bomblose, MilliSecs());
  if (!started.started) return false;
  PresentStart(started);
  return true;
}

void PresentStart(const StartOutcome& started) {
  if (started.sizeChanged) {
    SetDesignArea(gView.scale, gGame.BlockAW, gGame.BlockAH);
    FitBackground(gView, gRes);
    WindowSetToRatio(gView.scale.DEFWIDTH);
  }
  StartBoard(gGame, gView, gRes, gOptions.oEffects != 0);
  ShowPlayers();
}

void PresentClick(const ClickOutcome& click) {
  if (!click.ended) return;
  // A late joiner's clock stops where the host's board stopped.
  if (TNet::NetStatus == NET_HOSTING) Hosting().GameOver(gGame.GameTime);
  if (!click.won && gOptions.oSound == 1) TheAudio().PlaySound(gRes.SExplosion.get());
  if (click.ranked)
    ShowRanking();
  else if (click.won)
    ShowWin();
}

void ClickField(int32_t block, uint8_t button) {
  if (TNet::NetStatus == NET_OFF)
    PresentClick(Apply(gGame, Move{block, button, kNoPlayer}));
  else
    SendClick(gGame, block, button);
}

void ShowPlayers() {
  if (!gChatPList) return;
  Gui& gui = TheGui();
  gui.ClearItems(gChatPList);
  for (const TPlayer& p : gGame.Players) gui.AddItem(gChatPList, p.name);
}

void ShowServerList() {
  if (!gServerList) return;
  Gui& gui = TheGui();
  gui.ClearItems(gServerList);
  for (const auto& g : TServerList::Gamelist)
    gui.AddItem(gServerList, g->name, HostPortText(g->ip, g->PORT), g);
  if (!TServerList::Notice.empty()) gui.AddItem(gServerList, TServerList::Notice);
}

void ShowChatPage() {
  if (!gMultiTabber) return;
  TheGui().SelectItem(gMultiTabber, 3);
  TTab::DoTab(gMultiTabber, 3);
}

GameSetup HostedGameOptions(const Options& o) { return GameSetup{o.oWidth, o.oHeight, o.oMines, o.oWrap, o.oBombLose, 0}; }

Identity Me() { return Identity{gOptions.oName, color}; }

void Presenter::StatusText(const std::string& text) {
  if (gMultiWindow) TheGui().SetStatusText(gMultiWindow, text);
}

Presenter& ThePresenter() {
  static Presenter presenter;
  return presenter;
}

}  // namespace bg
