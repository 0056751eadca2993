#include "minefield/text.h"

namespace bg {

char BlockChar(const TBlock& b) {
  if (!b.Revealed) return b.flag ? 'F' : '.';
  if (b.flag) return 'f';
  if (b.Value == -1) return '*';
  return char('0' + b.Value);
}

std::string BoardText(const Game& g) {
  std::string out;
  out.reserve(g.Blocks.size());
  for (const TBlock& b : g.Blocks) out.push_back(BlockChar(b));
  return out;
}

}  // namespace bg
