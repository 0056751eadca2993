#include "minefield/chord.h"

#include <algorithm>

namespace bg {

std::vector<TBlock*> ChordTargets(const TBlock& b) {
  std::vector<TBlock*> out;
  if (b.Revealed == 0 || b.Value <= 0) return out;
  int32_t marked = 0;
  for (const TBlock* n : b.AdjBlocks)
    if (n && ((n->Revealed == 0 && n->flag == 1) || (n->Revealed == 1 && n->Value == -1))) ++marked;
  if (marked != b.Value) return out;
  for (TBlock* n : b.AdjBlocks)
    if (n && n != &b && n->Revealed == 0 && n->flag == 0 && std::find(out.begin(), out.end(), n) == out.end())
      out.push_back(n);
  return out;
}

}  // namespace bg
