#pragma once
#include <vector>

#include "minefield/block.h"

namespace bg {

// A chord on `b`: when b is an uncovered number and the mines marked around it
// (flags on covered neighbours, anyone's, and mines already uncovered) equal that
// number, the covered, unflagged neighbours to reveal, each once, in neighbour
// order; otherwise none. Marks are counted over the neighbour list as the number
// itself is, so a neighbour that a narrow wrapping field lists twice counts twice.
std::vector<TBlock*> ChordTargets(const TBlock& b);

}  // namespace bg
