// Writes the game-message fuzzers' seeds from the message table, so every message, a new one
// too, has seeds: DIR/host_messages/ and DIR/player_messages/ get per message a typical frame
// and frames with every field at the low and at the high end of its range; and all of them in
// table order (a join first, so the host takes the rest), whole and cut. The first byte of a
// seed picks the cuts. usage: make_seeds DIR
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "net/message_table.h"

using namespace bg;

// k: 0 typical, 1 the low end, 2 the high end.
template <class M, class T>
void Set(const Field<M, T>& f, T& v, int k) {
  if constexpr (std::integral<T>) {
    const int64_t lo = f.limited ? f.lo : std::numeric_limits<T>::min();
    const int64_t hi = f.limited ? f.hi : std::numeric_limits<T>::max();
    v = T(k == 1 ? lo : k == 2 ? hi : std::clamp<int64_t>(sizeof(T) == 1 ? 1 : 9, lo, hi));
  } else if constexpr (std::is_same_v<T, std::string>) {
    v = k == 0 ? "Ann" : k == 1 ? "" : std::string(40, 'x') + "\xC3\xAB";
  } else if constexpr (std::is_same_v<T, float>) {
    v = k == 0 ? 1.5f : k == 1 ? -1.0f : 1e30f;
  } else {
    v = {uint8_t(k * 120), 200, 7};
  }
}

void Put(const std::filesystem::path& file, char cuts, const MessageWriter& w) {
  std::ofstream(file, std::ios::binary).put(cuts).write(reinterpret_cast<const char*>(w.Bytes().data()),
                                                        std::streamsize(w.Size()));
}

int main(int, char** argv) {
  for (const Dir dir : {Dir::ToHost, Dir::ToPlayer}) {
    const auto to = std::filesystem::path(argv[1]) / (dir == Dir::ToHost ? "host_messages" : "player_messages");
    std::filesystem::remove_all(to);  // a message taken out of the table takes its seeds along
    std::filesystem::create_directories(to);
    MessageWriter all;
    ForEachGameMessage([&]<class M>(M*) {
      if (M::kDir != dir) return;
      MessageWriter one;
      for (int k = 0; k < 3; ++k) {
        M m{};
        std::apply([&](const auto&... f) { (Set(f, m.*f.member, k), ...); }, M::Fields());
        WriteMessage(one, m);
        WriteMessage(all, m);
      }
      Put(to / ("message" + std::to_string(M::kId)), 0, one);
    });
    Put(to / "all", 0, all);
    Put(to / "all-cut", 0x57, all);
  }
}
