#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "minefield/block.h"

// Players of a network game and the click log. Scores are never sent: each
// program derives them from its own copy of the board.
namespace bg {

struct TNetClient;

struct TPlayer {
  std::string name;
  ColourRef col = std::make_shared<RGB>(RGB{0, 0, 0});
  uint8_t id = 0;
  TNetClient* client = nullptr;
  bool Left = false;  // has left the game
  int32_t score = 0;
  bool out = false;  // knocked out by a lethal mine

  // list 0: Players (this program's view); 1: SPlayers (the host's records).
  static std::shared_ptr<TPlayer> Create(const std::string& name, const RGB& col, uint8_t id, TNetClient* client,
                                         uint8_t list);
  void remove();
  void FindScore();
  // The lowest id from 0 to 254 held by no record of Players or SPlayers;
  // nothing when all are taken, so no id is ever handed out twice.
  static std::optional<uint8_t> NID();
  static TPlayer* SFindByClient(const TNetClient* client);
  static TPlayer* SFindByID(uint8_t id);
  static TPlayer* SFindByName(const std::string& name);
  static TPlayer* FindByID(uint8_t id);
};
using PlayerRef = std::shared_ptr<TPlayer>;

struct TAction {
  static constexpr uint8_t ACT_CLICK = 50;
  uint8_t atype = ACT_CLICK;
  uint8_t amod = 0;
  float adata = 0.0f;
  uint8_t aplayer = 255;
  static TAction& Add(uint8_t atype, uint8_t amod, float adata, uint8_t aplayer);
};

extern std::vector<PlayerRef> Players;
extern std::vector<PlayerRef> SPlayers;
extern std::vector<PlayerRef> LeavingPlayers;
extern std::vector<PlayerRef> SLeavingPlayers;
extern PlayerRef MPlayer;
extern std::vector<TAction> Actions;
// The local player's colour.
extern RGB color;

int32_t PlayersSortId(const TPlayer& a, const TPlayer& b);
int32_t compareScore(const TPlayer& a, const TPlayer& b);
// Stable sorts, so equal keys keep their order.
void SortPlayersById(std::vector<PlayerRef>& list);
std::vector<PlayerRef> RankByScore(const std::vector<PlayerRef>& list);

}  // namespace bg
