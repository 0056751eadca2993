// The statistics, replays and watch windows over the in-memory gadgets and a
// real records file in a scratch directory.
#include <gtest/gtest.h>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/record_windows.h"
#include "app/records.h"
#include "minefield/game.h"
#include "minefield/text.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

// A game of `w` x `h` played to its end: every safe block uncovered, or the first mine when it is lost.
KeptGame Played(int32_t w, int32_t h, int32_t mines, int32_t seed, bool win, float perMove, int64_t date) {
  KeptGame k;
  k.date = date;
  k.player = "Tester";
  k.outcome = win ? Outcome::WON : Outcome::LOST;
  k.record.Clear(GameSetup{w, h, mines, 0, 1, seed});
  Game g;
  StartGame(g, w, h, mines, 0, 0.0f, 1, seed);
  float t = 0.0f;
  for (int32_t b = 0; b < w * h && g.GameStatus == GAME_PLAYING; ++b) {
    const TBlock& block = g.Blocks[size_t(b)];
    const bool mine = block.Value == -1;
    if (block.Revealed || (b > 0 && mine != !win)) continue;
    t += perMove;
    g.GameTime = t;
    k.record.AddMove(Move{b, CLICK_UNCOVER, kNoPlayer}, t);
    Apply(g, Move{b, CLICK_UNCOVER, kNoPlayer});
    ++k.clicks;
  }
  k.millis = int32_t(t * 1000.0f);
  k.bbbv = Bbbv(g);
  return k;
}

struct RecordWindowsTest : ::testing::Test {
  test::TempDir dir;
  test::World world;
  void SetUp() override {
    test::SetClock(10000);
    ASSERT_TRUE(world.Start());
  }
  RecordWindows& u = RecordUi();
  test::TestGui& gui() { return world.gui; }
  std::vector<std::string> Cells(Gadget* table, int row) {
    std::vector<std::string> cells;
    std::string text = gui().ItemText(table, row) + "\t";
    for (size_t at; (at = text.find('\t')) != std::string::npos; text.erase(0, at + 1)) cells.push_back(text.substr(0, at));
    return cells;
  }
  void Keep(const KeptGame& k) { ASSERT_TRUE(TheRecords().Keep(k).kept); }
};

}  // namespace

TEST_F(RecordWindowsTest, StatisticsShowEachSetupAndTheTotalAndResetOnlyAfterConfirming) {
  // 9 x 9: won in 4 s, lost, won in 2 s (streak 1, longest 1); 16 x 16: one loss.
  Keep(Played(9, 9, 10, 7, true, 0.5f, 1000));
  Keep(Played(9, 9, 10, 8, false, 1.0f, 1100));
  Keep(Played(9, 9, 10, 9, true, 0.25f, 1200));
  Keep(Played(16, 16, 40, 3, false, 1.0f, 1300));
  world.Send(EVENT_MENUACTION, u.menuStats);
  ASSERT_FALSE(gui().Hidden(u.stats));
  ASSERT_EQ(gui().CountItems(u.statsTable), 3);
  const Statistics st = TheRecords().Stats();
  const std::vector<std::string> nine = Cells(u.statsTable, 0);
  ASSERT_EQ(nine.size(), 10u);
  EXPECT_EQ(nine[0], "9 x 9, 10 mines, lethal");
  EXPECT_EQ((std::vector<std::string>(nine.begin() + 1, nine.begin() + 6)),
            (std::vector<std::string>{"3", "2", "67%", "1", "1"}));
  char best[32];
  std::snprintf(best, sizeof best, "%.2f s", st.setups[0].best);
  EXPECT_EQ(nine[6], best);
  EXPECT_NE(nine[8], "-");
  EXPECT_EQ(Cells(u.statsTable, 1)[6], "-");  // no win, no best time
  const std::vector<std::string> total = Cells(u.statsTable, 2);
  EXPECT_EQ((std::vector<std::string>(total.begin(), total.begin() + 4)),
            (std::vector<std::string>{"All setups", "4", "2", "50%"}));

  // The chart: every setup with a win for the total, the chosen setup alone otherwise.
  const ChartData& chart = test::TestGui::M(u.statsChart)->chart;
  EXPECT_EQ(chart.series.size(), 1u);
  gui().SelectItem(u.statsTable, 0);
  world.Send(EVENT_GADGETSELECT, u.statsTable, 0);
  ASSERT_EQ(chart.series.size(), 1u);
  EXPECT_EQ(chart.series[0].points.size(), 2u);
  EXPECT_EQ(chart.series[0].points[1].second, TheRecords().LastWinningTimes(st.setups[0].setup).back());

  // Reset asks first; Cancel keeps everything, the confirmation forgets the setup.
  ASSERT_TRUE(gui().Enabled(u.statsReset));
  world.Send(EVENT_GADGETACTION, u.statsReset);
  EXPECT_FALSE(gui().Hidden(u.confirm));
  world.Send(EVENT_GADGETACTION, u.confirmNo);
  EXPECT_TRUE(gui().Hidden(u.confirm));
  EXPECT_EQ(TheRecords().Stats().total.played, 4);
  world.Send(EVENT_GADGETACTION, u.statsReset);
  world.Send(EVENT_GADGETACTION, u.confirmYes);
  EXPECT_EQ(TheRecords().Stats().total.played, 1);
  EXPECT_EQ(gui().CountItems(u.statsTable), 2);
  EXPECT_EQ(Cells(u.statsTable, 0)[0], "16 x 16, 40 mines, lethal");
}

TEST_F(RecordWindowsTest, ReplaysListNewestFirstAndSortByTheColumnClicked) {
  Keep(Played(9, 9, 10, 7, true, 0.5f, 1000));
  Keep(Played(9, 9, 10, 7, true, 2.0f, 3000));
  Keep(Played(9, 9, 10, 7, true, 1.0f, 2000));
  world.Send(EVENT_MENUACTION, u.menuReplays);
  ASSERT_EQ(gui().CountItems(u.replaysTable), 3);
  auto dates = [&] {
    std::vector<int64_t> d;
    for (const GameSummary& s : u.rows) d.push_back(s.date);
    return d;
  };
  EXPECT_EQ(dates(), (std::vector<int64_t>{3000, 2000, 1000}));
  EXPECT_EQ(Cells(u.replaysTable, 1)[2], "won");
  world.Send(EVENT_HEADERCLICK, u.replaysTable, 3);  // time, shortest first
  EXPECT_EQ(dates(), (std::vector<int64_t>{1000, 2000, 3000}));
  EXPECT_EQ(test::TestGui::M(u.replaysTable)->sortColumn, 3);
  world.Send(EVENT_HEADERCLICK, u.replaysTable, 3);  // again: the other way
  EXPECT_EQ(dates(), (std::vector<int64_t>{3000, 2000, 1000}));
  EXPECT_FALSE(test::TestGui::M(u.replaysTable)->sortAscending);
  char time[32];
  std::snprintf(time, sizeof time, "%.2f s", u.rows[0].seconds);
  EXPECT_EQ(Cells(u.replaysTable, 0)[3], time);
}

TEST_F(RecordWindowsTest, WatchControlsMoveTheReplayAndNeverTheGameBeingPlayed) {
  const KeptGame kept = Played(9, 9, 10, 7, true, 0.5f, 1000);
  Keep(kept);
  const std::string before = BoardText(gGame);
  world.Send(EVENT_MENUACTION, u.menuReplays);
  world.Send(EVENT_GADGETACTION, u.replaysWatch);
  ASSERT_TRUE(u.watching);
  Watch& w = *u.watching;
  const size_t n = kept.record.events.size();
  EXPECT_EQ(w.player.Position(), 0u);
  world.Send(EVENT_GADGETACTION, u.watchStep);
  EXPECT_EQ(w.player.Position(), 1u);
  EXPECT_EQ(w.player.Now().revealed, Replay(kept.record, 1).revealed);
  world.Send(EVENT_GADGETACTION, u.watchSlider, int(n - 1));
  EXPECT_EQ(w.player.Position(), n - 1);
  EXPECT_EQ(w.clock, double(kept.record.events[n - 2].time));
  world.Send(EVENT_GADGETACTION, u.watchSlider, 0);
  // Two seconds of ticks at x8 cover sixteen seconds of the game: past its end here.
  for (int i = 0; i < 3; ++i) world.Send(EVENT_GADGETACTION, u.watchFaster);
  EXPECT_EQ(gui().Text(u.watchSpeed), "x8");
  world.Send(EVENT_GADGETACTION, u.watchPlay);
  EXPECT_EQ(gui().Text(u.watchPlay), "Pause");
  for (int t = 10200; t <= 12000; t += 200) {
    test::SetClock(t);
    world.Send(EVENT_TIMERTICK, nullptr);
  }
  EXPECT_TRUE(w.AtEnd());
  EXPECT_EQ(w.player.Now().GameStatus, GAME_OVER);
  EXPECT_EQ(gui().Text(u.watchPlay), "Play");
  EXPECT_EQ(gui().SliderPos(u.watchSlider), int(n));
  EXPECT_EQ(BoardText(gGame), before);
  EXPECT_EQ(gGame.GameStatus, GAME_PLAYING);
}

TEST_F(RecordWindowsTest, ExportedGamesOpenAgainAndRefusedFilesSayWhy) {
  Keep(Played(9, 9, 10, 7, true, 0.5f, 1000));
  world.Send(EVENT_MENUACTION, u.menuReplays);
  gui().nextFile = dir.path + "/game";
  world.Send(EVENT_GADGETACTION, u.replaysExport);
  EXPECT_TRUE(gui().fileSaved);
  const std::string file = dir.path + "/game.bgreplay";
  std::string bytes = test::ReadFile(file);
  ASSERT_FALSE(bytes.empty());
  EXPECT_TRUE(OpenReplayFile(file));
  EXPECT_EQ(u.watching->player.Events(), TheRecords().List()[0].clicks);

  const std::string damaged = bytes.substr(0, bytes.size() - 1) + char(bytes.back() ^ 1);
  for (const auto& [content, message] : {std::pair<std::string, std::string>{"hello", "Not a replay file"},
                                         {damaged, "The replay file is damaged"}}) {
    test::WriteFile(dir.path + "/bad.bgreplay", content);
    gui().nextFile = dir.path + "/bad.bgreplay";
    world.Send(EVENT_MENUACTION, u.menuOpen);
    ASSERT_FALSE(gui().notices.empty());
    EXPECT_EQ(gui().notices.back(), message);
  }
  EXPECT_EQ(gui().notices.size(), 2u);
}
