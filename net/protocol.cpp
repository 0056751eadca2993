#include "net/protocol.h"

#include "platform/gui.h"

// Until the network layer lands, the multiplayer commands do nothing and say nothing.
namespace bg {
void NetServer() {}
void NetClient() {}
void ServerListPoll() {}
uint8_t Host(uint8_t) { return 0; }
uint8_t ConnectTo(const std::string&, int32_t) { return 0; }
void SendClick(TBlock*, uint8_t) {}
void SendGame(int32_t, int32_t, int32_t) {}
void KickID(uint8_t) {}
void SendChat(const std::string&) {}
void SendColour() {}
void DisconnectAll() {}
void ServerListRefresh() {}
void JoinListedGame(const ObjectRef&) {}
}  // namespace bg
