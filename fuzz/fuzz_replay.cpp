// .bgreplay files: the reader refuses with one of its messages, or gives a game that can be
// watched and whose encoding reads back to the same encoding (times are rounded once, then kept).
#include <cstdint>
#include <vector>
#include <string>

#include "fuzz/fuzz_util.h"
#include "minefield/kept.h"
#include "minefield/replayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bg;
  const std::span<const uint8_t> in(data, size);
  const ReplayRead r = DecodeReplay(in);
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
