#include "minefield/players.h"

#include <algorithm>


namespace bg {

std::vector<PlayerRef> Players;
std::vector<PlayerRef> SPlayers;
std::vector<PlayerRef> LeavingPlayers;
std::vector<PlayerRef> SLeavingPlayers;
PlayerRef MPlayer;
std::vector<TAction> Actions;
RGB color{0, 0, 0};

PlayerRef TPlayer::Create(const std::string& name, const RGB& col, uint8_t id, TNetClient* client, uint8_t list) {
  auto p = std::make_shared<TPlayer>();
  p->name = name;
  *p->col = col;
  p->id = id;
  p->client = client;
  if (list == 0) Players.push_back(p);
  if (list == 1) SPlayers.push_back(p);
  return p;
}

namespace {
void Erase(std::vector<PlayerRef>& list, const TPlayer* p) {
  list.erase(std::remove_if(list.begin(), list.end(), [p](const PlayerRef& q) { return q.get() == p; }), list.end());
}
template <class Pred>
TPlayer* Find(const std::vector<PlayerRef>& list, Pred pred) {
  for (const PlayerRef& p : list)
    if (pred(*p)) return p.get();
  return nullptr;
}
}  // namespace

void TPlayer::remove() {
  Erase(Players, this);
  Erase(SPlayers, this);
}

void TPlayer::FindScore() {
  score = 0;
  for (const TBlock& b : Blocks) {
    if (b.flag == 1 && b.fpid == id) score += b.Value == -1 ? 1 : -1;
    if (b.Value == -1 && b.Revealed == 1 && b.pid == id) score -= 5;
  }
}

std::optional<uint8_t> TPlayer::NID() {
  bool taken[255] = {};
  for (const auto* list : {&Players, &SPlayers})
    for (const PlayerRef& p : *list)
      if (p->id < 255) taken[p->id] = true;
  for (int i = 0; i < 255; ++i)
    if (!taken[i]) return uint8_t(i);
  return std::nullopt;
}

TPlayer* TPlayer::SFindByClient(const TNetClient* c) { return Find(SPlayers, [c](const TPlayer& p) { return p.client == c; }); }
TPlayer* TPlayer::SFindByID(uint8_t i) { return Find(SPlayers, [i](const TPlayer& p) { return p.id == i; }); }
TPlayer* TPlayer::SFindByName(const std::string& n) { return Find(SPlayers, [&n](const TPlayer& p) { return p.name == n; }); }
TPlayer* TPlayer::FindByID(uint8_t i) { return Find(Players, [i](const TPlayer& p) { return p.id == i; }); }

TAction& TAction::Add(uint8_t atype, uint8_t amod, float adata, uint8_t aplayer) {
  Actions.push_back({atype, amod, adata, aplayer});
  return Actions.back();
}

int32_t PlayersSortId(const TPlayer& a, const TPlayer& b) { return a.id > b.id ? 1 : a.id == b.id ? 0 : -1; }
int32_t compareScore(const TPlayer& a, const TPlayer& b) {
  return a.score > b.score ? 1 : a.score == b.score ? 0 : -1;
}

void SortPlayersById(std::vector<PlayerRef>& list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const PlayerRef& a, const PlayerRef& b) { return PlayersSortId(*a, *b) < 0; });
}

std::vector<PlayerRef> RankByScore(const std::vector<PlayerRef>& list) {
  std::vector<PlayerRef> ranking = list;
  std::stable_sort(ranking.begin(), ranking.end(),
                   [](const PlayerRef& a, const PlayerRef& b) { return compareScore(*a, *b) > 0; });
  return ranking;
}

}  // namespace bg
