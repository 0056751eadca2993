#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "minefield/record.h"
#include "platform/socket.h"

// The host's side of a network game: who joined (ids, unique names, rate
// limits through their connections) and the record of the current game. It
// keeps no board: a click is checked against the game's setup only, so a
// process without any field can host.
namespace bg {

struct TNetClient;

// The host's record of one player.
struct HostPlayer {
  std::string name;
  RGB col{};
  uint8_t id = 0;
  TNetClient* client = nullptr;
  bool Left = false;
};

class HostSession {
 public:
  std::vector<HostPlayer> players;
  GameRecord record;

  // The host's poll: accepts, reads every connection, relays.
  void Poll();
  // A connection to a player, accepted or opened by this host (through a
  // relay), from now on read and answered as every other; null when full.
  TNetClient* Adopt(TSocket s);
  // One connection's bytes, already received.
  void Receive(TNetClient* c, std::span<const uint8_t> bytes);
  // A new game for everybody; false (nothing sent) for a setup no player would start.
  bool StartGame(const GameSetup& setup);
  void Kick(uint8_t id);
  // The host's own board saw the game end: late joiners' clocks stop where it stopped.
  void GameOver(float gameTime);
  void Reset();

  HostPlayer* FindByClient(const TNetClient* c);
  HostPlayer* FindByID(uint8_t id);
  // Seconds since the current game started (or where it stopped).
  float GameTime() const;

 private:
  void Join(TNetClient* c, const std::string& name, const RGB& col);
  void Lose(TNetClient* c);
  int32_t started_ = 0;
  float endTime_ = -1.0f;
};

// This program's host session (one per process).
HostSession& Hosting();

}  // namespace bg
