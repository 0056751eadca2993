#include "minefield/game.h"

#include <algorithm>
#include <cassert>

#include "platform/random.h"

namespace bg {

TPlayer* Game::FindByID(uint8_t id) {
  for (TPlayer& p : Players)
    if (p.id == id) return &p;
  return nullptr;
}

bool GameSetupValid(int32_t width, int32_t height, int32_t mines) {
  if (width < 1 || height < 1) return false;
  const int64_t n = int64_t(width) * int64_t(height);
  if (n > kMaxBlocks) return false;
  return int64_t(mines) < n - 12;
}

StartOutcome StartGame(Game& g, int32_t width, int32_t height, int32_t mines, int32_t wrap, float gametime,
                       int32_t bomblose, int32_t seed) {
  StartOutcome out;
  if (!GameSetupValid(width, height, mines)) return out;
  out.started = true;
  out.sizeChanged = width != g.BlockAW || height != g.BlockAH;

  g.Wrapping = wrap;
  g.BlockAW = width;
  g.BlockAH = height;
  // A small field after a huge one should not keep the huge one's memory.
  g.Blocks = std::vector<TBlock>(size_t(width) * size_t(height));
  g.revealed = 0;
  g.coveredSafe = width * height;
  g.Mines = mines;
  g.BombLose = uint8_t(bomblose);
  g.rseed = seed;
  g.wtime = 0;
  g.GameStatus = GAME_PLAYING;
  g.GameTime = gametime;
  g.flags = 0;

  std::erase_if(g.Players, [](const TPlayer& p) { return p.Left; });
  for (TPlayer& p : g.Players) {
    p.score = 0;
    p.out = false;
  }
  return out;
}

void MakeMines(Game& g, int32_t x, int32_t y, int32_t count, int32_t seed) {
  // StartGame refuses any field whose mines would not fit outside the safe zone.
  assert(int64_t(count) < int64_t(g.Count()) - 9);
  Rng rng(seed);
  const int32_t safe = x * g.BlockAH + y;
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t cx = rng.Rand(0, g.BlockAW - 1);
    const int32_t cy = rng.Rand(0, g.BlockAH - 1);
    const int32_t c = cx * g.BlockAH + cy;
    if (!g.Touches(c, safe) && g.Blocks[size_t(c)].Value == 0) {
      g.Blocks[size_t(c)].Value = -1;
      --remaining;
    }
  }
  // Each mine counts itself into its neighbours: work in proportion to the mines, not the field.
  // The neighbourhood is symmetric, so a block a narrow field lists twice still counts twice.
  g.coveredSafe = 0;
  for (TBlock& b : g.Blocks)
    if (b.Value != -1) {
      b.Value = 0;
      if (!b.Revealed) ++g.coveredSafe;
    }
  for (int32_t id = 0; id < g.Count(); ++id) {
    if (g.Blocks[size_t(id)].Value != -1) continue;
    for (const int32_t a : g.Around(id))
      if (TBlock& n = g.Blocks[size_t(a)]; n.Value != -1) ++n.Value;
  }
}

namespace {
struct RevealFrame {
  int32_t id, x, y;
  uint8_t next;      // neighbour index to look at
  uint8_t called;    // the neighbour `next` has been visited; its flag step is due
  uint8_t n;         // how many neighbours it has
  uint8_t interior;  // away from every edge: its neighbours are fixed offsets
};

// The rules' neighbour order as offsets, for blocks away from the edges.
constexpr int8_t kDx[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int8_t kDy[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

inline RevealFrame Frame(const FieldShape& s, int32_t id, int32_t x, int32_t y) {
  const bool interior = x >= 1 && x <= s.BlockAW - 2 && y >= 1 && y <= s.BlockAH - 2;
  return {id, x, y, 0, 0, uint8_t(interior ? 8 : s.Around(id).n), uint8_t(interior)};
}

// The counters a flood changes, kept in locals: stores to the blocks' bytes
// could otherwise alias them and force a reload at every step.
struct FloodCounts {
  int32_t revealed, coveredSafe, flags, recursekill;
};
}  // namespace

int32_t Reveal(Game& g, int32_t id, const TPlayer* player, bool unflag, bool top) {
  // The flood is depth first in neighbour order. It runs on an explicit stack
  // (a big empty field would nest 85000 calls deep) but visits, marks, unflags
  // and counts calls exactly as the nested procedure would.
  if (top)
    g.recursekill = 0;
  else
    ++g.recursekill;
  TBlock* const blocks = g.Blocks.data();
  TBlock& self = blocks[id];
  if (g.recursekill > kRevealLimit) return -2;
  if (self.Revealed == 1) return self.Value;

  const FieldShape shape = g;
  const bool marks = player != nullptr;
  const uint8_t pid = marks ? player->id : kNoPlayer;
  FloodCounts c{g.revealed, g.coveredSafe, g.flags, g.recursekill};
  auto mark = [&c, marks, pid](TBlock& b) {
    b.Revealed = 1;
    ++c.revealed;
    if (b.Value > -1) --c.coveredSafe;
    if (marks) b.pid = pid;
  };
  auto unflagged = [&c, unflag](TBlock& b) {
    if (unflag && b.flag) {
      b.flag = 0;
      --c.flags;
    }
  };
  // Neighbour k in the rules' order, with where it lies.
  const int32_t h = shape.BlockAH;
  const int32_t offset[8] = {-h - 1, -h, -h + 1, -1, 1, h - 1, h, h + 1};
  auto neighbour = [&shape, &offset](const RevealFrame& f, uint8_t k, int32_t& x, int32_t& y) {
    if (f.interior) {
      x = f.x + kDx[k];
      y = f.y + kDy[k];
      return f.id + offset[k];
    }
    const int32_t n = shape.Around(f.id).id[k];
    x = shape.X(n);
    y = shape.Y(n);
    return n;
  };

  mark(self);
  if (self.Value == 0) {
    // Each frame is a block that opened its area within the call limit, so the
    // depth is bounded: room for all of it once, and no growth check inside the loop.
    static thread_local std::vector<RevealFrame> frames;
    const size_t most = size_t(std::min(shape.Count(), kRevealLimit + 1)) + 1;
    if (frames.size() < most) frames.resize(most);
    RevealFrame* const stack = frames.data();
    size_t depth = 0;
    stack[depth++] = Frame(shape, id, shape.X(id), shape.Y(id));
    while (depth > 0) {
      RevealFrame& f = stack[depth - 1];
      int32_t nx, ny;
      if (f.called) {
        // Back from the flood of neighbour `next`: its flag step is due.
        f.called = 0;
        unflagged(blocks[neighbour(f, f.next++, nx, ny)]);
      }
      bool descended = false;
      while (f.next < f.n) {
        const int32_t nid = neighbour(f, f.next, nx, ny);
        TBlock& n = blocks[nid];
        if (n.Revealed == 0) {
          // The neighbour's own call: counted even when refused by the limit.
          ++c.recursekill;
          if (c.recursekill <= kRevealLimit) {
            mark(n);
            if (n.Value == 0) {
              f.called = 1;
              stack[depth++] = Frame(shape, nid, nx, ny);
              descended = true;
              break;
            }
          }
        }
        unflagged(n);
        ++f.next;
      }
      if (!descended) --depth;
    }
  }
  g.revealed = c.revealed;
  g.coveredSafe = c.coveredSafe;
  g.flags = c.flags;
  g.recursekill = c.recursekill;
  return self.Value;
}

void ToggleFlag(Game& g, int32_t id, const TPlayer* player) {
  TBlock& b = g.Blocks[size_t(id)];
  b.flag = uint8_t(1 - b.flag);
  g.flags += b.flag ? 1 : -1;
  b.fpid = b.flag == 1 && player ? player->id : kNoPlayer;
}

namespace {
void RevealAll(Game& g) {
  for (int32_t id = 0; id < g.Count(); ++id) Reveal(g, id, nullptr, false, true);
}

// The end of a game: the time taken, and for a network game every player's score.
void End(Game& g, ClickOutcome& out, bool won, const TPlayer* player) {
  g.GameStatus = GAME_OVER;
  out.ended = true;
  out.won = won;
  out.ranked = player != nullptr;
  if (won || player) g.wtime = int32_t(g.GameTime);
  if (player)
    for (TPlayer& p : g.Players) p.score = FindScore(g, p.id);
}
}  // namespace

ClickOutcome ClickBlock(Game& g, int32_t id, uint8_t button, TPlayer* player) {
  ClickOutcome out;
  TBlock* block = g.FromID(id);
  if (!block) return out;
  if (player && player->out) return out;
  if (button == CLICK_UNCOVER) {
    const bool foreign = player && block->fpid != player->id;
    if (g.revealed == 0 && (block->flag == 0 || foreign)) MakeMines(g, g.X(id), g.Y(id), g.Mines, g.rseed);
    if (block->flag == 1 && !foreign) return out;
    out.applied = true;
    const bool unflag = !player;
    out.mineHit = block->Revealed == 0 && block->Value == -1;
    if (out.mineHit && g.BombLose == 1) {
      Reveal(g, id, player, unflag, true);
      if (player) {
        player->out = true;
        out.knockedOut = true;
      }
      const bool anyIn = std::any_of(g.Players.begin(), g.Players.end(), [](const TPlayer& p) { return !p.out; });
      if (!anyIn) {
        RevealAll(g);
        End(g, out, false, player);
      }
    } else if (block->Revealed == 0) {
      Reveal(g, id, player, unflag, true);
      if (g.coveredSafe == 0) {
        RevealAll(g);
        End(g, out, true, player);
      }
    }
  } else if (button == CLICK_FLAG) {
    if (!player || block->flag == 0 || block->fpid == player->id) {
      ToggleFlag(g, id, player);
      out.applied = true;
    }
  }
  return out;
}

ClickOutcome Apply(Game& g, const Move& m) {
  if (m.player == kNoPlayer) return ClickBlock(g, m.block, m.button, nullptr);
  TPlayer* p = g.FindByID(m.player);
  return p ? ClickBlock(g, m.block, m.button, p) : ClickOutcome{};
}

TPlayer& AddPlayer(Game& g, const std::string& name, const RGB& col, uint8_t id) {
  g.colours[id] = col;
  // An id names one player: a host that announces it again replaces the record,
  // so however many announcements arrive the list holds at most 256.
  if (TPlayer* p = g.FindByID(id)) {
    *p = TPlayer{name, id};
    return *p;
  }
  auto at = std::upper_bound(g.Players.begin(), g.Players.end(), id,
                             [](uint8_t i, const TPlayer& p) { return i < p.id; });
  TPlayer p;
  p.name = name;
  p.id = id;
  return *g.Players.insert(at, p);
}

void SetColour(Game& g, uint8_t id, const RGB& col) {
  if (g.FindByID(id)) g.colours[id] = col;
}

const RGB* ColourOf(const Game& g, uint8_t id) { return id == kNoPlayer ? nullptr : &g.colours[id]; }

int32_t FindScore(const Game& g, uint8_t id) {
  int32_t score = 0;
  for (const TBlock& b : g.Blocks) {
    if (b.flag == 1 && b.fpid == id) score += b.Value == -1 ? 1 : -1;
    if (b.Value == -1 && b.Revealed == 1 && b.pid == id) score -= 5;
  }
  return score;
}

void Update(Game& g, float dt) {
  if (g.GameStatus != GAME_OVER) g.GameTime += dt;
}

}  // namespace bg
