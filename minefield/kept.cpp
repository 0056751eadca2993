#include "minefield/kept.h"

namespace bg {

const char* OutcomeText(Outcome o) {
  switch (o) {
    case Outcome::WON: return "won";
    case Outcome::LOST: return "lost";
    case Outcome::ENDED: return "ended by others";
    case Outcome::ABANDONED: return "abandoned";
  }
  return "";
}

int32_t Bbbv(const Game&) { return 0; }

std::vector<uint8_t> EncodeReplay(const KeptGame&) { return {}; }
ReplayRead DecodeReplay(std::span<const uint8_t>) { return {std::nullopt, kNotAReplay}; }
std::vector<uint8_t> EncodeEvents(const GameRecord&) { return {}; }
bool DecodeEvents(std::span<const uint8_t>, GameRecord& out) {
  out.events.clear();
  return false;
}

}  // namespace bg
