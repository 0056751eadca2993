// Kept games without a database: 3BV, the replay codec and the replay player.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "minefield/kept.h"
#include "minefield/replayer.h"
#include "minefield/text.h"
#include "platform/random.h"
#include "tests/support/field.h"

using namespace bg;

namespace {

// A placed field from rows of text, '*' a mine; row y holds the blocks (x, y).
Game Board(const std::vector<std::string>& rows, int32_t wrap) {
  Game g = test::Field(int32_t(rows[0].size()), int32_t(rows.size()), wrap);
  for (int32_t id = 0; id < g.Count(); ++id)
    if (rows[size_t(g.Y(id))][size_t(g.X(id))] == '*') g.Blocks[size_t(id)].Value = -1;
  for (int32_t id = 0; id < g.Count(); ++id)
    if (g.Blocks[size_t(id)].Value != -1)
      for (int32_t n : g.Around(id)) g.Blocks[size_t(id)].Value += g.Blocks[size_t(n)].Value == -1;
  g.revealed = 1;
  return g;
}

KeptGame Sample() {
  KeptGame k;
  k.date = 1765000000;
  k.player = "Zoë";
  k.networked = true;
  k.players = {{0, "Zoë", {1, 2, 3}, 4}, {7, "Bo", {250, 0, 9}, -5}};
  k.outcome = Outcome::ENDED;
  std::tie(k.millis, k.clicks, k.bbbv) = std::tuple(61234, 3, 17);
  k.record.Clear({30, 16, 99, 1, 1, -123456});
  k.record.AddJoin("Zoë", {1, 2, 3}, 0, 0.0f);
  k.record.AddMove({479, CLICK_UNCOVER, kNoPlayer}, 0.0f);
  k.record.AddJoin("Bo", {250, 0, 9}, 7, 1.25f);
  k.record.AddMove({3, CLICK_FLAG, 7}, 2.5f);
  k.record.AddColour(7, {9, 9, 9}, 3.0f);
  k.record.AddLeave(7, 60.01f);
  return k;
}

// The length and checksum made right again after a change to the bytes.
std::vector<uint8_t> Seal(std::vector<uint8_t> b) {
  b.resize(b.size() - 4);
  const size_t body = b.size() - 14;
  for (int i = 0; i < 4; ++i) b[10 + size_t(i)] = uint8_t(body >> (8 * i));
  const uint32_t crc = uint32_t(crc32(0L, b.data(), uInt(b.size())));
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(crc >> (8 * i)));
  return b;
}

}  // namespace

TEST(Bbbv, OpeningsAndLoneNumbersOfHandCountedBoards) {
  const struct {
    std::vector<std::string> rows;
    int32_t wrap, bbbv;
  } cases[] = {
      {{"*..", "...", "..."}, 0, 1},                      // one opening takes every number
      {{".*..."}, 0, 2},                                  // a lone number and an opening
      {{".*.....", ".*.....", ".*....."}, 0, 4},          // the left column's numbers touch no opening...
      {{".*.....", ".*.....", ".*....."}, 1, 1},          // ...until the field wraps
      {{"...*...", "...*...", "...*..."}, 0, 2},          // two openings...
      {{"...*...", "...*...", "...*..."}, 1, 1},          // ...joined across the edge
      {{"...", ".*.", "..."}, 0, 8}, {{"...", ".*.", "..."}, 1, 8},  // numbers only
      {{"*.*.", "....", "*.*.", "...."}, 1, 12},          // every block but the mines numbered
  };
  for (const auto& c : cases) EXPECT_EQ(Bbbv(Board(c.rows, c.wrap)), c.bbbv) << c.rows[0] << " wrap " << c.wrap;
}

TEST(ReplayCodec, RoundTripAndCompactMoves) {
  const KeptGame k = Sample();
  const ReplayRead r = DecodeReplay(EncodeReplay(k));
  ASSERT_TRUE(r.game) << r.error;
  const KeptGame& d = *r.game;
  EXPECT_EQ(EncodeReplay(d), EncodeReplay(k));
  ASSERT_EQ(d.players.size(), 2u);
  EXPECT_EQ(std::tie(d.date, d.player, d.outcome, d.millis, d.clicks, d.bbbv, d.players[1].name, d.record.names),
            std::tie(k.date, k.player, k.outcome, k.millis, k.clicks, k.bbbv, k.players[1].name, k.record.names));
  ASSERT_EQ(d.record.events.size(), k.record.events.size());
  for (size_t i = 0; i < k.record.events.size(); ++i) {
    const RecordEvent &a = d.record.events[i], &b = k.record.events[i];
    EXPECT_EQ(std::tie(a.time, a.kind, a.player, a.button, a.colour, a.block, a.name),
              std::tie(b.time, b.kind, b.player, b.button, b.colour, b.block, b.name)) << i;
  }
  // A game alone clicked block by block, a second or so apart: well under four bytes a move.
  GameRecord alone;
  alone.Clear({30, 16, 99, 0, 1, 5});
  Rng rng(7);
  for (int i = 0; i < 1000; ++i) alone.AddMove({rng.Rand(0, 479), uint8_t(1 + i % 2), kNoPlayer}, i * 1.1f);
  EXPECT_LE(EncodeEvents(alone).size(), 4u * 1000);
  GameRecord back;
  EXPECT_TRUE(DecodeEvents(EncodeEvents(alone), back));
  EXPECT_FALSE(DecodeEvents(std::vector<uint8_t>{5, 0}, back));
}

TEST(ReplayCodec, HostileFilesAreRefusedWithTheirMessage) {
  const std::vector<uint8_t> good = EncodeReplay(Sample());
  KeptGame empty = Sample();
  empty.record.events.clear();
  empty.players.clear();
  const std::vector<uint8_t> none = EncodeReplay(empty);  // ends with its event count, 0, and the checksum
  KeptGame joins = empty;
  for (uint32_t i = 0; i <= kMaxReplayJoins; ++i) joins.record.AddJoin("J", {1, 2, 3}, uint8_t(i % 250), 0.0f);
  const auto with = [](std::vector<uint8_t> b, size_t at, std::vector<uint8_t> put, bool seal = true) {
    b.erase(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + 1));
    b.insert(b.begin() + std::ptrdiff_t(at), put.begin(), put.end());
    return seal ? Seal(b) : b;
  };
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
  } cases[] = {
      {"empty", {}, kNotAReplay},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, kNotAReplay},
      {"bad magic", with(good, 0, {'b'}), kNotAReplay},
      {"magic alone", std::vector<uint8_t>(good.begin(), good.begin() + 8), kDamagedReplay},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 1), kDamagedReplay},
      {"bad checksum", with(good, 40, {uint8_t(good[40] ^ 1)}, false), kDamagedReplay},
      {"newer version", with(good, 8, {2}), kNewerReplay},
      {"version 0", with(good, 8, {0}), kDamagedReplay},
      {"no field", with(good, 14, {0}), kDamagedReplay},
      {"outcome 9", with(good, 46, {9}), kDamagedReplay},
      {"a billion events", with(none, none.size() - 5, {0x80, 0x94, 0xeb, 0xdc, 0x03}), kDamagedReplay},
      {"events that are not there", with(none, none.size() - 5, {0xe8, 0x07}), kDamagedReplay},
      {"a move off the field", with(none, none.size() - 5, {1, 4, 0xff, 0, 0x80, 0x0f}), kDamagedReplay},
      {"a step past every field", with(none, none.size() - 5, {1, 4, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}),
       kDamagedReplay},
      {"more joins than fields take", EncodeReplay(joins), kDamagedReplay},
      {"trailing bytes", with(good, good.size() - 5, {good[good.size() - 5], 0}), kDamagedReplay},
  };
  for (const auto& c : cases) {
    const ReplayRead r = DecodeReplay(c.bytes);
    EXPECT_FALSE(r.game) << c.what;
    EXPECT_EQ(r.error, c.error) << c.what;
  }
}

// Jumps back and forth land on the very game a replay from the start makes.
TEST(Replayer, SeeksAndStepsMatchAReplayFromTheStart) {
  GameRecord r;
  r.Clear({40, 40, 300, 1, 0, 99});
  r.AddJoin("Al", {1, 1, 1}, 3, 0.0f);
  Rng rng(3);
  for (int i = 0; i < 5000; ++i) r.AddMove({rng.Rand(0, 1599), uint8_t(rng.Rand(1, 2)), i % 3 ? uint8_t(3) : kNoPlayer}, i * 0.01f);
  Replayer p(r);
  EXPECT_EQ(p.Duration(), r.events.back().time);
  EXPECT_EQ(p.EventsBy(0.0f), 2u);
  for (const size_t at : {4999u, 17u, 3000u, 1024u, 1023u, 5001u, 2048u, 0u}) {
    const Game want = Replay(r, at);
    const Game& got = p.Seek(at);
    EXPECT_EQ(BoardText(got), BoardText(want)) << at;
    EXPECT_EQ(got.GameTime, want.GameTime) << at;
    EXPECT_EQ(FindScore(got, 3), FindScore(want, 3)) << at;
  }
  for (int i = 0; i < 1500; ++i) ASSERT_TRUE(p.Step());
  EXPECT_EQ(BoardText(p.Now()), BoardText(Replay(r, 1500)));
  p.Seek(5001);
  EXPECT_FALSE(p.Step());
}
