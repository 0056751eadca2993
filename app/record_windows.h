#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/records.h"
#include "app/watch.h"
#include "platform/gui.h"

// The windows of the kept games: statistics with a chart of winning times,
// the list of kept games, and a window that plays one back. Each is built at
// its first use and kept for the rest of the run.
namespace bg {

struct RecordWindows {
  Gadget* menuStats = nullptr;
  Gadget* menuReplays = nullptr;
  Gadget* menuOpen = nullptr;

  Gadget* stats = nullptr;
  Gadget* statsTable = nullptr;
  Gadget* statsChart = nullptr;
  Gadget* statsReset = nullptr;
  std::vector<SetupStats> shown;  // the setup rows of statsTable, in order

  Gadget* confirm = nullptr;  // "Reset" asks here first
  Gadget* confirmText = nullptr;
  Gadget* confirmYes = nullptr;
  Gadget* confirmNo = nullptr;
  SetupKey resetting;

  Gadget* replays = nullptr;
  Gadget* replaysTable = nullptr;
  Gadget* replaysWatch = nullptr;
  Gadget* replaysExport = nullptr;
  Gadget* replaysOpen = nullptr;
  std::vector<GameSummary> rows;  // as listed
  int sortColumn = 0;             // newest first until a title is clicked
  bool ascending = false;

  Gadget* watch = nullptr;
  Gadget* watchCanvas = nullptr;
  Gadget* watchPlay = nullptr;
  Gadget* watchStep = nullptr;
  Gadget* watchSlower = nullptr;
  Gadget* watchFaster = nullptr;
  Gadget* watchSpeed = nullptr;
  Gadget* watchSlider = nullptr;
  Gadget* watchTime = nullptr;
  std::unique_ptr<Watch> watching;
  int32_t lastTick = 0;

  std::string openAtStart;  // a replay file named on the command line
};
RecordWindows& RecordUi();
// Forgets every window and what they showed (their gadgets died with the backend).
void ResetRecordWindows();

// The Game menu's items for these windows, made where the menu wants them.
void BuildRecordMenus(Gadget* gameMenu);
// Events of these windows and menus, and each timer tick; true when the event was theirs alone.
bool RecordWindowsEvent(const Event& ev);

// A replay plays, or one waits to be opened: the tick must not rest.
bool RecordWindowsBusy();

void ShowStatistics();
void ShowReplays();
// Plays a kept game in the watch window, paused at its start.
void WatchGame(KeptGame game);
// A .bgreplay file into the watch window; a file refused gets a message box with the reason.
bool OpenReplayFile(const std::string& path);
// Opens this replay file once the program is running.
void OpenReplayAtStart(const std::string& path);

}  // namespace bg
