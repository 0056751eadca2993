#pragma once
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/message.h"

// The list server: hosts announce their games, players ask for the list.
//
// Messages in: 100 with kind 2 (introduction, nothing more), 100 with kind 1
// (announcement: name line, port int), 101 (list request, nothing more).
// Message out: 102 (count short; then per game: address line, port int,
// seconds since the announcement as a short capped at 65535, name line).
// Each connection holds at most one game; a new announcement replaces it and
// the game goes when the connection closes.
//
// Before a game is listed, the server connects to the announced port at the
// address the announcement came from. A host it cannot reach (or one that asks
// for it) and that speaks the relay messages (net/message.h; a relaying server
// welcomes every connection behind its first list, and a hello may come any
// time after the announcement, moving a game listed directly to the relay) is listed at this
// server's public address and a port of the relay range instead: a player who
// connects there is joined byte for byte to a connection the host opens back
// to the list port with a one-time token.
namespace bg::listserver {

inline constexpr uint16_t kDefaultPort = 8201;
// Connections on the list port, and per source (an IPv4 address or an IPv6 /64).
inline constexpr size_t kMaxConnections = 4096;
inline constexpr size_t kMaxConnectionsPerIp = 32;
inline constexpr size_t kMaxGames = 1024;
// A list-port connection that has no game and sends nothing for this long is closed.
inline constexpr int64_t kQuietMs = 5000;
// A connection's announcements after its first count one a second; one that
// sends this many more meanwhile is dropped.
inline constexpr int64_t kAnnounceGapMs = 1000;
inline constexpr int kMaxEarlyAnnouncements = 8;
// A source refused for too many connections is logged once in this time.
inline constexpr int64_t kRefusedLogMs = 60000;
// The probe of a host's port gives up after this long.
inline constexpr int64_t kProbeMs = 2000;
// Relays: players per relayed game, unanswered calls per game, relayed
// players per source, relayed games per host source, all relayed players.
inline constexpr size_t kMaxRelayedPerGame = 64;
inline constexpr size_t kMaxCallsPerGame = 8;
inline constexpr size_t kMaxRelayedPerIp = 16;
inline constexpr size_t kMaxRelayGamesPerIp = 8;
inline constexpr size_t kMaxRelayed = 8192;
// A call the host has not answered by then ends, and its token with it.
inline constexpr int64_t kCallMs = 10000;
// A relay with no byte either way for this long is closed.
inline constexpr int64_t kRelayIdleMs = 15 * 60 * 1000;
// Bytes held per relay and direction; past it the sending side is not read.
inline constexpr size_t kRelayBuffer = 64 * 1024;
// The largest frame a client sends is an announcement: a name line and a few numbers.
inline constexpr size_t kMaxHeldInput = kFrameHeaderSize + kMaxLineBytes + 64;
// Read per connection per round, so one busy client cannot starve the rest.
inline constexpr size_t kReadPerRound = 16 * 1024;
// A full list is about 80 KiB; a client that leaves several unread is dropped.
inline constexpr size_t kSendCap = 512 * 1024;

struct Config {
  uint16_t port = kDefaultPort;
  std::string bind;  // empty: every address, IPv6 and IPv4
  uint16_t relayLo = 0, relayHi = 0;  // no range: no relay
  std::string publicAddress;  // empty: the address each host reached this server at
  bool relayAll = false;  // relay every host that can be, reachable or not (no host's address is listed)
};

class Server {
 public:
  Server();
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens; false (with a log line) when the port is taken.
  bool Start(const Config& config);
  uint16_t Port() const { return port_; }
  // Serves until *stop becomes non-zero; checks it at least once a second.
  void Run(const volatile std::sig_atomic_t* stop);
  // Feeds bytes to a connection without a socket through the same reader and
  // handlers as a real one (for fuzzing); the connection stays until Reset.
  // Returns the number of games listed.
  size_t FeedDetached(std::span<const uint8_t> bytes);
  void ResetDetached();

  struct Addr {
    sockaddr_storage sa{};
    socklen_t len = 0;
  };
  struct Endpoint;
  struct Client;
  struct Probe;
  struct RelayGame;
  struct Pipe;
  struct Side;

 private:
  friend struct Endpoint;
  friend struct Client;
  friend struct Probe;
  friend struct RelayGame;
  friend struct Side;

  void Watch(Endpoint* e, uint32_t events);
  void Forget(Endpoint* e);
  void AcceptClients();
  // Out of descriptors: takes one waiting connection off `listener` and closes it, so epoll stops reporting it.
  void Shed(int listener);
  void Input(Client& c, std::span<const uint8_t> bytes);
  Parse Handle(Client& c, uint16_t id, FieldReader& r);
  void Announced(Client& c);
  void Probed(Client& c, bool reachable);
  void List(Client& c, bool relayed);
  void SendList(Client& c);
  // Appends the relay welcome, once per connection, when there is a relay to offer.
  void Welcome(Client& c, MessageWriter& w);
  void Send(Client& c, std::span<const uint8_t> bytes);
  void Drop(Client& c, const std::string& why);
  void AcceptRelayed(RelayGame& g);
  void Answer(Client& c, std::span<const uint8_t> token, std::span<const uint8_t> rest);
  void Pump(Side& from, bool hangup);
  void Rewatch(Side& s);
  void Close(Pipe& p, const std::string& why);
  void CloseRelay(RelayGame& g);
  void Sweep();
  size_t GameCount() const;
  std::string Who(const Client& c) const;

  Config config_;
  int epoll_ = -1;
  int listener_ = -1;
  uint16_t port_ = 0;
  int family_ = AF_INET6;
  std::unordered_map<Endpoint*, std::unique_ptr<Endpoint>> live_;
  std::vector<std::unique_ptr<Endpoint>> dead_;
  std::vector<Client*> clients_;
  std::unordered_map<std::string, Pipe*> calls_;  // token -> the call waiting for it
  std::unordered_map<std::string, size_t> perSource_, relayedPerSource_, relayGamesPerSource_;
  std::unordered_map<std::string, int64_t> refusedLogged_;  // source -> when its refusal was last logged
  int spare_ = -1;  // a descriptor kept to give back when there are none left
  std::vector<bool> portTaken_;
  size_t relayed_ = 0;
  uint64_t nextSerial_ = 1;
  int64_t lastSweep_ = 0;
  std::unique_ptr<Client> detached_;
};

// Milliseconds of the steady clock.
int64_t NowMs();
// What per-source limits count as one source: an IPv4 address, or the /64 of an IPv6 one.
std::string SourceKey(const sockaddr_storage& sa);
// Printable address (IPv4-mapped IPv6 addresses as plain IPv4).
std::string AddrText(const sockaddr_storage& sa);

// A numeric IPv4 or IPv6 address.
bool ValidAddress(const std::string& text);

// One line to stderr with the time in front.
void Log(const std::string& line);

}  // namespace bg::listserver
