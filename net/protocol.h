#pragma once
#include <cstdint>
#include <string>

#include "minefield/block.h"
#include "platform/gui.h"

// The host/player protocol as the event hook sees it.
namespace bg {

void NetServer();
void NetClient();
// Per-tick poll of the list-server connection.
void ServerListPoll();

uint8_t Host(uint8_t broadcast);
// Connect to a host by name or dotted address.
uint8_t ConnectTo(const std::string& host, int32_t port);
void SendClick(TBlock* block, uint8_t button);
void SendGame(int32_t width, int32_t height, int32_t mines);
void KickID(uint8_t id);
void SendChat(const std::string& text);
void SendColour();
// The "Disconnect" button: leave or stop hosting, forget the list server.
void DisconnectAll();
void ServerListRefresh();
// Joins the game of a server-list row's extra object, if it is one.
void JoinListedGame(const ObjectRef& extra);

}  // namespace bg
