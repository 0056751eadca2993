// The list server's own handling of what a game sends it (introductions, announcements,
// of which one a second counts, list requests, relay hellos before or after an
// announcement, and a first frame that may answer a relay call), fed through a socketless connection.
//
// Input: byte 0 picks where the stream is cut; the rest is the stream.
// Checks, beyond the sanitizers: one connection never lists more than one game.
#include <cstdint>
#include <span>

#include "fuzz/fuzz_util.h"
#include "tools/listserver/listserver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static bg::listserver::Server server;
  server.ResetDetached();
  const std::span<const uint8_t> stream(data + 1, size - 1);
  const size_t cut = stream.size() * data[0] / 256;
  server.FeedDetached(stream.subspan(0, cut));
  const size_t games = server.FeedDetached(stream.subspan(cut));
  bg::fuzz::Check(games <= 1, "one connection lists more than one game");
  server.ResetDetached();
  return 0;
}
