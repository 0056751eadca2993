#pragma once
#include <vector>

#include "minefield/game.h"

namespace bg {

// A chord on block `id`: when it is an uncovered number and the mines marked
// around it (flags on covered neighbours, anyone's, and mines already uncovered)
// equal that number, the covered, unflagged neighbours to reveal, each once, in
// neighbour order; otherwise none. Marks are counted over the neighbour list as
// the number itself is, so a neighbour that a narrow wrapping field lists twice
// counts twice.
std::vector<int32_t> ChordTargets(const Game& g, int32_t id);
// The chord as the uncovering moves it stands for: a chord is nothing but
// ordinary clicks, so the wire and the rules need nothing of their own for it.
std::vector<Move> ChordMoves(const Game& g, int32_t id, uint8_t player);

}  // namespace bg
