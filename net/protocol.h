#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "minefield/block.h"
#include "net/message_table.h"
#include "platform/gui.h"
#include "platform/socket.h"

// The host/player protocol. Every click goes to the host, which relays it with
// the player's id to everybody in one order; each program applies the relayed
// clicks through ClickBlock, so all boards stay the same.
namespace bg {

// The setup of the games a host starts.
struct GameOptions {
  int32_t width = 9, height = 9, mines = 10;
  uint8_t wrap = 1, bomblose = 1;
};

// The host's poll: accepts, reads every connection, relays.
void NetServer();
// The player's poll: reads the host's messages and applies them.
void NetClient();
// Per-tick poll of the list-server connection.
void ServerListPoll();

// Hosts on port with this player's name; with broadcast, announces the game on
// the list server. True when hosting.
bool Host(bool broadcast, int32_t port, const GameOptions& game, const std::string& name);
// Joins the host at ip:port under this player's name. True when connected.
bool Connect(uint32_t ip, int32_t port, const std::string& name,
             int timeoutMs = TSocket::kDefaultConnectTimeoutMs);
// Connects to a host given by name or dotted address; a name that does not
// resolve fails. Lookup and connect together take at most the connect timeout.
bool ConnectTo(const std::string& host, int32_t port, const std::string& name);
// Asks the host to let this player (name, the colour `color`) join.
void SendConnect(const std::string& name);
void SendClick(TBlock* block, uint8_t button);
// The host starts a new game for everybody.
uint8_t SendGame(const GameOptions& game);
// Adds a colour's three bytes to the message being built.
void MColour(const RGB& colour);
void KickID(uint8_t id);
void SendChat(const std::string& text);
// Tells the host this player's new colour (`color`).
void SendColour();
// The "Disconnect" button: leave or stop hosting, forget the list server.
void DisconnectAll();
void ServerListRefresh();
// Joins the game of a server-list row's extra object, if it is one. True when connected.
bool JoinListedGame(const ObjectRef& extra, const std::string& name);

// The message handling of one host connection and of the player, over bytes
// already received; used by the polls (and by the fuzzers).
struct TNetClient;
void HostReceive(TNetClient* c, std::span<const uint8_t> bytes);
void ClientReceive(std::span<const uint8_t> bytes);

}  // namespace bg
