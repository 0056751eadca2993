#include "minefield/players.h"

#include <algorithm>

namespace bg {

int32_t PlayersSortId(const TPlayer& a, const TPlayer& b) { return a.id > b.id ? 1 : a.id == b.id ? 0 : -1; }
int32_t compareScore(const TPlayer& a, const TPlayer& b) {
  return a.score > b.score ? 1 : a.score == b.score ? 0 : -1;
}

void SortPlayersById(std::vector<TPlayer>& list) {
  std::stable_sort(list.begin(), list.end(), [](const TPlayer& a, const TPlayer& b) { return PlayersSortId(a, b) < 0; });
}

std::vector<TPlayer> RankByScore(const std::vector<TPlayer>& list) {
  std::vector<TPlayer> ranking = list;
  std::stable_sort(ranking.begin(), ranking.end(),
                   [](const TPlayer& a, const TPlayer& b) { return compareScore(a, b) > 0; });
  return ranking;
}

}  // namespace bg
