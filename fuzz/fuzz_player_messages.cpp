// What a player does with the bytes its host sends: players, identities,
// game setups, clicks, seeds, chat, leaving, kicks and colours, cut anywhere.
//
// Input: byte 0 picks where the stream is cut (two cuts); the rest is the stream.
// Game setups may ask for at most 64 x 64 blocks: wherever a setup's header
// stands, a larger width or height is folded into 1..64 before the stream is
// read, so inputs stay fast (fields up to 2^21 blocks cost milliseconds each)
// while every path of the setup handling, refusals included, is still reached.
// Checks, beyond the sanitizers: the kept counters match the blocks.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "minefield/game.h"
#include "net/net.h"
#include "net/protocol.h"

using namespace bg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Game g;
  TNet::ClientReader.Reset();
  TNet::NetStatus = 1;
  StartGame(g, 9, 7, 10, 1, 0.0f, 1, 0);
  static std::vector<uint8_t> bytes;
  bytes.assign(data + 1, data + size);
  // Any offset, not only 8-byte steps: the reader's alignment depends on what came before.
  for (size_t at = 0; at + kFrameHeaderSize + 8 <= bytes.size(); ++at) {
    if (std::memcmp(&bytes[at], kFrameMarkerBytes.data(), kFrameMarkerSize) != 0 || bytes[at + 8] != MSG_GAME ||
        bytes[at + 9] != 0)
      continue;
    for (size_t field = at + kFrameHeaderSize; field < at + kFrameHeaderSize + 8; field += 4) {
      int32_t v;
      std::memcpy(&v, &bytes[field], 4);
      if (v > 64) v = 1 + v % 64;
      std::memcpy(&bytes[field], &v, 4);
    }
  }
  bg::fuzz::FeedInThree(data[0], bytes, [&g](std::span<const uint8_t> piece) { ClientReceive(g, piece); });
  bg::fuzz::Check(g.Blocks.size() <= 64 * 64, "a field larger than the folded setups allow");
  bg::fuzz::Check(g.Blocks.size() == size_t(g.Count()), "the blocks do not fill the field");
  int revealed = 0, flags = 0;
  for (const TBlock& b : g.Blocks) {
    revealed += b.Revealed;
    flags += b.flag;
  }
  bg::fuzz::Check(revealed == g.revealed, "revealed counter drifted");
  bg::fuzz::Check(flags == g.flags, "flag counter drifted");
  TNet::NetStatus = 0;
  return 0;
}
