#pragma once
#include <cstdint>
#include <string>

#include "app/options.h"
#include "minefield/kept.h"
#include "minefield/game.h"
#include "net/events.h"
#include "net/protocol.h"

// Turns what the rules and the session report into labels, console lines,
// sounds and windows.
namespace bg {

// Appends a line to the chat console without making a hidden console visible.
void CPrint(const std::string& text);

// StartGame on the window's game with the options for wrap and bomblose -1 and
// a seed from the clock, then the new field shown. False when refused, with nothing changed.
bool NewGame(int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime, int32_t bomblose);
// A new field shown: the window fitted to a new size, the pictures, the opening flash, the players.
void PresentStart(const StartOutcome& started);
// What a click did, shown: the explosion, the win window, the scores in the console.
void PresentClick(const ClickOutcome& click);
// This program's own click: applied at once alone, sent to the host in a network game.
void ClickField(int32_t block, uint8_t button);
// This program's own chord: the uncovering clicks it stands for, counted as one click.
void ChordField(int32_t block);
// The last game that ended here (won, lost or ended by others), as it was kept; null before the first.
const KeptGame* LastFinishedGame();
// The record of the game on the field, as far as it has come.
const GameRecord& PlayedRecord();
// The player list box from the game's players.
void ShowPlayers();
// The server list box from the list server's last answer.
void ShowServerList();
// The chat page of the multiplayer window, once connected or hosting.
void ShowChatPage();
// The options as the setup of the games this program hosts.
GameSetup HostedGameOptions(const Options& o);
// Who this program is in a network game: the name option and the local colour.
Identity Me();

// The session's reports, shown; installed at start-up.
class Presenter final : public SessionEvents {
 public:
  void StatusText(const std::string& text) override;
  void ConsoleLine(const std::string& text) override { CPrint(text); }
  void PlayersChanged() override { ShowPlayers(); }
  void ServerListChanged() override { ShowServerList(); }
  void FieldStarted(const StartOutcome& started) override { PresentStart(started); }
  void ClickApplied(const ClickOutcome& click) override { PresentClick(click); }
  void Happened(const RecordEvent& e, const std::string& name) override;
};
Presenter& ThePresenter();

}  // namespace bg
