#include "minefield/record.h"

namespace bg {

void PlayerLeaves(Game& g, uint8_t id) {
  if (TPlayer* p = g.FindByID(id); p && !p->Left) {
    p->name += " [left]";
    p->Left = true;
  }
}

ClickOutcome ApplyEvent(Game& g, const GameRecord& r, const RecordEvent& e) {
  switch (e.kind) {
    case RecordEvent::MOVE: return Apply(g, r.MoveOf(e));
    case RecordEvent::JOIN: AddPlayer(g, e.name < r.names.size() ? r.names[e.name] : std::string(), e.colour, e.player); break;
    case RecordEvent::LEAVE: PlayerLeaves(g, e.player); break;
    case RecordEvent::COLOUR: SetColour(g, e.player, e.colour); break;
  }
  return {};
}

Game Replay(const GameRecord& r, size_t count) {
  Game g;
  const GameSetup& s = r.setup;
  StartGame(g, s.width, s.height, s.mines, s.wrap, 0.0f, s.lethal, s.seed);
  for (size_t i = 0; i < r.events.size() && i < count; ++i) {
    g.GameTime = r.events[i].time;
    ApplyEvent(g, r, r.events[i]);
  }
  return g;
}

}  // namespace bg
