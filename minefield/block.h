#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The minefield: blocks, their wrap-around neighbourhood, mine placement and
// the reveal and flag rules. Mine placement follows the shared generator call
// for call, because every player of a network game builds the field from a seed.
namespace bg {

// A player's colour record, shared: blocks refer to it, so a colour change recolours them.
using RGB = std::array<uint8_t, 3>;
using ColourRef = std::shared_ptr<RGB>;

struct TPlayer;

// Fields larger than this are refused: ids travel as 32-bit floats (exact below
// 2^24) and a host must not make every player allocate gigabytes.
constexpr int64_t kMaxBlocks = int64_t(1) << 21;
// Calls of one reveal that do any work: 85001.
constexpr int32_t kRevealLimit = 85000;

struct TBlock {
  // What the flood reads comes first, so a block's check touches one cache line.
  int32_t Value = 0;
  uint8_t Revealed = 0;
  uint8_t flag = 0;
  uint8_t pid = 255;
  uint8_t fpid = 255;
  TBlock* AdjBlocks[9] = {};
  int32_t x = 0;
  int32_t y = 0;
  float dx = 0.0f;
  float dy = 0.0f;
  int32_t id = 0;
  // The revealing and the flagging player's colour records (null: no player).
  // The field keeps every record it refers to alive until it is discarded.
  const RGB* pcol = nullptr;
  const RGB* fcol = nullptr;

  static constexpr int32_t Size = 24;
  static int32_t flags;
  static int32_t recursekill;

  static int32_t NumRevealed();
  static TBlock* Create(float x, float y);
  void SetDrawPos() {
    dx = float(x * Size);
    dy = float(y * Size);
  }
  int32_t ToggleFlag(const TPlayer* player);
  // Uncovers the block and floods an empty area. unflag: flags in the flood are removed;
  // top: a new reveal (the call limit starts again) rather than one step of a flood.
  int32_t Reveal(const TPlayer* player, bool unflag, bool top);
  static TBlock* FromID(int32_t id);
  TBlock* BlockAt(int32_t dx, int32_t dy) const;
  uint8_t AdjacentToBlock(const TBlock* other) const;
  void FindAdjacents();
  static void MoveBlocks(int32_t dx, int32_t dy);
  static int32_t CountFlags();
  void Kill();

  // Blocks still covered that hold no mine: the win test without a walk.
  static int32_t CoveredSafe();
};

// The grid view, indexed [x, y]; cells outside it read as null.
class BlockGrid {
 public:
  BlockGrid() : w_(1), h_(1), cells_(1, nullptr) {}
  void Reset(int32_t w, int32_t h) {
    w_ = w;
    h_ = h;
    cells_.assign(size_t(w) * size_t(h), nullptr);
  }
  TBlock* operator()(int32_t x, int32_t y) const {
    return (x >= 0 && y >= 0 && x < w_ && y < h_) ? cells_[size_t(x) * size_t(h_) + size_t(y)] : nullptr;
  }
  void Set(int32_t x, int32_t y, TBlock* b) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) cells_[size_t(x) * size_t(h_) + size_t(y)] = b;
  }
  size_t Cells() const { return cells_.size(); }

 private:
  int32_t w_, h_;
  std::vector<TBlock*> cells_;
};

// The current field: every block in creation order (so a block's index is its id).
extern std::vector<TBlock> Blocks;
extern BlockGrid BlockA;
extern int32_t BlockAW, BlockAH;
extern int32_t Wrapping;

struct WrappedPos {
  int32_t x, y;
};
WrappedPos WrapPos(int32_t x, int32_t y);

// A fresh covered field of w x h blocks without mines.
void StartBlocks(int32_t w, int32_t h);
int32_t MakeMines(int32_t x, int32_t y, int32_t count, int32_t seed);

}  // namespace bg
