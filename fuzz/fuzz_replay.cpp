// .bgreplay files: the reader refuses with one of its messages, or gives a game that can be
// watched and whose encoding reads back to the same encoding (times are rounded once, then kept).
#include <cstdint>
#include <vector>
#include <string>

#include <zlib.h>

#include "fuzz/fuzz_util.h"
#include "minefield/kept.h"
#include "minefield/replayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bg;
  // Half the inputs get a true length and checksum, so mutations reach the body's reader
  // rather than dying at the seal; the raw bytes also go to the move-list reader alone.
  std::vector<uint8_t> sealed(data, data + size);
  if (size >= 18 && (data[size - 1] & 1)) {
    sealed.resize(size - 4);
    const size_t body = sealed.size() - 14;
    for (int i = 0; i < 4; ++i) sealed[10 + size_t(i)] = uint8_t(body >> (8 * i));
    const uint32_t crc = uint32_t(crc32(0L, sealed.data(), uInt(sealed.size())));
    for (int i = 0; i < 4; ++i) sealed.push_back(uint8_t(crc >> (8 * i)));
  }
  GameRecord events;
  if (DecodeEvents(std::span<const uint8_t>(data, size), events))
    fuzz::Check(EncodeEvents(events).size() <= size, "a move list grew in a round trip");
  const ReplayRead r = DecodeReplay(sealed);
  if (!r.game) {
    fuzz::Check(r.error == kNotAReplay || r.error == kDamagedReplay || r.error == kNewerReplay, "unknown refusal");
    return 0;
  }
  const std::vector<uint8_t> once = EncodeReplay(*r.game);
  const ReplayRead back = DecodeReplay(once);
  fuzz::Check(back.game && EncodeReplay(*back.game) == once, "a replay changed in a round trip");
  Replayer p(r.game->record);
  p.Seek(p.Events() / 2);
  p.Seek(p.Events());
  return 0;
}
