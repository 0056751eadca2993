#include <gtest/gtest.h>
#include <pthread.h>

#include <random>
#include <vector>

#include "minefield/block.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;

namespace {

// The flood as the plain nested procedure, over a copy of the field.
struct Reference {
  std::vector<int> value, adj;  // adj: 9 per block, -1 for none
  std::vector<uint8_t> revealed, flag, pid;
  int recursekill = 0;

  explicit Reference(const std::vector<TBlock>& blocks) {
    for (const TBlock& b : blocks) {
      value.push_back(b.Value);
      revealed.push_back(b.Revealed);
      flag.push_back(b.flag);
      pid.push_back(b.pid);
      for (const TBlock* a : b.AdjBlocks) adj.push_back(a ? a->id : -1);
    }
  }
  int Reveal(int b, int player, int unflag, int top) {
    if (top == 1)
      recursekill = 0;
    else
      recursekill++;
    if (recursekill > 85000) return -2;
    if (revealed[b]) return value[b];
    revealed[b] = 1;
    if (player >= 0) pid[b] = uint8_t(player);
    if (value[b] == 0) {
      for (int i = 0; i < 9; ++i) {
        const int n = adj[b * 9 + i];
        if (n < 0) continue;
        if (!revealed[n]) Reveal(n, player, unflag, 0);
        if (unflag == 1) flag[n] = 0;
      }
    }
    return value[b];
  }
};

// Deep floods need a deep stack for the nested reference.
void RunOnBigStack(std::function<void()> fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, size_t(1) << 30);
  pthread_t t;
  auto* heap = new std::function<void()>(std::move(fn));
  pthread_create(
      &t, &attr,
      [](void* p) -> void* {
        auto* f = static_cast<std::function<void()>*>(p);
        (*f)();
        delete f;
        return nullptr;
      },
      heap);
  pthread_join(t, nullptr);
  pthread_attr_destroy(&attr);
}

struct Reveal : ::testing::Test {
  test::FieldWorld world;
};

void ExpectSame(const Reference& ref, uint32_t seed) {
  ASSERT_EQ(ref.recursekill, TBlock::recursekill) << "seed " << seed;
  for (const TBlock& b : Blocks) {
    ASSERT_EQ(ref.revealed[size_t(b.id)], b.Revealed) << "seed " << seed << " block " << b.id;
    ASSERT_EQ(ref.flag[size_t(b.id)], b.flag) << "seed " << seed << " block " << b.id;
    ASSERT_EQ(ref.pid[size_t(b.id)], b.pid) << "seed " << seed << " block " << b.id;
  }
}

}  // namespace

TEST_F(Reveal, MatchesTheNestedProcedureOnRandomFields) {
  auto player = TPlayer::Create("p", RGB{1, 2, 3}, 7, nullptr, 0);
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const int w = 1 + int(rng() % 25), h = 1 + int(rng() % 25);
    Wrapping = int(rng() % 2);
    StartBlocks(w, h);
    const int mines = int(rng() % (size_t(w * h) / 4 + 1));
    MakeMines(int(rng() % w), int(rng() % h), std::min(mines, w * h - 10), int32_t(rng()));
    for (TBlock& b : Blocks) {
      if (rng() % 6 == 0) b.ToggleFlag(nullptr);
      if (rng() % 15 == 0) b.Reveal(nullptr, 0, 1);  // some blocks already open
    }
    const int clicks = 1 + int(rng() % 4);
    for (int c = 0; c < clicks; ++c) {
      TBlock& b = Blocks[rng() % Blocks.size()];
      const bool withPlayer = rng() % 2;
      const uint8_t unflag = uint8_t(rng() % 2);
      Reference ref(Blocks);
      ref.Reveal(b.id, withPlayer ? 7 : -1, unflag, 1);
      b.Reveal(withPlayer ? player.get() : nullptr, unflag, 1);
      ExpectSame(ref, seed);
      if (HasFatalFailure()) return;
    }
    int standing = 0;
    for (const TBlock& b : Blocks) standing += b.flag;
    ASSERT_EQ(TBlock::CountFlags(), standing) << "seed " << seed;
    int revealed = 0, coveredSafe = 0;
    for (const TBlock& b : Blocks) {
      revealed += b.Revealed;
      coveredSafe += !b.Revealed && b.Value > -1;
    }
    ASSERT_EQ(TBlock::NumRevealed(), revealed) << "seed " << seed;
    ASSERT_EQ(TBlock::CoveredSafe(), coveredSafe) << "seed " << seed;
  }
}

TEST_F(Reveal, CallLimitCutsBigEmptyFieldsInTheSameOrder) {
  for (auto [w, h, wrap] : {std::tuple{300, 300, 1}, std::tuple{400, 250, 0}}) {
    Wrapping = wrap;
    StartBlocks(w, h);
    MakeMines(0, 0, 0, 1);
    for (TBlock& b : Blocks)
      if (b.id % 7 == 3) b.ToggleFlag(nullptr);
    const int start = w * h / 2 + 17;
    Reference ref(Blocks);
    RunOnBigStack([&] { ref.Reveal(start, -1, 1, 1); });
    Blocks[size_t(start)].Reveal(nullptr, 1, 1);
    ExpectSame(ref, uint32_t(w));
    EXPECT_EQ(TBlock::NumRevealed(), 85001);
    EXPECT_LT(TBlock::NumRevealed(), w * h);
  }
}

TEST_F(Reveal, MarksAndFlagsFollowWhoClicked) {
  auto a = TPlayer::Create("A", RGB{10, 20, 30}, 1, nullptr, 0);
  auto b = TPlayer::Create("B", RGB{40, 50, 60}, 2, nullptr, 0);
  Wrapping = 0;
  StartBlocks(6, 6);
  MakeMines(0, 0, 0, 1);
  BlockA(3, 3)->ToggleFlag(b.get());
  EXPECT_EQ(BlockA(3, 3)->fpid, 2);
  BlockA(0, 0)->Reveal(a.get(), 0, 1);
  const TBlock* f = BlockA(3, 3);
  EXPECT_EQ(f->Revealed, 1);
  EXPECT_EQ(f->pid, 1);
  EXPECT_EQ(f->flag, 1);  // a player's flood leaves B's flag standing
  EXPECT_EQ(f->fpid, 2);
  EXPECT_EQ(TBlock::flags, 1);
  // Colours are shared records: a change shows on every block the player marked.
  (*a->col)[0] = 99;
  EXPECT_EQ((*BlockA(5, 5)->pcol)[0], 99);
  EXPECT_EQ((*f->fcol)[2], 60);
  // A second reveal of an open block changes nothing.
  EXPECT_EQ(BlockA(5, 5)->Reveal(b.get(), 1, 1), 0);
  EXPECT_EQ(BlockA(5, 5)->pid, 1);
  EXPECT_EQ(BlockA(3, 3)->flag, 1);
  // The board still shows the colours after the players are gone (a disconnect).
  Players.clear();
  a.reset();
  b.reset();
  EXPECT_EQ((*BlockA(5, 5)->pcol)[0], 99);
  EXPECT_EQ((*BlockA(3, 3)->fcol)[0], 40);
  // Alone the flood clears flags, and the counter stays high until the next flag change.
  StartBlocks(6, 6);
  MakeMines(0, 0, 0, 1);
  TBlock::flags = 0;
  BlockA(4, 4)->ToggleFlag(nullptr);
  BlockA(2, 2)->ToggleFlag(nullptr);
  BlockA(0, 0)->Reveal(nullptr, 1, 1);
  for (const TBlock& b : Blocks) EXPECT_EQ(b.flag, 0) << b.id;
  EXPECT_EQ(TBlock::flags, 2);
  BlockA(1, 1)->ToggleFlag(nullptr);
  EXPECT_EQ(TBlock::flags, 1);
}
