#include "app/presenter.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/records.h"
#include "app/windows.h"
#include "minefield/chord.h"
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

// The game on the field as this program plays it, kept once it ends.
struct Played {
  GameRecord record;
  int32_t clicks = 0;  // this player's
  bool done = true;    // ended (and kept): nothing more to keep
};
Played gPlayed;
std::optional<KeptGame> gLastFinished;

bool Networked(const GameRecord& r) {
  return std::any_of(r.events.begin(), r.events.end(), [](const RecordEvent& e) { return e.kind == RecordEvent::JOIN; });
}

KeptGame Describe(const Game& g, Outcome outcome) {
  KeptGame k;
  k.date = int64_t(std::time(nullptr));
  k.player = gOptions.oName;
  k.record = gPlayed.record;
  k.networked = Networked(k.record);
  for (const TPlayer& p : g.Players) {
    k.players.push_back({p.id, p.name, g.colours[p.id], FindScore(g, p.id)});
    if (TNet::MyId == p.id) k.player = p.name;  // as the host made it unique
  }
  k.outcome = outcome;
  k.millis = int32_t(std::lround(std::clamp(double(g.GameTime), 0.0, 2e6) * 1000.0));
  k.clicks = gPlayed.clicks;
  k.bbbv = Bbbv(g);
  return k;
}

KeepResult Keep(const Game& g, Outcome outcome) {
  gPlayed.done = true;
  KeptGame k = Describe(g, outcome);
  Records& records = TheRecords();
  const KeepResult kept = records.Keep(k);
  if (const std::string notice = records.TakeNotice(); !notice.empty()) CPrint(notice);
  if (!kept.kept) CPrint("This game could not be kept: " + kept.error);
  if (outcome != Outcome::ABANDONED) gLastFinished = std::move(k);
  return kept;
}

// How the game that just ended ended for this program's player.
Outcome OutcomeOf(const ClickOutcome& click) {
  if (!Networked(gPlayed.record)) return click.won ? Outcome::WON : Outcome::LOST;
  const TPlayer* me = TNet::MyId >= 0 ? gGame.FindByID(uint8_t(TNet::MyId)) : nullptr;
  if (me && me->out) return Outcome::LOST;
  const auto& ev = gPlayed.record.events;
  const auto last = std::find_if(ev.rbegin(), ev.rend(), [](const RecordEvent& e) { return e.kind == RecordEvent::MOVE; });
  if (me && last != ev.rend() && last->player == me->id) return click.won ? Outcome::WON : Outcome::LOST;
  return Outcome::ENDED;
}

std::string TimeText(const KeepResult& kept) {
  std::string text = "Time Taken: " + std::to_string(gGame.wtime) + " secs.";
  if (kept.rank > 0) text += " New best time! Rank " + std::to_string(kept.rank) + ".";
  if (!kept.kept) text += " The record could not be kept.";
  return text;
}

// The end of a game alone: the win window.
void ShowWin(const KeepResult& kept) {
  if (gWinText) TheGui().SetText(gWinText, "You have won!");
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText(kept));
  ShowWinWindow();
}

// The end of a network game: the scores in the console, the best player in the win window.
void ShowRanking(const KeepResult& kept) {
  if (gWinTextTime) TheGui().SetText(gWinTextTime, TimeText(kept));
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
  // A game left after a move of this player's is kept as abandoned, as far as it went.
  if (!gPlayed.done && gPlayed.clicks > 0) {
    Game left = Replay(gPlayed.record);
    Keep(left, Outcome::ABANDONED);
  }
  gPlayed = Played{};
  gPlayed.done = false;
  gPlayed.record.Clear(GameSetup{gGame.BlockAW, gGame.BlockAH, gGame.Mines, uint8_t(gGame.Wrapping), gGame.BombLose,
                                 gGame.rseed});
  // A new field keeps the players of the last one.
  for (const TPlayer& p : gGame.Players) gPlayed.record.AddJoin(p.name, gGame.colours[p.id], p.id, gGame.GameTime);
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
  const KeepResult kept = gPlayed.done ? KeepResult{true, 0, {}} : Keep(gGame, OutcomeOf(click));
  if (click.ranked)
    ShowRanking(kept);
  else if (click.won)
    ShowWin(kept);
}

namespace {
void Play(int32_t block, uint8_t button) {
  if (TNet::NetStatus == NET_OFF) {
    const Move move{block, button, kNoPlayer};
    gPlayed.record.AddMove(move, gGame.GameTime);
    PresentClick(Apply(gGame, move));
  } else {
    SendClick(gGame, block, button);
  }
}
}  // namespace

void ClickField(int32_t block, uint8_t button) {
  ++gPlayed.clicks;
  Play(block, button);
}

void ChordField(int32_t block) {
  const std::vector<Move> moves = ChordMoves(gGame, block, kNoPlayer);
  if (!moves.empty()) ++gPlayed.clicks;
  for (const Move& m : moves) Play(m.block, m.button);
}

const KeptGame* LastFinishedGame() { return gLastFinished ? &*gLastFinished : nullptr; }

const GameRecord& PlayedRecord() { return gPlayed.record; }

void Presenter::Happened(const RecordEvent& e, const std::string& name) {
  GameRecord& r = gPlayed.record;
  switch (e.kind) {
    case RecordEvent::MOVE:
      // A host may send a new seed after the field's setup; the mines come from
      // the seed the game holds at its first uncovering, so the record keeps that one.
      if (gGame.revealed == 0) r.setup.seed = gGame.rseed;
      r.AddMove(r.MoveOf(e), e.time);
      break;
    case RecordEvent::JOIN: r.AddJoin(name, e.colour, e.player, e.time); break;
    case RecordEvent::LEAVE: r.AddLeave(e.player, e.time); break;
    case RecordEvent::COLOUR: r.AddColour(e.player, e.colour, e.time); break;
  }
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
