#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/message.h"
#include "platform/gui.h"
#include "platform/connector.h"
#include "platform/socket.h"

// The list-server client: announces hosted games and fetches the list.
namespace bg {

// One row of the server list.
struct TGame : Object {
  std::string name;
  std::string ip;
  int32_t PORT = 0;
  static std::shared_ptr<TGame> AddGame(std::vector<std::shared_ptr<TGame>>& list, const std::string& name,
                                        const std::string& ip, int32_t port);
};

class TServerList {
 public:
  // The connection to the list server that answered, if any.
  static std::unique_ptr<TSocket> Sock;
  // List servers to try, in order: the configured one, then one on this machine.
  static std::array<std::string, 2> IPs;
  static std::array<int32_t, 2> Ports;
  static int32_t lists;
  static std::vector<std::shared_ptr<TGame>> Gamelist;
  // Shown after the games: why there are none ("" when there is nothing to say).
  static std::string Notice;
  static FirstFrameReader Reader;
  // The relay extension: whether to ask for it, and how far this connection
  // got (RELAY_NONE: the server has not said it knows the relay messages, so
  // none are sent; RELAY_WELCOMED: it has, no hello sent yet; RELAY_AGREED:
  // the hello is out, so its calls are followed).
  enum : uint8_t { RELAY_NONE, RELAY_WELCOMED, RELAY_AGREED };
  static bool WantRelay;
  static uint8_t Relay;
  // Whether this connection has announced a game (a welcome then answers with the hello at once).
  static bool Announced;
  // Every frame of every block: the welcome, and once welcomed, everything.
  static FrameReader RelayReader;
  // Connections this host is opening back to the list server for relayed players.
  struct Callback {
    TSocket sock;
    std::vector<uint8_t> token;
    int32_t started = 0;
  };
  static std::vector<Callback> Calls;
  static constexpr size_t kMaxCalls = 16;
  static constexpr int32_t kCallTimeoutMs = 3000;
  // The connection being made (never waited for: NetRecv moves it on), and
  // an announcement made meanwhile, sent once it is there.
  static Connector Connecting;
  static std::optional<std::pair<std::string, int32_t>> WaitingAnnouncement;

  static TSocket* SockPtr() { return Sock.get(); }
  static void ClearList();
  static uint8_t Connected();
  // Starts connecting to the first list server that answers.
  static void Connect();
  static void Refresh();
  static uint8_t Host(const std::string& name, int32_t port);
  static void NetRecv();
  // The reply handling over bytes already received (used by NetRecv and the fuzzers).
  static void Receive(std::span<const uint8_t> bytes);
  static void CloseSock();
  // Opens, answers and hands to the host the calls of relayed players (per tick, from NetRecv).
  static void PollCalls();

 private:
  static void PollConnect();
};

}  // namespace bg
