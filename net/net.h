#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "net/message.h"
#include "platform/connector.h"
#include "platform/socket.h"

// The message layer: one outgoing buffer, the host's accepted connections,
// this program's connection to a host and the listening socket. Class-level only.
namespace bg {

// Whether and how this program is in a network game.
enum : uint8_t { NET_OFF = 0, NET_JOINED = 1, NET_HOSTING = 2 };

// The host's record of one accepted player connection.
struct TNetClient {
  TSocket tcpsock;
  // Bytes of a frame cut by TCP wait here for the rest.
  FrameReader reader;
  // When the connection was accepted: one that never asks to join is closed.
  int32_t accepted = 0;
  // Clicks and chat lines it may still send now: refilled with time, so no
  // one peer can flood the click log every late joiner replays.
  double clickTokens = 0, chatTokens = 0;
  int32_t lastRefill = 0;

  // Appends a record for the accepted socket to TNet::Clients.
  static TNetClient* CreateClient(TSocket socket);
  // Closes the connection and drops the record from TNet::Clients.
  void remove();
};

class TNet {
 public:
  static MessageWriter Message;
  static std::vector<std::unique_ptr<TNetClient>> Clients;
  static TSocket Clientsock;
  static TSocket Serversock;
  static FrameReader ClientReader;
  // NET_OFF, NET_JOINED (another host's game) or NET_HOSTING.
  static uint8_t NetStatus;
  // This program's player id in the game, once the host has said it; -1 before.
  static int32_t MyId;

  static void MNew(uint16_t id) { Message.MNew(id); }
  static void MByte(uint8_t v) { Message.MByte(v); }
  static void MShort(uint16_t v) { Message.MShort(v); }
  static void MInt(int32_t v) { Message.MInt(v); }
  static void MLong(int64_t v) { Message.MLong(v); }
  static void MFloat(float v) { Message.MFloat(v); }
  static void MDouble(double v) { Message.MDouble(v); }
  static void MLine(const std::string& s) { Message.MLine(s); }
  static void MString(const std::string& s) { Message.MString(s); }
  static void MClear() { Message.MClear(); }
  // Queues the whole buffer on the socket (never blocks); only in a network
  // game, or to the list server.
  static void MSend(TSocket& socket);
  // To every accepted connection but `except` (null: all, the host's own too).
  // Queued only: the host's poll flushes every connection once at its end.
  static void MClientSendTCP(const TNetClient* except);
  static void FlushClients();

  // TCP_NODELAY is on for the connection, so each small message leaves at once.
  static uint8_t Connect(const SockAddr& to, int timeoutMs = TSocket::kDefaultConnectTimeoutMs);
  // The same without waiting, to every address of a name in turn: PollConnect
  // (once per tick) makes the connection Clientsock when it succeeds.
  static Connector Joining;
  static void StartConnect(const std::string& host, int32_t port, Lookup lookup = Resolve);
  static Connector::State PollConnect();
  // Listens on port, over IPv6 and IPv4 where the system has both; Host also
  // joins this program's own player to it.
  static bool Listen(int32_t port);
  static uint8_t Host(int32_t port);
  static void Disconnect();
  static void Reset();
  // At most this many connections are kept; later ones are closed at once.
  static constexpr size_t kMaxClients = 256;
  // Connections accepted per host poll: enough that a flood of connection
  // attempts cannot keep real players waiting.
  static constexpr int kAcceptsPerPoll = 16;
  // A connection that has not asked to join within this time is closed.
  static constexpr int32_t kJoinTimeoutMs = 10000;
};

}  // namespace bg
