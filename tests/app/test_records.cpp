// The records file: real SQLite files in a scratch directory, real processes
// writing them at once and killed while writing, and the game keeping its games.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/presenter.h"
#include "app/records.h"
#include "tests/support/world.h"

using namespace bg;

namespace {

const SetupKey kSmall{9, 9, 10, 1, 1}, kBig{16, 16, 40, 1, 1};

KeptGame Kept(const SetupKey& k, Outcome o, int32_t millis, int32_t bbbv = 10, int32_t clicks = 20, bool net = false) {
  KeptGame g;
  g.player = "Pat";
  g.record.Clear({k.width, k.height, k.mines, k.wrap, k.lethal, 42});
  g.record.AddMove({4, CLICK_UNCOVER, kNoPlayer}, 0.5f);
  if (net) g.players = {{3, "Pat", {9, 8, 7}, 2}};
  g.networked = net;
  g.outcome = o;
  g.millis = millis;
  g.bbbv = bbbv;
  g.clicks = clicks;
  return g;
}

struct RecordsFile : ::testing::Test {
  test::TempDir dir;
  std::string file = dir.path + "/records.sqlite";
};

}  // namespace

TEST_F(RecordsFile, KeepsGamesRanksBestTimesAndCountsStatistics) {
  Records r(file);
  const struct {
    KeptGame game;
    int rank;
  } kept[] = {
      {Kept(kSmall, Outcome::WON, 20000), 1},         {Kept(kSmall, Outcome::LOST, 3000), 0},
      {Kept(kSmall, Outcome::WON, 10000), 1},         {Kept(kSmall, Outcome::WON, 5000, 10, 20, true), 0},
      {Kept(kSmall, Outcome::WON, 15000, 30, 10), 2}, {Kept(kSmall, Outcome::ABANDONED, 1000), 0},
      {Kept(kBig, Outcome::WON, 30000), 1},
  };
  for (const auto& k : kept) EXPECT_EQ(r.Keep(k.game).rank, k.rank) << k.game.millis;
  // Games alone count; the shared one is kept but not counted.
  const Statistics s = r.Stats();
  ASSERT_EQ(s.setups.size(), 2u);
  const SetupStats& a = s.setups[0];
  EXPECT_EQ(a.setup, kSmall);
  EXPECT_EQ(std::vector<double>({double(a.played), double(a.won), double(a.streak), double(a.longest), a.best,
                                 a.average, a.bestBbbvPerSecond, a.efficiency}),
            std::vector<double>({5, 3, 0, 2, 10, 15, 2, 1}));
  EXPECT_EQ(std::vector<int>({s.total.played, s.total.won, s.total.streak, s.total.longest}),
            std::vector<int>({6, 4, 1, 2}));
  std::vector<double> best;
  for (const BestTime& b : r.BestTimes(kSmall)) best.push_back(b.seconds);
  EXPECT_EQ(best, std::vector<double>({10, 15, 20}));
  EXPECT_EQ(r.LastWinningTimes(kSmall), std::vector<double>({20, 10, 15}));
  const std::vector<GameSummary> list = r.List();
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list.front().setup, kBig);
  EXPECT_TRUE(list[3].networked);
  const std::optional<KeptGame> shared = r.Load(list[3].id);
  EXPECT_TRUE(shared && shared->networked && shared->players.size() == 1 && shared->players[0].name == "Pat");
  EXPECT_EQ(r.LastFinished()->record.setup.width, 16);
  // Ten places: the time that would come eleventh is kept without a rank.
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(r.Keep(Kept(kBig, Outcome::WON, 30000 + i)).rank, i < 10 ? i + 1 : 0);
  ASSERT_TRUE(r.Reset(kSmall));
  EXPECT_TRUE(r.BestTimes(kSmall).empty());
  EXPECT_EQ(r.Stats().setups.size(), 1u);
}

TEST_F(RecordsFile, ADamagedFileIsMovedAsideAndAFreshOneStarted) {
  for (const std::string& junk : {std::string("not a database at all\n"), std::string("SQLite format 3\0", 16) +
                                                                               std::string(4000, '\x7f')}) {
    const std::string in = dir.path + "/" + std::to_string(junk.size());
    std::filesystem::create_directory(in);
    test::WriteFile(in + "/records.sqlite", junk);
    Records r(in + "/records.sqlite");
    EXPECT_TRUE(r.Keep(Kept(kSmall, Outcome::WON, 9000)).kept);
    const std::string notice = r.TakeNotice();
    const size_t at = notice.find("records.sqlite.damaged-");
    ASSERT_NE(notice.find("moved aside as records.sqlite.damaged-"), std::string::npos) << notice;
    EXPECT_EQ(test::ReadFile(in + "/" + notice.substr(at, notice.find(' ', at) - at)), junk);
    EXPECT_EQ(r.List().size(), 1u);
  }
}

// A directory nobody may write to: the game is not kept, and the games kept before stay.
TEST_F(RecordsFile, AReadOnlyDirectoryKeepsNothingAndLosesNothing) {
  ASSERT_TRUE(Records(file).Keep(Kept(kSmall, Outcome::WON, 9000)).kept);
  chmod(dir.path.c_str(), 0555);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);  // root writes anywhere: play as nobody
    const KeepResult res = Records(file).Keep(Kept(kSmall, Outcome::WON, 8000));
    _exit(!res.kept && !res.error.empty() ? 0 : 1);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  chmod(dir.path.c_str(), 0700);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Records(file).List().size(), 1u);
}

// Two processes keep games in one file at once, and are killed in the middle of their loops
// of writes, again and again: each game they said they kept is there, whole.
TEST_F(RecordsFile, TwoWritersAtOnceKilledWhileWritingLoseNoKeptGame) {
  size_t said = 0, refused = 0;
  for (int round = 0; round < 3; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t kids[2];
    for (pid_t& pid : kids)
      if ((pid = fork()) == 0) {
        Records r(file);
        for (int i = 0;; ++i)
          if (write(fds[1], r.Keep(Kept(i % 2 ? kSmall : kBig, Outcome::WON, 1000 + i, 10, 20, i % 3 == 0)).kept ? "k" : "x", 1) != 1)
            _exit(1);
      }
    close(fds[1]);
    char c;
    for (int n = 0; n < 40 + round * 7 && read(fds[0], &c, 1) == 1; ++n) (c == 'k' ? said : refused) += 1;
    for (const pid_t pid : kids) kill(pid, SIGKILL);
    while (read(fds[0], &c, 1) == 1) (c == 'k' ? said : refused) += 1;
    close(fds[0]);
    for (const pid_t pid : kids) waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(refused, 0u);
  Records r(file);
  const std::vector<GameSummary> list = r.List();
  EXPECT_GE(list.size(), said);
  for (const GameSummary& g : list) ASSERT_TRUE(r.Load(g.id)) << g.id;
}

// The game itself: a win is ranked in its window, a new game after a move is abandoned, and a
// file that cannot be written is told in the window, with the game going on.
TEST_F(RecordsFile, TheGameKeepsWhatItPlaysAndSaysWhenItCannot) {
  test::World world;
  ASSERT_TRUE(world.Start());
  ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 1));
  gGame.GameTime = 12.5f;
  ClickField(40, CLICK_UNCOVER);
  EXPECT_EQ(world.gui.Text(gWinTextTime), "Time Taken: 12 secs. New best time! Rank 1.");
  ASSERT_TRUE(NewGame(9, 9, 10, 1, 0.0f, 1));
  ClickField(40, CLICK_FLAG);
  ASSERT_TRUE(NewGame(9, 9, 10, 1, 0.0f, 1));
  const std::vector<GameSummary> list = TheRecords().List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(list[0].outcome == Outcome::ABANDONED && list[0].clicks == 1);
  EXPECT_TRUE(list[1].outcome == Outcome::WON && list[1].bbbv == 1 && list[1].seconds == 12.5);
  EXPECT_EQ(LastFinishedGame()->millis, 12500);
  test::WriteFile("blocked", "a file where a directory should be");
  ini.Filename = dir.path + "/blocked/config.ini";
  ASSERT_TRUE(NewGame(9, 9, 0, 1, 0.0f, 1));
  ClickField(40, CLICK_UNCOVER);
  EXPECT_EQ(world.gui.Text(gWinTextTime), "Time Taken: 0 secs. The record could not be kept.");
  ini.Filename = "config.ini";
}
