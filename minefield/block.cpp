#include "minefield/block.h"

#include <cassert>
#include <cmath>

#include "minefield/players.h"
#include "platform/clock.h"
#include "platform/random.h"

namespace bg {

std::vector<TBlock> Blocks;
BlockGrid BlockA;
int32_t BlockAW = 0, BlockAH = 0;
int32_t Wrapping = 1;

int32_t TBlock::flags = 0;
int32_t TBlock::recursekill = 0;

namespace {
// Kept up to date by every change of Revealed, flag and Value, so the per-click
// queries cost nothing however large the field.
int32_t gRevealed = 0;
int32_t gStandingFlags = 0;
int32_t gCoveredSafe = 0;

struct RevealFrame {
  TBlock* block;
  uint8_t next;    // neighbour index to look at
  uint8_t called;  // the neighbour `next` has been visited; its flag step is due
};
std::vector<RevealFrame> gRevealStack;

// Colour records that blocks of the current field point to. A player may leave
// the lists (a disconnect empties them) while the board still shows their colour.
std::vector<ColourRef> gFieldColours;
const RGB* KeepColour(const ColourRef& c) {
  if (!gFieldColours.empty() && gFieldColours.back() == c) return c.get();
  for (const ColourRef& k : gFieldColours)
    if (k == c) return c.get();
  gFieldColours.push_back(c);
  return c.get();
}
}  // namespace

int32_t TBlock::NumRevealed() { return gRevealed; }
int32_t TBlock::CoveredSafe() { return gCoveredSafe; }

TBlock* TBlock::Create(float x, float y) {
  // Pointers into Blocks are links between blocks: the list must never move.
  assert(Blocks.size() < Blocks.capacity());
  TBlock& b = Blocks.emplace_back();
  b.x = int32_t(x);
  b.y = int32_t(y);
  b.SetDrawPos();
  return &b;
}

TBlock* TBlock::FromID(int32_t id) {
  // Ids are handed out in creation order and never change, so the id is the index.
  if (id < 0 || size_t(id) >= Blocks.size()) return nullptr;
  return &Blocks[size_t(id)];
}

WrappedPos WrapPos(int32_t x, int32_t y) {
  if (x <= -1) x = BlockAW + x;
  if (y <= -1) y = BlockAH + y;
  if (x >= BlockAW) x = 0;
  if (y >= BlockAH) y = 0;
  return {x, y};
}

TBlock* TBlock::BlockAt(int32_t ddx, int32_t ddy) const {
  if (Wrapping == 1) {
    const WrappedPos p = WrapPos(x + ddx, y + ddy);
    return BlockA(p.x, p.y);
  }
  const int32_t nx = x + ddx, ny = y + ddy;
  if (nx >= 0 && nx < BlockAW && ny >= 0 && ny < BlockAH) return BlockA(nx, ny);
  return nullptr;
}

uint8_t TBlock::AdjacentToBlock(const TBlock* other) const {
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j)
      if (BlockAt(i, j) == other) return 1;
  return 0;
}

void TBlock::FindAdjacents() {
  int n = 0;
  for (int i = -1; i <= 1; ++i) {
    for (int j = -1; j <= 1; ++j) {
      TBlock* a = BlockAt(i, j);
      if (a != this) AdjBlocks[n++] = a;
    }
  }
}

void TBlock::Kill() {
  for (auto& a : AdjBlocks) a = nullptr;
}

int32_t TBlock::CountFlags() {
  flags = gStandingFlags;
  return flags;
}

void StartBlocks(int32_t w, int32_t h) {
  for (TBlock& b : Blocks) b.Kill();
  Blocks.clear();
  gFieldColours.clear();
  const int64_t n64 = int64_t(w) * int64_t(h);
  assert(w >= 0 && h >= 0 && n64 <= kMaxBlocks);
  // A small field after a huge one should not keep the huge one's memory.
  Blocks.shrink_to_fit();
  Blocks.reserve(size_t(n64));
  BlockA.Reset(w, h);
  BlockAW = w;
  BlockAH = h;
  gRevealed = 0;
  gStandingFlags = 0;
  gCoveredSafe = int32_t(n64);

  int32_t counter = 0;
  for (int32_t x = 0; x < w; ++x) {
    for (int32_t y = 0; y < h; ++y) {
      TBlock* b = TBlock::Create(float(x), float(y));
      BlockA.Set(x, y, b);
      b->id = counter++;
    }
  }
  for (TBlock& b : Blocks) b.FindAdjacents();
}

int32_t MakeMines(int32_t x, int32_t y, int32_t count, int32_t seed) {
  if (seed == -1) seed = MilliSecs();
  SeedRnd(seed);
  const TBlock* safe = BlockA(x, y);
  if (int64_t(count) > int64_t(BlockAW) * int64_t(BlockAH) - 10) return 0;
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t cx = Rand(0, BlockAW - 1);
    const int32_t cy = Rand(0, BlockAH - 1);
    TBlock* c = BlockA(cx, cy);
    if (c && c->AdjacentToBlock(safe) == 0 && c->Value == 0) {
      c->Value = -1;
      --remaining;
    }
  }
  gCoveredSafe = 0;
  for (TBlock& b : Blocks) {
    if (b.Value != -1) {
      int32_t v = 0;
      for (const TBlock* a : b.AdjBlocks)
        if (a && a->Value == -1) ++v;
      b.Value = v;
      if (!b.Revealed) ++gCoveredSafe;
    }
  }
  return 0;
}

int32_t TBlock::Reveal(const TPlayer* player, bool unflag, bool top) {
  // The flood is depth first in neighbour order. It runs on an explicit stack
  // (a big empty field would nest 85000 calls deep) but visits, marks, unflags
  // and counts calls exactly as the nested procedure would.
  const RGB* colour = player ? KeepColour(player->col) : nullptr;
  auto mark = [player, colour](TBlock* b) {
    b->Revealed = 1;
    ++gRevealed;
    if (b->Value > -1) --gCoveredSafe;
    if (player) {
      b->pcol = colour;
      b->pid = player->id;
    }
  };

  if (top)
    recursekill = 0;
  else
    ++recursekill;
  if (recursekill > kRevealLimit) return -2;
  if (Revealed == 1) return Value;
  mark(this);
  if (Value != 0) return Value;

  auto& stack = gRevealStack;
  stack.clear();
  stack.push_back({this, 0, 0});
  while (!stack.empty()) {
    RevealFrame& f = stack.back();
    if (f.called) {
      // Back from the flood of neighbour `next`: its flag step is due.
      f.called = 0;
      TBlock* n = f.block->AdjBlocks[f.next++];
      if (unflag && n->flag) {
        n->flag = 0;
        --gStandingFlags;
      }
    }
    bool descended = false;
    while (f.next < 9) {
      TBlock* n = f.block->AdjBlocks[f.next];
      if (!n) {
        ++f.next;
        continue;
      }
      if (n->Revealed == 0) {
        // The neighbour's own call: counted even when refused by the limit.
        ++recursekill;
        if (recursekill <= kRevealLimit) {
          mark(n);
          if (n->Value == 0) {
            f.called = 1;
            stack.push_back({n, 0, 0});  // invalidates f
            descended = true;
            break;
          }
        }
      }
      if (unflag && n->flag) {
        n->flag = 0;
        --gStandingFlags;
      }
      ++f.next;
    }
    if (!descended) stack.pop_back();
  }
  return Value;
}

int32_t TBlock::ToggleFlag(const TPlayer* player) {
  flag = uint8_t(1 - flag);
  gStandingFlags += flag ? 1 : -1;
  if (flag == 1 && player) {
    fcol = KeepColour(player->col);
    fpid = player->id;
  } else {
    fpid = 255;
  }
  CountFlags();
  return 0;
}

void TBlock::MoveBlocks(int32_t ddx, int32_t ddy) {
  for (TBlock& b : Blocks) {
    const WrappedPos p = WrapPos(b.x + ddx, b.y + ddy);
    b.x = p.x;
    b.y = p.y;
    BlockA.Set(b.x, b.y, &b);
    b.SetDrawPos();
  }
}

}  // namespace bg
