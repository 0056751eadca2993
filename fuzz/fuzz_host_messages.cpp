// What a host does with the bytes one player connection sends it: join
// requests, chat, clicks, colour changes, in any order, cut anywhere.
//
// Input: byte 0 picks where the stream is cut (two cuts); the rest is the stream.
// Checks, beyond the sanitizers: the click log holds only clicks on the
// current field with button 1 or 2, no two host records share an id, and
// every name fits the cap (with room for the number that tells equal ones apart).
#include <cstdint>
#include <set>
#include <span>

#include "fuzz/fuzz_util.h"
#include "minefield/game.h"
#include "net/net.h"
#include "minefield/players.h"
#include "net/protocol.h"
#include "platform/latin1.h"

using namespace bg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  TNet::Clients.clear();
  Players.clear();
  SPlayers.clear();
  SLeavingPlayers.clear();
  Actions.clear();
  TNet::NetStatus = 2;
  StartGame(9, 7, 10, 1, 0.0f, 1);
  TNetClient* c = TNetClient::CreateClient(TSocket());
  bg::fuzz::FeedInThree(data[0], {data + 1, size - 1}, [c](std::span<const uint8_t> piece) { HostReceive(c, piece); });
  for (const TAction& a : Actions) {
    bg::fuzz::Check(a.amod == 1 || a.amod == 2, "a click with another button was logged");
    bg::fuzz::Check(a.adata >= 0 && a.adata < float(BlockAW * BlockAH), "a click off the field was logged");
  }
  std::set<int> ids;
  for (const PlayerRef& p : SPlayers) {
    bg::fuzz::Check(ids.insert(p->id).second, "two host records share an id");
    bg::fuzz::Check(Utf8ToLatin1(p->name).size() <= kMaxNameChars + kMaxNameSuffixChars, "a name over the cap");
  }
  TNet::NetStatus = 0;
  TNet::Clients.clear();
  return 0;
}
