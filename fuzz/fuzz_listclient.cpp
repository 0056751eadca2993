// The game's handling of the list server's replies, cut anywhere: game lists
// and text lines, of which only a block's first frame counts until the relay
// welcome is found among every frame; from then on every frame counts, calls too.
//
// Input: byte 0 picks where the stream is cut, its low bit whether the welcome
// came and the hello went out already; the rest is the stream.
// Checks, beyond the sanitizers: the list holds at most the 65535 games a count can name.
#include <cstdint>
#include <span>

#include "fuzz/fuzz_util.h"
#include "net/serverlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bg::TServerList::Reader.Reset();
  bg::TServerList::RelayReader.Reset();
  bg::TServerList::Relay = data[0] & 1 ? bg::TServerList::RELAY_AGREED : bg::TServerList::RELAY_NONE;
  bg::TServerList::ClearList();
  const std::span<const uint8_t> stream(data + 1, size - 1);
  const size_t cut = stream.size() * data[0] / 256;
  bg::TServerList::Receive(stream.subspan(0, cut));
  bg::TServerList::Receive(stream.subspan(cut));
  bg::fuzz::Check(bg::TServerList::Gamelist.size() <= 65535, "more games than a count can name");
  bg::fuzz::Check(bg::TServerList::Calls.empty(), "a call followed while not hosting");
  return 0;
}
