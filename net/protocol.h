#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "minefield/game.h"
#include "net/host.h"
#include "net/message_table.h"
#include "platform/gui.h"
#include "platform/socket.h"

// The host/player protocol. Every click goes to the host, which relays it with
// the player's id to everybody in one order; each program applies the relayed
// clicks to its game through Apply, so all boards stay the same.
namespace bg {

// Who this program is in a network game.
struct Identity {
  std::string name;
  RGB colour{};
};

// The player's poll: reads the host's messages and applies them to the game.
void NetClient(Game& g);
// Per-tick poll of the list-server connection.
void ServerListPoll();

// Hosts on port; with broadcast, announces the game on the list server. True when hosting.
bool Host(Game& g, bool broadcast, int32_t port, const GameSetup& setup, const Identity& me);
// Starts joining a host given by name or address (IPv6 too), leaving any game
// first; ConnectPoll finishes it. Lookup and connect together take at most
// the connect timeout, every address of the name tried in turn.
void ConnectTo(Game& g, const std::string& host, int32_t port, Lookup lookup = Resolve);
// Per tick, never waiting: moves a join on; true in the tick it connects.
bool ConnectPoll(const Identity& me);
// A join or a list-server connection is being made: ticks must go on polling.
bool ConnectPending();
// Asks the host to let this player join.
void SendConnect(const Identity& me);
// This program's own click, sent to the host; a flag only on a covered block.
void SendClick(const Game& g, int32_t block, uint8_t button);
// The host starts a new game for everybody.
void SendGame(const GameSetup& setup);
void SendChat(const std::string& text);
// Tells the host this player's new colour.
void SendColour(const RGB& colour);
// The "Disconnect" button: leave or stop hosting, forget the list server.
void DisconnectAll(Game& g);
void ServerListRefresh();
// Starts joining the game of a server-list row's extra object, if it is one.
void JoinListedGame(Game& g, const ObjectRef& extra);

// The player's message handling over bytes already received (the poll's, and the fuzzers').
void ClientReceive(Game& g, std::span<const uint8_t> bytes);

}  // namespace bg
