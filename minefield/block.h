#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// One block of the minefield and the field's shape. A block is its state only:
// where it is drawn, how far the field was panned and how it flashes belong to
// the view, so two programs that panned differently still agree on every id.
namespace bg {

using RGB = std::array<uint8_t, 3>;

// Fields larger than this are refused: ids travel as 32-bit floats (exact below
// 2^24) and a host must not make every player allocate gigabytes.
constexpr int64_t kMaxBlocks = int64_t(1) << 21;
// Calls of one reveal that do any work: 85001.
constexpr int32_t kRevealLimit = 85000;
// Player id 255: nobody (alone, or the host's opening click).
constexpr uint8_t kNoPlayer = 255;

struct TBlock {
  int8_t Value = 0;  // -1: a mine; otherwise the mines around it
  uint8_t Revealed = 0;
  uint8_t flag = 0;
  uint8_t pid = kNoPlayer;   // who uncovered it
  uint8_t fpid = kNoPlayer;  // who flagged it
  static constexpr int32_t Size = 24;
};

// Blocks are numbered column by column (id = x * height + y), the order every
// copy of the game creates them in; ids travel on the wire.
struct FieldShape {
  int32_t BlockAW = 0, BlockAH = 0;
  int32_t Wrapping = 1;

  int32_t Count() const { return BlockAW * BlockAH; }
  int32_t X(int32_t id) const { return id / BlockAH; }
  int32_t Y(int32_t id) const { return id % BlockAH; }
  // The block at (x, y) moved by (dx, dy) of at most one, across the edges
  // when the field wraps; -1 outside a field that does not wrap.
  int32_t At(int32_t x, int32_t y, int32_t dx, int32_t dy) const {
    int32_t nx = x + dx, ny = y + dy;
    if (Wrapping == 1) {
      if (nx <= -1) nx += BlockAW;
      if (ny <= -1) ny += BlockAH;
      if (nx >= BlockAW) nx = 0;
      if (ny >= BlockAH) ny = 0;
    } else if (nx < 0 || ny < 0 || nx >= BlockAW || ny >= BlockAH) {
      return -1;
    }
    return nx * BlockAH + ny;
  }
  // The neighbours of a block in the order the rules visit them (dx, then dy,
  // from -1 to 1). A narrow wrapping field lists a block twice; never itself.
  struct Neighbours {
    std::array<int32_t, 8> id;
    int32_t n = 0;
    const int32_t* begin() const { return id.data(); }
    const int32_t* end() const { return id.data() + n; }
  };
  Neighbours Around(int32_t id) const {
    Neighbours out;
    const int32_t x = X(id), y = Y(id);
    for (int32_t i = -1; i <= 1; ++i)
      for (int32_t j = -1; j <= 1; ++j) {
        const int32_t a = At(x, y, i, j);
        if (a >= 0 && a != id) out.id[std::size_t(out.n++)] = a;
      }
    return out;
  }
  // Whether `a` is `b` or one of its neighbours.
  bool Touches(int32_t a, int32_t b) const {
    const int32_t x = X(b), y = Y(b);
    for (int32_t i = -1; i <= 1; ++i)
      for (int32_t j = -1; j <= 1; ++j)
        if (At(x, y, i, j) == a) return true;
    return false;
  }
};

}  // namespace bg
