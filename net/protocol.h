#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "minefield/block.h"
#include "platform/gui.h"
#include "platform/socket.h"

// The host/player protocol. Every click goes to the host, which relays it with
// the player's id to everybody in one order; each program applies the relayed
// clicks through ClickBlock, so all boards stay the same.
namespace bg {

// Message ids.
enum : uint16_t {
  MSG_JOIN = 1, MSG_PLAYER = 2, MSG_LEFT = 3, MSG_IDENTITY = 4, MSG_CHAT = 5, MSG_KICKED = 7,
  MSG_COLOUR = 9, MSG_GAME = 41, MSG_SEED = 45, MSG_CLICK = 50,
};

// The host's poll: accepts, reads every connection, relays.
void NetServer();
// The player's poll: reads the host's messages and applies them.
void NetClient();
// Per-tick poll of the list-server connection.
void ServerListPoll();

void Host(uint8_t broadcast);
uint8_t Connect(uint32_t ip, int32_t port, int timeoutMs = TSocket::kDefaultConnectTimeoutMs);
// Connects to a host given by name or dotted address; a name that does not
// resolve fails. Lookup and connect together take at most the connect timeout.
uint8_t ConnectTo(const std::string& host, int32_t port);
void SendConnect();
void SendClick(TBlock* block, uint8_t button);
uint8_t SendGame(int32_t width, int32_t height, int32_t mines);
void Sendcolor(const RGB& colour);
void KickID(uint8_t id);
void SendChat(const std::string& text);
void SendColour();
// The "Disconnect" button: leave or stop hosting, forget the list server.
void DisconnectAll();
void ServerListRefresh();
// Joins the game of a server-list row's extra object, if it is one.
void JoinListedGame(const ObjectRef& extra);

// The message handling of one host connection and of the player, over bytes
// already received; used by the polls (and by the fuzzers).
struct TNetClient;
void HostReceive(TNetClient* c, std::span<const uint8_t> bytes);
void ClientReceive(std::span<const uint8_t> bytes);

}  // namespace bg
