// blastgrid-listserver: the list of announced Blastgrid games.
#include <arpa/inet.h>

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
               "usage: blastgrid-listserver [--port N] [--bind ADDRESS]\n"
               "  --port N         TCP port to listen on (default %u; 0 lets the system choose)\n"
               "  --bind ADDRESS   IPv4 address to listen on (default: all)\n",
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

}  // namespace

int main(int argc, char** argv) {
  uint16_t port = bg::listserver::kDefaultPort;
  uint32_t bindIp = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "--port" && i + 1 < argc && ParsePort(argv[i + 1], port)) {
      ++i;
      continue;
    }
    if (arg == "--bind" && i + 1 < argc) {
      in_addr a{};
      if (inet_pton(AF_INET, argv[i + 1], &a) == 1) {
        bindIp = ntohl(a.s_addr);
        ++i;
        continue;
      }
    }
    Usage(stderr);
    return 2;
  }

  // No SA_RESTART: the signal has to cut poll() short.
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  bg::listserver::Server server;
  if (!server.Start(port, bindIp)) return 1;
  server.Run(&g_stop);
  return 0;
}
