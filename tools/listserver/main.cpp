// blastgrid-listserver: the list of announced Blastgrid games.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/listserver/listserver.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: blastgrid-listserver [--port N] [--bind ADDRESS] [--relay-ports A-B] [--public-address NAME]\n"
               "                            [--relay-all]\n"
               "  --port N                TCP port to listen on (default %u; 0 lets the system choose)\n"
               "  --bind ADDRESS          IPv4 or IPv6 address to listen on (default: all, both families)\n"
               "  --relay-ports A-B       relay games whose hosts cannot be reached, on ports A to B\n"
               "  --public-address NAME   the name or address players reach this server at, listed\n"
               "                          for relayed games (default: the address each host used)\n"
               "  --relay-all             relay every game whose host can be relayed, reachable or not\n",
               unsigned(bg::listserver::kDefaultPort));
}

bool ParsePort(const char* text, uint16_t& port) {
  if (text == nullptr || *text == '\0' || std::strlen(text) > 5) return false;
  unsigned long v = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + unsigned(*p - '0');
  }
  if (v > 65535) return false;
  port = uint16_t(v);
  return true;
}

bool ParseRange(const std::string& text, uint16_t& lo, uint16_t& hi) {
  const size_t dash = text.find('-');
  return dash != std::string::npos && ParsePort(text.substr(0, dash).c_str(), lo) &&
         ParsePort(text.substr(dash + 1).c_str(), hi) && lo > 0 && lo <= hi;
}

}  // namespace

int main(int argc, char** argv) {
  bg::listserver::Config config;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    const bool more = i + 1 < argc;
    if (arg == "--port" && more && ParsePort(argv[i + 1], config.port)) {
      ++i;
      continue;
    }
    if (arg == "--bind" && more && bg::listserver::ValidAddress(argv[i + 1])) {
      config.bind = argv[++i];
      continue;
    }
    if (arg == "--relay-ports" && more && ParseRange(argv[i + 1], config.relayLo, config.relayHi)) {
      ++i;
      continue;
    }
    if (arg == "--relay-all") {
      config.relayAll = true;
      continue;
    }
    if (arg == "--public-address" && more && *argv[i + 1] != '\0') {
      config.publicAddress = argv[++i];
      continue;
    }
    Usage(stderr);
    return 2;
  }

  // No SA_RESTART: the signal has to cut epoll_wait() short.
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  // Every connection is a descriptor: take as many as the system allows.
  if (rlimit lim{}; getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
  bg::listserver::Server server;
  if (!server.Start(config)) return 1;
  server.Run(&g_stop);
  return 0;
}
