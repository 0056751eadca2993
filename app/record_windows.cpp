#include "app/record_windows.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "app/gadgets.h"
#include "app/globals.h"
#include "platform/clock.h"
#include "platform/gfx.h"
#include "render/background.h"
#include "render/scale.h"

namespace bg {

namespace {

Gui& gui() { return TheGui(); }
RecordWindows& ui() { return RecordUi(); }

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}
std::string Percent(double ratio) { return Fixed(ratio * 100.0, 0) + "%"; }
std::string Seconds(double s) { return Fixed(s, 2) + " s"; }

std::string DateText(int64_t date, const char* format) {
  const std::time_t t = std::time_t(date);
  std::tm tm{};
  char buf[64] = "";
  if (localtime_r(&t, &tm)) std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

Gadget* Button(const char* text, int x, int y, int w, Gadget* parent, bool left = true) {
  Gadget* b = gui().CreateButton(text, x, y, w, 26, parent, BUTTON_PUSH);
  gui().SetLayout(b, left, !left, false, true);
  return b;
}

void Front(Gadget* window) {
  gui().Show(window);
  gui().Activate(window);
}

// ---- statistics ----

constexpr int kChartWins = 50;

void BuildStatistics() {
  RecordWindows& u = ui();
  Gui& g = gui();
  u.stats = g.CreateWindow("Statistics", 80, 80, 680, 480, gMainWindow,
                           WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_CLIENTCOORDS);
  g.Hide(u.stats);
  const int W = g.ClientWidth(u.stats), H = g.ClientHeight(u.stats);
  u.statsTable = g.CreateTable(0, 0, W, 170, u.stats);
  g.SetLayout(u.statsTable, true, true, true, false);
  g.SetColumns(u.statsTable, {"Setup", "Played", "Won", "Win rate", "Streak", "Longest", "Best", "Average",
                              "Best 3BV/s", "Efficiency"});
  u.statsChart = g.CreateChart(0, 174, W, H - 212, u.stats);
  g.SetLayout(u.statsChart, true, true, true, true);
  u.statsReset = Button("Reset", 8, H - 32, 90, u.stats);
  g.Disable(u.statsReset);

  u.confirm = g.CreateWindow("Reset Statistics", 160, 160, 320, 110, u.stats, WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
  g.Hide(u.confirm);
  u.confirmText = g.CreateLabel("", 12, 10, 296, 52, u.confirm, LABEL_LEFT);
  u.confirmYes = g.CreateButton("Reset", 136, 72, 80, 28, u.confirm, BUTTON_OK);
  u.confirmNo = g.CreateButton("Cancel", 228, 72, 80, 28, u.confirm, BUTTON_CANCEL);
}

std::vector<std::string> StatsCells(const std::string& name, const SetupStats& s) {
  const bool wins = s.won > 0;
  return {name,
          std::to_string(s.played),
          std::to_string(s.won),
          Percent(s.WinRate()),
          std::to_string(s.streak),
          std::to_string(s.longest),
          wins ? Seconds(s.best) : "-",
          wins ? Seconds(s.average) : "-",
          wins ? Fixed(s.bestBbbvPerSecond, 2) : "-",
          wins ? Percent(s.efficiency) : "-"};
}

std::string Row(const std::vector<std::string>& cells) {
  std::string r;
  for (size_t i = 0; i < cells.size(); ++i) r += (i ? "\t" : "") + cells[i];
  return r;
}

// The chart follows the row chosen: one setup, or every setup for the total.
void ShowChart(int row) {
  RecordWindows& u = ui();
  ChartData data{"Last 50 winning times", "Win", "Seconds", {}};
  for (size_t i = 0; i < u.shown.size(); ++i) {
    if (row >= 0 && size_t(row) < u.shown.size() && size_t(row) != i) continue;
    ChartSeries series{SetupText(u.shown[i].setup), {}, true};
    const std::vector<double> times = TheRecords().LastWinningTimes(u.shown[i].setup, kChartWins);
    for (size_t n = 0; n < times.size(); ++n) series.points.emplace_back(double(n + 1), times[n]);
    if (!series.points.empty()) data.series.push_back(std::move(series));
  }
  gui().SetChart(u.statsChart, data);
  (row >= 0 && size_t(row) < u.shown.size()) ? gui().Enable(u.statsReset) : gui().Disable(u.statsReset);
}

void FillStatistics() {
  RecordWindows& u = ui();
  Gui& g = gui();
  const int chosen = g.SelectedItem(u.statsTable);
  const Statistics st = TheRecords().Stats();
  u.shown = st.setups;
  g.ClearItems(u.statsTable);
  for (const SetupStats& s : u.shown) g.AddItem(u.statsTable, Row(StatsCells(SetupText(s.setup), s)));
  g.AddItem(u.statsTable, Row(StatsCells("All setups", st.total)));
  const int row = chosen >= 0 && chosen < g.CountItems(u.statsTable) ? chosen : -1;
  g.SelectItem(u.statsTable, row);
  ShowChart(row);
}

void AskReset() {
  RecordWindows& u = ui();
  const int row = gui().SelectedItem(u.statsTable);
  if (row < 0 || size_t(row) >= u.shown.size()) return;
  u.resetting = u.shown[size_t(row)].setup;
  gui().SetText(u.confirmText, "Forget every game of " + SetupText(u.resetting) + "? This cannot be undone.");
  Front(u.confirm);
}

void ConfirmReset() {
  RecordWindows& u = ui();
  gui().Hide(u.confirm);
  if (!TheRecords().Reset(u.resetting))
    gui().Notify(u.stats, "Statistics", "The statistics could not be reset.");
  FillStatistics();
}

// ---- the list of kept games ----

void BuildReplays() {
  RecordWindows& u = ui();
  Gui& g = gui();
  u.replays = g.CreateWindow("Replays", 100, 100, 600, 400, gMainWindow,
                             WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_CLIENTCOORDS);
  g.Hide(u.replays);
  const int W = g.ClientWidth(u.replays), H = g.ClientHeight(u.replays);
  u.replaysTable = g.CreateTable(0, 0, W, H - 40, u.replays);
  g.SetLayout(u.replaysTable, true, true, true, true);
  g.SetColumns(u.replaysTable, {"Date", "Setup", "Outcome", "Time", "3BV/s"});
  u.replaysWatch = Button("Watch", 8, H - 33, 90, u.replays);
  u.replaysExport = Button("Export...", 106, H - 33, 90, u.replays);
  u.replaysOpen = Button("Open...", 204, H - 33, 90, u.replays);
}

// The way each column sorts first: dates and speeds best first, the rest ascending.
bool FirstAscending(int column) { return column != 0 && column != 4; }

// 3BV/s measures a cleared field: other games have none.
double Speed(const GameSummary& s) { return s.outcome == Outcome::WON ? s.bbbvPerSecond : 0.0; }

bool Before(const GameSummary& a, const GameSummary& b, int column) {
  switch (column) {
    case 1: return a.setup < b.setup;
    case 2: return std::string(OutcomeText(a.outcome)) < OutcomeText(b.outcome);
    case 3: return a.seconds < b.seconds;
    case 4: return Speed(a) < Speed(b);
    default: return a.date < b.date || (a.date == b.date && a.id < b.id);
  }
}

void FillReplays() {
  RecordWindows& u = ui();
  Gui& g = gui();
  const int column = u.sortColumn;
  const bool up = u.ascending;
  std::stable_sort(u.rows.begin(), u.rows.end(), [&](const GameSummary& a, const GameSummary& b) {
    return up ? Before(a, b, column) : Before(b, a, column);
  });
  g.ClearItems(u.replaysTable);
  for (const GameSummary& s : u.rows) {
    const std::string setup = SetupText(s.setup) + (s.networked ? " (shared)" : "");
    g.AddItem(u.replaysTable, Row({DateText(s.date, "%Y-%m-%d %H:%M"), setup, OutcomeText(s.outcome),
                                   Seconds(s.seconds), s.outcome == Outcome::WON ? Fixed(Speed(s), 2) : "-"}));
  }
  g.SetSortIndicator(u.replaysTable, column, up);
  if (!u.rows.empty()) g.SelectItem(u.replaysTable, 0);
}

void SortReplays(int column) {
  RecordWindows& u = ui();
  if (column < 0 || column > 4) return;
  u.ascending = column == u.sortColumn ? !u.ascending : FirstAscending(column);
  u.sortColumn = column;
  FillReplays();
}

// The kept game of the row chosen, read whole; a message box when it cannot be.
std::optional<KeptGame> ChosenGame() {
  RecordWindows& u = ui();
  const int row = gui().SelectedItem(u.replaysTable);
  if (row < 0 || size_t(row) >= u.rows.size()) return std::nullopt;
  std::optional<KeptGame> kept = TheRecords().Load(u.rows[size_t(row)].id);
  if (!kept) gui().Notify(u.replays, "Replays", "This game could not be read from the records.");
  return kept;
}

void ExportChosen() {
  std::optional<KeptGame> kept = ChosenGame();
  if (!kept) return;
  std::string path = gui().RequestFile("Export Replay", "Replays (*.bgreplay)",
                                       DateText(kept->date, "blastgrid-%Y%m%d-%H%M%S.bgreplay"), true);
  if (path.empty()) return;
  const std::string suffix = ".bgreplay";
  if (path.size() < suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
    path += suffix;
  std::string error;
  if (!SaveReplayFile(path, *kept, error)) gui().Notify(ui().replays, "Export Replay", error);
}

void AskOpen() {
  const std::string path = gui().RequestFile("Open Replay", "Replays (*.bgreplay);;All files (*)", "", false);
  if (!path.empty()) OpenReplayFile(path);
}

// ---- the watch window ----

void BuildWatch() {
  RecordWindows& u = ui();
  Gui& g = gui();
  u.watch = g.CreateWindow("Replay", 120, 60, 480, 540, gMainWindow,
                           WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_CLIENTCOORDS);
  g.Hide(u.watch);
  g.SetMinWindowSize(u.watch, 360, 240);
  const int W = g.ClientWidth(u.watch), H = g.ClientHeight(u.watch);
  u.watchCanvas = g.CreateCanvas(0, 0, W, H - 62, u.watch);
  g.SetLayout(u.watchCanvas, true, true, true, true);
  u.watchSlider = g.CreateSlider(8, H - 58, W - 16, 22, u.watch, SLIDER_HORIZONTAL | SLIDER_TRACKBAR);
  g.SetLayout(u.watchSlider, true, true, false, true);
  u.watchPlay = Button("Play", 8, H - 32, 64, u.watch);
  u.watchStep = Button("Step", 76, H - 32, 64, u.watch);
  u.watchSlower = Button("Slower", 144, H - 32, 64, u.watch);
  u.watchFaster = Button("Faster", 212, H - 32, 64, u.watch);
  u.watchSpeed = g.CreateLabel("x1", 284, H - 27, 40, 20, u.watch, LABEL_LEFT);
  g.SetLayout(u.watchSpeed, true, false, false, true);
  u.watchTime = g.CreateLabel("", 328, H - 27, W - 336, 20, u.watch, LABEL_LEFT);
  g.SetLayout(u.watchTime, true, true, false, true);
}

std::string SpeedText(double speed) { return "x" + (speed < 1.0 ? Fixed(speed, 1) : Fixed(speed, 0)); }

void ShowWatchState(bool redraw) {
  RecordWindows& u = ui();
  const Watch* w = u.watching.get();
  if (!w || !u.watch) return;
  Gui& g = gui();
  g.SetText(u.watchPlay, w->playing ? "Pause" : "Play");
  g.SetText(u.watchSpeed, SpeedText(w->Speed()));
  g.SetText(u.watchTime, Fixed(w->clock, 1) + " / " + Fixed(w->player.Duration(), 1) + " s, " +
                              std::to_string(w->player.Position()) + " of " + std::to_string(w->player.Events()));
  g.SetSliderPos(u.watchSlider, int(w->player.Position()));
  if (redraw) g.Redraw(u.watchCanvas);
}

// The window takes the board's proportions at its present width, within the screen.
void FitWatchWindow() {
  RecordWindows& u = ui();
  Gui& g = gui();
  const GameSetup& setup = u.watching->player.Record().setup;
  Scale s;
  SetDesignArea(s, setup.width, setup.height);
  const int extra = g.Height(u.watch) - g.Height(u.watchCanvas);
  int h = int(float(g.Width(u.watchCanvas)) / s.winr) + extra;
  if (g.DesktopHeight() > 0) h = std::min(h, g.DesktopHeight() - g.Y(u.watch));
  g.SetShape(u.watch, g.X(u.watch), g.Y(u.watch), g.Width(u.watch), std::max(h, 240));
}

void PaintWatch() {
  RecordWindows& u = ui();
  Watch* w = u.watching.get();
  const int cw = gui().Width(u.watchCanvas), ch = gui().Height(u.watchCanvas);
  G().SetViewport(0, 0, cw, ch);
  if (!w) {
    G().Cls();
    G().Flip(-1);
    return;
  }
  w->Fit(cw, ch);
  Draw(w->player.Now(), w->view, w->res, cw, ch);
}

void WatchTick() {
  RecordWindows& u = ui();
  const int32_t now = MilliSecs();
  // After a stall the replay goes on from where it was rather than leaping.
  const double dt = std::clamp((now - u.lastTick) / 1000.0, 0.0, 0.25);
  u.lastTick = now;
  Watch* w = u.watching.get();
  if (!w || !w->playing || gui().Hidden(u.watch)) return;
  const bool changed = w->Advance(dt);
  ShowWatchState(changed);
}

bool WatchControl(const Event& ev) {
  RecordWindows& u = ui();
  Watch* w = u.watching.get();
  Gadget* s = ev.source;
  if (!w) return false;
  if (s == u.watchPlay) {
    if (!w->playing && w->AtEnd()) w->SeekTo(0);
    w->playing = !w->playing;
    u.lastTick = MilliSecs();
  } else if (s == u.watchStep) {
    w->StepMove();
  } else if (s == u.watchSlower) {
    w->speed = std::max(0, w->speed - 1);
  } else if (s == u.watchFaster) {
    w->speed = std::min(int(std::size(kWatchSpeeds)) - 1, w->speed + 1);
  } else if (s == u.watchSlider) {
    w->SeekTo(size_t(std::max(0, ev.data)));
  } else {
    return false;
  }
  ShowWatchState(true);
  return true;
}

bool Ours(Gadget* s) {
  RecordWindows& u = ui();
  for (Gadget* g : {u.stats, u.statsTable, u.statsReset, u.confirm, u.confirmYes, u.confirmNo, u.replays,
                    u.replaysTable, u.replaysWatch, u.replaysExport, u.replaysOpen, u.watch, u.watchCanvas,
                    u.watchPlay, u.watchStep, u.watchSlower, u.watchFaster, u.watchSlider})
    if (g && g == s) return true;
  return false;
}

void Action(const Event& ev) {
  RecordWindows& u = ui();
  Gadget* s = ev.source;
  if (WatchControl(ev)) return;
  if (s == u.statsReset) {
    AskReset();
  } else if (s == u.confirmYes) {
    ConfirmReset();
  } else if (s == u.confirmNo) {
    gui().Hide(u.confirm);
  } else if (s == u.replaysWatch || s == u.replaysTable) {
    if (std::optional<KeptGame> kept = ChosenGame()) WatchGame(std::move(*kept));
  } else if (s == u.replaysExport) {
    ExportChosen();
  } else if (s == u.replaysOpen) {
    AskOpen();
  }
}

}  // namespace

RecordWindows& RecordUi() {
  static RecordWindows windows;
  return windows;
}

void ResetRecordWindows() { RecordUi() = RecordWindows(); }

void BuildRecordMenus(Gadget* gameMenu) {
  RecordWindows& u = ui();
  u.menuStats = gui().CreateMenu("Statistics", 4, gameMenu, KEY_F8);
  u.menuReplays = gui().CreateMenu("Replays", 5, gameMenu);
  u.menuOpen = gui().CreateMenu("Open Replay...", 6, gameMenu);
}

void ShowStatistics() {
  if (!ui().stats) BuildStatistics();
  FillStatistics();
  Front(ui().stats);
}

void ShowReplays() {
  RecordWindows& u = ui();
  if (!u.replays) BuildReplays();
  u.rows = TheRecords().List();
  FillReplays();
  Front(u.replays);
}

void WatchGame(KeptGame game) {
  RecordWindows& u = ui();
  if (!u.watch) BuildWatch();
  std::string title = "Replay: " + SetupText(SetupOf(game.record.setup));
  for (const std::string& part : {game.player, std::string(OutcomeText(game.outcome)), DateText(game.date, "%Y-%m-%d %H:%M")})
    if (!part.empty()) title += ", " + part;
  u.watching = std::make_unique<Watch>(std::move(game), gRes);
  gui().SetText(u.watch, title);
  FitWatchWindow();
  gui().SetSliderRange(u.watchSlider, 0, int(u.watching->player.Events()));
  u.lastTick = MilliSecs();
  Front(u.watch);
  ShowWatchState(true);
}

bool OpenReplayFile(const std::string& path) {
  ReplayRead read = LoadReplayFile(path);
  if (!read.game) {
    gui().Notify(gMainWindow, "Open Replay", read.error);
    return false;
  }
  WatchGame(std::move(*read.game));
  return true;
}

void OpenReplayAtStart(const std::string& path) { RecordUi().openAtStart = path; }

bool RecordWindowsBusy() {
  const RecordWindows& u = ui();
  return !u.openAtStart.empty() || (u.watching && u.watching->playing && !gui().Hidden(u.watch));
}

bool RecordWindowsEvent(const Event& ev) {
  RecordWindows& u = ui();
  switch (ev.id) {
    case EVENT_TIMERTICK:
      if (!u.openAtStart.empty() && gMainWindow) OpenReplayFile(std::exchange(u.openAtStart, std::string()));
      WatchTick();
      return false;  // the game's own tick goes on
    case EVENT_MENUACTION:
      if (ev.source == u.menuStats) ShowStatistics();
      else if (ev.source == u.menuReplays) ShowReplays();
      else if (ev.source == u.menuOpen) AskOpen();
      else return false;
      return true;
    default:
      break;
  }
  if (!ev.source || !Ours(ev.source)) return false;
  switch (ev.id) {
    case EVENT_GADGETACTION: Action(ev); break;
    case EVENT_GADGETSELECT:
      if (ev.source == u.statsTable) ShowChart(ev.data);
      break;
    case EVENT_HEADERCLICK:
      if (ev.source == u.replaysTable) SortReplays(ev.data);
      break;
    case EVENT_GADGETPAINT:
      if (ev.source == u.watchCanvas) PaintWatch();
      break;
    case EVENT_WINDOWSIZE:
      if (ev.source == u.watch) ShowWatchState(true);
      break;
    case EVENT_WINDOWCLOSE:
      gui().Hide(ev.source);
      // A long replay keeps copies of its game to jump quickly: they go with the window.
      if (ev.source == u.watch) u.watching.reset();
      break;
    case EVENT_KEYDOWN:
      // Space plays and pauses, as in most players.
      if (ev.data == 32 && u.watching && (ev.source == u.watch || ev.source == u.watchCanvas)) {
        Event play = ev;
        play.source = u.watchPlay;
        WatchControl(play);
      }
      break;
    default: break;
  }
  return true;
}

}  // namespace bg
