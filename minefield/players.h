#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "minefield/block.h"

// The players of a game. Scores are never sent: each program derives them
// from its own copy of the board.
namespace bg {

struct TPlayer {
  std::string name;
  uint8_t id = 0;
  bool Left = false;  // has left the game
  int32_t score = 0;
  bool out = false;  // knocked out by a lethal mine
};

int32_t PlayersSortId(const TPlayer& a, const TPlayer& b);
int32_t compareScore(const TPlayer& a, const TPlayer& b);
// Stable sorts, so equal keys keep their order.
void SortPlayersById(std::vector<TPlayer>& list);
std::vector<TPlayer> RankByScore(const std::vector<TPlayer>& list);

}  // namespace bg
