#pragma once
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/message.h"
#include "platform/socket.h"

// The list server: hosts announce their games, players ask for the list.
//
// Messages in: 100 with kind 2 (introduction, nothing more), 100 with kind 1
// (announcement: name line, port int), 101 (list request, nothing more).
// Message out: 102 (count short; then per game: address line, port int,
// seconds since the announcement as a short capped at 65535, name line).
// Each connection holds at most one game; a new announcement replaces it and
// the game goes when the connection closes.
namespace bg::listserver {

inline constexpr uint16_t kDefaultPort = 8201;
inline constexpr size_t kMaxConnections = 256;
// Keeps one machine from taking every slot.
inline constexpr size_t kMaxConnectionsPerIp = 32;
inline constexpr size_t kMaxGames = 256;
// The largest frame a client sends is an announcement: a name line and a few numbers.
inline constexpr size_t kMaxHeldInput = kFrameHeaderSize + kMaxLineBytes + 64;
// Read per connection per round, so one busy client cannot starve the rest.
inline constexpr size_t kReadPerRound = 16 * 1024;
// A full list is about 72 KiB; a client that leaves several unread is dropped.
inline constexpr size_t kSendCap = 256 * 1024;

class Server {
 public:
  // Binds and listens; false (with a log line) when the port is taken.
  bool Start(uint16_t port, uint32_t bindIp);
  uint16_t Port() const { return listener_.LocalPort(); }
  // Serves until *stop becomes non-zero; checks it at least once a second.
  void Run(const volatile std::sig_atomic_t* stop);
  // Feeds bytes to a connection without a socket through the same reader and
  // handlers as a real one (for fuzzing); the connection stays until Reset.
  // Returns the number of games listed.
  size_t FeedDetached(std::span<const uint8_t> bytes);
  void ResetDetached() { conns_.clear(); }

 private:
  struct Game {
    std::string name;
    int32_t port = 0;
    std::chrono::steady_clock::time_point since;
  };
  struct Conn {
    TSocket sock;
    FrameReader reader{kMaxHeldInput};
    uint64_t serial = 0;
    std::optional<Game> game;
    bool dead = false;
  };

  void AcceptAll();
  void ReadFrom(Conn& c);
  Parse Handle(Conn& c, uint16_t id, FieldReader& r);
  void SendList(Conn& c);
  void Drop(Conn& c, const std::string& why);
  size_t GameCount() const;
  std::string Who(const Conn& c) const;

  TSocket listener_;
  std::vector<std::unique_ptr<Conn>> conns_;
  uint64_t nextSerial_ = 1;
};

// One line to stderr with the time in front.
void Log(const std::string& line);

}  // namespace bg::listserver
