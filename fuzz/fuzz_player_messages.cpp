// What a player does with the bytes its host sends: players, identities,
// game setups, clicks, seeds, chat, leaving, kicks and colours, cut anywhere.
//
// Input: byte 0 picks where the stream is cut (two cuts); the rest is the stream.
// Checks, beyond the sanitizers: the field's views still agree (every block is
// where the grid says) and the kept counters match the blocks.
#include <cstdint>
#include <span>

#include "fuzz/fuzz_util.h"
#include "minefield/game.h"
#include "net/net.h"
#include "minefield/players.h"
#include "net/protocol.h"

using namespace bg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Players.clear();
  LeavingPlayers.clear();
  MPlayer.reset();
  TNet::ClientReader.Reset();
  TNet::NetStatus = 1;
  StartGame(9, 7, 10, 1, 0.0f, 1);
  const std::span<const uint8_t> stream(data + 1, size - 1);
  const size_t cut1 = stream.empty() ? 0 : (data[0] & 0x0F) * stream.size() / 16;
  const size_t cut2 = stream.empty() ? 0 : cut1 + ((data[0] >> 4) * (stream.size() - cut1)) / 16;
  ClientReceive(stream.subspan(0, cut1));
  ClientReceive(stream.subspan(cut1, cut2 - cut1));
  ClientReceive(stream.subspan(cut2));
  if (Blocks.size() <= 100000) {
    int revealed = 0, flags = 0;
    for (const TBlock& b : Blocks) {
      bg::fuzz::Check(BlockA(b.x, b.y) == &b, "a block is not where the grid says");
      revealed += b.Revealed;
      flags += b.flag;
    }
    bg::fuzz::Check(revealed == TBlock::NumRevealed(), "revealed counter drifted");
    bg::fuzz::Check(flags == TBlock::CountFlags(), "flag counter drifted");
  }
  TNet::NetStatus = 0;
  return 0;
}
