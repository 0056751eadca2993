#include <gtest/gtest.h>
#include <pthread.h>

#include <random>
#include <vector>

#include "minefield/game.h"
#include "minefield/players.h"
#include "tests/support/field.h"

using namespace bg;

namespace {

// The flood as the plain nested procedure, over a copy of the field.
struct Reference {
  std::vector<int> value, adj;  // adj: 9 per block, -1 for none
  std::vector<uint8_t> revealed, flag, pid;
  int recursekill = 0;

  explicit Reference(const Game& g) {
    for (int id = 0; id < g.Count(); ++id) {
      const TBlock& b = g.Blocks[size_t(id)];
      value.push_back(b.Value);
      revealed.push_back(b.Revealed);
      flag.push_back(b.flag);
      pid.push_back(b.pid);
      const auto around = g.Around(id);
      for (int i = 0; i < 9; ++i) adj.push_back(i < around.n ? around.id[size_t(i)] : -1);
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

void ExpectSame(const Reference& ref, const Game& g, uint32_t seed) {
  ASSERT_EQ(ref.recursekill, g.recursekill) << "seed " << seed;
  for (int id = 0; id < g.Count(); ++id) {
    const TBlock& b = g.Blocks[size_t(id)];
    ASSERT_EQ(ref.revealed[size_t(id)], b.Revealed) << "seed " << seed << " block " << id;
    ASSERT_EQ(ref.flag[size_t(id)], b.flag) << "seed " << seed << " block " << id;
    ASSERT_EQ(ref.pid[size_t(id)], b.pid) << "seed " << seed << " block " << id;
  }
}

}  // namespace

TEST(Reveal, MatchesTheNestedProcedureOnRandomFields) {
  TPlayer player;
  player.id = 7;
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const int w = 1 + int(rng() % 25), h = 1 + int(rng() % 25);
    Game g = test::Field(w, h, int(rng() % 2));
    const int mines = int(rng() % (size_t(w * h) / 4 + 1));
    MakeMines(g, int(rng() % w), int(rng() % h), std::min(mines, w * h - 10), int32_t(rng()));
    for (int id = 0; id < g.Count(); ++id) {
      if (rng() % 6 == 0) ToggleFlag(g, id, nullptr);
      if (rng() % 15 == 0) Reveal(g, id, nullptr, false, true);  // some blocks already open
    }
    const int clicks = 1 + int(rng() % 4);
    for (int c = 0; c < clicks; ++c) {
      const int id = int(rng() % g.Blocks.size());
      const bool withPlayer = rng() % 2;
      const uint8_t unflag = uint8_t(rng() % 2);
      Reference ref(g);
      ref.Reveal(id, withPlayer ? 7 : -1, unflag, 1);
      Reveal(g, id, withPlayer ? &player : nullptr, unflag, true);
      ExpectSame(ref, g, seed);
      if (::testing::Test::HasFatalFailure()) return;
    }
    int revealed = 0, coveredSafe = 0;
    for (const TBlock& b : g.Blocks) {
      revealed += b.Revealed;
      coveredSafe += !b.Revealed && b.Value > -1;
    }
    ASSERT_EQ(g.revealed, revealed) << "seed " << seed;
    ASSERT_EQ(g.coveredSafe, coveredSafe) << "seed " << seed;
  }
}

TEST(Reveal, CallLimitCutsBigEmptyFieldsInTheSameOrder) {
  for (auto [w, h, wrap] : {std::tuple{300, 300, 1}, std::tuple{400, 250, 0}}) {
    Game g = test::Field(w, h, wrap);
    for (int id = 0; id < g.Count(); ++id)
      if (id % 7 == 3) ToggleFlag(g, id, nullptr);
    const int start = w * h / 2 + 17;
    Reference ref(g);
    RunOnBigStack([&] { ref.Reveal(start, -1, 1, 1); });
    Reveal(g, start, nullptr, true, true);
    ExpectSame(ref, g, uint32_t(w));
    EXPECT_EQ(g.revealed, 85001);
    EXPECT_LT(g.revealed, w * h);
  }
}

TEST(Reveal, MarksAndFlagsFollowWhoClicked) {
  Game g = test::Field(6, 6, 0);
  AddPlayer(g, "A", RGB{10, 20, 30}, 1);
  AddPlayer(g, "B", RGB{40, 50, 60}, 2);
  const TPlayer* b = g.FindByID(2);
  const int f = 3 * 6 + 3, far = 5 * 6 + 5;
  ToggleFlag(g, f, b);
  EXPECT_EQ(g.Blocks[f].fpid, 2);
  Reveal(g, 0, g.FindByID(1), false, true);
  EXPECT_EQ(g.Blocks[f].Revealed, 1);
  EXPECT_EQ(g.Blocks[f].pid, 1);
  EXPECT_EQ(g.Blocks[f].flag, 1);  // a player's flood leaves B's flag standing
  EXPECT_EQ(g.Blocks[f].fpid, 2);
  EXPECT_EQ(g.flags, 1);
  // Colours belong to the player's id: a change shows on every block the player marked.
  SetColour(g, 1, RGB{99, 20, 30});
  EXPECT_EQ((*ColourOf(g, g.Blocks[far].pid))[0], 99);
  EXPECT_EQ((*ColourOf(g, g.Blocks[f].fpid))[2], 60);
  EXPECT_EQ(ColourOf(g, kNoPlayer), nullptr);
  // A second reveal of an open block changes nothing.
  EXPECT_EQ(Reveal(g, far, b, true, true), 0);
  EXPECT_EQ(g.Blocks[far].pid, 1);
  EXPECT_EQ(g.Blocks[f].flag, 1);
  // The board still shows the colours after the players are gone (a disconnect).
  g.Players.clear();
  EXPECT_EQ((*ColourOf(g, g.Blocks[far].pid))[0], 99);
  EXPECT_EQ((*ColourOf(g, g.Blocks[f].fpid))[0], 40);
  // Alone the flood clears flags, and the mines-left counter follows at once.
  g = test::Field(6, 6, 0);
  ToggleFlag(g, 4 * 6 + 4, nullptr);
  ToggleFlag(g, 2 * 6 + 2, nullptr);
  Reveal(g, 0, nullptr, true, true);
  for (const TBlock& x : g.Blocks) EXPECT_EQ(x.flag, 0);
  EXPECT_EQ(g.flags, 0);
  ToggleFlag(g, 1 * 6 + 1, nullptr);
  EXPECT_EQ(g.flags, 1);
}
