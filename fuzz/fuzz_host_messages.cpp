// What a host does with the bytes one player connection sends it: join
// requests, chat, clicks, colour changes, in any order, cut anywhere.
//
// Input: byte 0 picks where the stream is cut (two cuts); the rest is the stream.
// Checks, beyond the sanitizers: the game's record holds only clicks on the
// current field with button 1 or 2, no two host records share an id, every
// name fits the cap (with room for the number that tells equal ones apart),
// and the record replays to a game without trouble.
#include <cstdint>
#include <set>
#include <span>

#include "fuzz/fuzz_util.h"
#include "minefield/record.h"
#include "net/host.h"
#include "net/net.h"
#include "platform/latin1.h"

using namespace bg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  TNet::Clients.clear();
  HostSession host;
  TNet::NetStatus = 2;
  host.StartGame(GameSetup{9, 7, 10, 1, 1, 0});
  TNetClient* c = TNetClient::CreateClient(TSocket());
  bg::fuzz::FeedInThree(data[0], {data + 1, size - 1}, [&host, c](std::span<const uint8_t> piece) { host.Receive(c, piece); });
  for (const RecordEvent& e : host.record.events) {
    if (e.kind != RecordEvent::MOVE) continue;
    bg::fuzz::Check(e.button == 1 || e.button == 2, "a click with another button was recorded");
    bg::fuzz::Check(e.block >= 0 && e.block < 9 * 7, "a click off the field was recorded");
  }
  std::set<int> ids;
  for (const HostPlayer& p : host.players) {
    bg::fuzz::Check(ids.insert(p.id).second, "two host records share an id");
    bg::fuzz::Check(Utf8ToLatin1(p.name).size() <= kMaxNameChars + kMaxNameSuffixChars, "a name over the cap");
  }
  const Game replayed = Replay(host.record);
  bg::fuzz::Check(replayed.Players.size() == host.players.size(), "the record replays to other players");
  TNet::NetStatus = 0;
  TNet::Clients.clear();
  return 0;
}
