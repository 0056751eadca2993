#pragma once
#include <string>

#include "minefield/game.h"
#include "minefield/record.h"

// What the session reports. The session never touches windows: the program
// installs an implementation that shows these; none installed, they go nowhere.
namespace bg {

class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  // The connection's state in a word or two ("Hosting", "Failed to connect").
  virtual void StatusText(const std::string&) {}
  // A line for the chat console: chat, players joining and leaving, disconnects.
  virtual void ConsoleLine(const std::string&) {}
  // The game's players changed (joined, left, all gone).
  virtual void PlayersChanged() {}
  // The server list (TServerList::Gamelist and its Notice) changed.
  virtual void ServerListChanged() {}
  // The host started a new field.
  virtual void FieldStarted(const StartOutcome&) {}
  // A relayed click was applied: a game may have been won or ended.
  virtual void ClickApplied(const ClickOutcome&) {}
  // What the game is about to take, for its record: a relayed click (before it is
  // applied), a player joining (with the name), leaving, or changing colour.
  virtual void Happened(const RecordEvent&, const std::string& /*name*/) {}
};

SessionEvents& Events();
// nullptr: reports go nowhere.
void SetSessionEvents(SessionEvents* events);

}  // namespace bg
