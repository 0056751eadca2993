#include "minefield/chord.h"

#include <algorithm>

namespace bg {

std::vector<int32_t> ChordTargets(const Game& g, int32_t id) {
  std::vector<int32_t> out;
  const TBlock* b = g.FromID(id);
  if (!b || b->Revealed == 0 || b->Value <= 0) return out;
  int32_t marked = 0;
  const FieldShape::Neighbours around = g.Around(id);
  for (const int32_t a : around) {
    const TBlock& n = g.Blocks[size_t(a)];
    if ((n.Revealed == 0 && n.flag == 1) || (n.Revealed == 1 && n.Value == -1)) ++marked;
  }
  if (marked != b->Value) return out;
  for (const int32_t a : around) {
    const TBlock& n = g.Blocks[size_t(a)];
    if (n.Revealed == 0 && n.flag == 0 && std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
  }
  return out;
}

std::vector<Move> ChordMoves(const Game& g, int32_t id, uint8_t player) {
  std::vector<Move> moves;
  for (const int32_t t : ChordTargets(g, id)) moves.push_back({t, CLICK_UNCOVER, player});
  return moves;
}

}  // namespace bg
