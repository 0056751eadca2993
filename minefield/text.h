#pragma once
#include <string>

#include "minefield/game.h"

// The board as text, one character a block in id order: "." covered, "F" a
// flag on a covered block, "f" a flag left on an uncovered one, "*" a mine,
// "0"-"8" a number. Tools and tests compare boards of different programs by it.
namespace bg {

char BlockChar(const TBlock& b);
std::string BoardText(const Game& g);

}  // namespace bg
