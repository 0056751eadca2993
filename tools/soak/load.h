#pragma once
#include <cstdint>
#include <string>

// The raw-socket side of the soak: peers that speak the protocol without a
// game behind them, and hostile ones. Runs in its own process so that the
// host's memory figures hold only the host.
namespace bg::soak {

struct LoadOptions {
  int port = 0;
  double seconds = 30;
  int width = 100, height = 100;
  int peers = 45;            // join, click at random, drain what comes
  double clickRate = 10;     // clicks per second per peer
  int silent = 8;            // join, never read
  int silentRcvBuf = 4096;   // small, so the host's queue is what fills
  double garbageKiBps = 1024;  // one peer; 0: none
  // One player whose messages the host relays to everybody: colour changes
  // (kept nowhere), the longest chat lines (kept by every console) or valid
  // clicks (kept in the host's log, replayed to every late joiner).
  enum class Spam { Colour, Chat, Click } spam = Spam::Colour;
  double spamKiBps = 256;    // 0: none
  double floodRate = 20;     // connect/close per second; 0: none
  long floodMax = 50000;     // a bound whatever the duration
  uint32_t seed = 1;
};

struct LoadStats {
  long joined = 0;           // peers (of both kinds) that connected and joined
  long joinFailed = 0;
  long clicks = 0;
  long drained = 0;          // bytes the clicking peers read
  long peersLost = 0;        // clicking peers whose connection ended
  long garbageBytes = 0;
  long garbageConnects = 0;  // the first one and every reconnect
  long spamBytes = 0;
  long floodOk = 0, floodFailed = 0;
  double floodMaxConnectMs = 0;
};

// Returns when the time is up; every socket is closed by then.
LoadStats RunLoad(const LoadOptions& o);

std::string ToLine(const LoadStats& s);
bool FromLine(const std::string& line, LoadStats& s);

}  // namespace bg::soak
