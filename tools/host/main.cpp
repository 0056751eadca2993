// blastgrid-host: hosts a network game without any board of its own.
//
//   blastgrid-host PORT WIDTH HEIGHT MINES WRAP LETHAL [LIST-ADDRESS LIST-PORT NAME [relay|unreachable]]
//
// Listens on PORT, starts a game of that setup and relays it at 70 Hz: joins,
// clicks, chat and colours are checked against the game's setup and kept in
// its record, which every late joiner receives. With a list server, announces
// the game there as NAME ("relay": asks to be listed through the server's
// relay even when reachable; "unreachable": announces a port held closed
// instead of PORT, so the server's probe fails and only relayed players, who
// come through the host's own call-backs, can join). Prints "HOSTING" once it listens. Commands on
// stdin, one a line: "new" starts a new game with the same setup, "record"
// prints the record's size ("record EVENTS PLAYERS"), "kick ID" kicks a
// player, "unlist" closes the list-server connection; end of input ends it.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/host.h"
#include "net/net.h"
#include "net/serverlist.h"

int main(int argc, char** argv) {
  const bool relay = argc == 11 && std::string(argv[10]) == "relay";
  const bool unreachable = argc == 11 && std::string(argv[10]) == "unreachable";
  if (argc != 7 && argc != 10 && !relay && !unreachable) {
    std::fprintf(stderr,
                 "usage: blastgrid-host PORT WIDTH HEIGHT MINES WRAP LETHAL [LIST-ADDRESS LIST-PORT NAME "
                 "[relay|unreachable]]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  int v[6];
  for (int i = 0; i < 6; ++i) v[i] = std::atoi(argv[i + 1]);
  const bg::GameSetup setup{v[1], v[2], v[3], uint8_t(v[4] != 0), uint8_t(v[5] != 0), 0};
  bg::HostSession& host = bg::Hosting();
  if (!bg::TNet::Listen(v[0]) || !host.StartGame(setup)) {
    std::printf("ERR cannot host on port %d with that setup\n", v[0]);
    return 1;
  }
  // Bound but never listening: a connect to it is refused.
  bg::TSocket closed;
  if (unreachable && !(closed.CreateTCP() && closed.Bind(0))) {
    std::printf("ERR cannot hold a closed port\n");
    return 1;
  }
  if (argc >= 10) {
    bg::TServerList::IPs = {argv[7], argv[7]};
    bg::TServerList::Ports = {std::atoi(argv[8]), std::atoi(argv[8])};
    bg::TServerList::lists = 1;
    bg::TServerList::WantRelay = relay;
    bg::TServerList::Refresh();
    if (!bg::TServerList::Host(argv[9], unreachable ? closed.LocalPort() : v[0])) {
      std::printf("ERR cannot reach the list server\n");
      return 1;
    }
  }
  std::printf("HOSTING\n");
  std::fflush(stdout);
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now();
  std::string buf;
  for (;;) {
    const int waitMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count());
    pollfd pfd{0, POLLIN, 0};
    if (poll(&pfd, 1, waitMs > 0 ? waitMs : 0) > 0) {
      char chunk[256];
      const ssize_t n = read(0, chunk, sizeof chunk);
      if (n <= 0) return 0;
      buf.append(chunk, size_t(n));
      for (size_t nl; (nl = buf.find('\n')) != std::string::npos; buf.erase(0, nl + 1)) {
        const std::string cmd = buf.substr(0, nl);
        if (cmd == "new")
          std::printf(host.StartGame(setup) ? "OK\n" : "ERR\n");
        else if (cmd.rfind("kick ", 0) == 0)
          host.Kick(uint8_t(std::atoi(cmd.c_str() + 5))), std::printf("OK\n");
        else if (cmd == "unlist")
          bg::TServerList::CloseSock(), std::printf("OK\n");
        else if (cmd == "record")
          std::printf("record %zu %zu\n", host.record.events.size(), host.players.size());
        else
          std::printf("ERR unknown command\n");
        std::fflush(stdout);
      }
      if (buf.size() > 4096) buf.clear();
    }
    if (Clock::now() >= next) {
      host.Poll();
      bg::TServerList::NetRecv();
      next += std::chrono::microseconds(1000000 / 70);
      if (next < Clock::now()) next = Clock::now();
    }
  }
}
