#pragma once
#include <compare>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "minefield/kept.h"

// The kept games: one SQLite file, records.sqlite, beside config.ini. Every
// finished game is written in one transaction; two copies of the program can
// keep games in the same file at once. Nothing here ever stops the game: a
// file that cannot be written just leaves the game unkept, and says so.
namespace bg {

// The setup a game is counted under.
struct SetupKey {
  int32_t width = 0, height = 0, mines = 0;
  uint8_t wrap = 0, lethal = 0;
  auto operator<=>(const SetupKey&) const = default;
};
SetupKey SetupOf(const GameSetup& s);
// "30 x 16, 99 mines, wrapping, lethal"
std::string SetupText(const SetupKey& k);

// What keeping a game did.
struct KeepResult {
  bool kept = false;
  int rank = 0;  // 1..10: the place the time took in the best times; 0: none
  std::string error;  // why it was not kept
};

// One row of the best times: the ten fastest wins alone per setup.
struct BestTime {
  int64_t game = 0;  // the kept game's id
  std::string name;
  int64_t date = 0;
  double seconds = 0.0;
  double bbbvPerSecond = 0.0;
};
inline constexpr int kBestTimes = 10;

// Statistics of the games played alone (a shared field is kept, not counted), of
// one setup or of every setup together.
struct SetupStats {
  SetupKey setup;
  int32_t played = 0, won = 0;
  int32_t streak = 0, longest = 0;  // winning streaks: the current and the longest
  double best = 0.0, average = 0.0;  // winning times in seconds; 0 without a win
  double bestBbbvPerSecond = 0.0;
  double efficiency = 0.0;  // 3BV / clicks over the won games
  double WinRate() const { return played > 0 ? double(won) / played : 0.0; }
};
struct Statistics {
  std::vector<SetupStats> setups;  // in SetupKey order
  SetupStats total;                // setup left zero
};

// One row of the list of kept games.
struct GameSummary {
  int64_t id = 0;
  int64_t date = 0;
  std::string player;
  SetupKey setup;
  bool networked = false;
  Outcome outcome = Outcome::WON;
  double seconds = 0.0;
  int32_t bbbv = 0, clicks = 0;
  double bbbvPerSecond = 0.0;
};

class Records {
 public:
  // Binds to the file; it is opened (created, repaired) at the first use.
  explicit Records(std::string path);
  ~Records();
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  const std::string& Path() const { return path_; }
  // Opens the file now if it is not open; false when it cannot be used.
  bool Open();
  // A line for the console once something happened to the file (a damaged one
  // moved aside), then "" until the next time.
  std::string TakeNotice();

  KeepResult Keep(const KeptGame& game);
  std::vector<BestTime> BestTimes(const SetupKey& setup);
  Statistics Stats();
  // The last `count` winning times alone of a setup in seconds, oldest first.
  std::vector<double> LastWinningTimes(const SetupKey& setup, int count = 50);
  // Forgets every game of a setup. False when that could not be done.
  bool Reset(const SetupKey& setup);
  // The kept games, newest first.
  std::vector<GameSummary> List(size_t limit = 100000);
  std::optional<KeptGame> Load(int64_t id);
  // The newest kept game that ended (abandoned ones are not finished).
  std::optional<KeptGame> LastFinished();

 private:
  struct Db;
  void MoveAside();
  // False for a failed step; a damaged file is moved aside, to be started afresh at the next use.
  bool Check(int rc);
  std::optional<KeptGame> LoadWhere(const std::string& where, int64_t id);
  std::string path_;
  Db* db_ = nullptr;
  std::string notice_, error_;
};

// The file beside the settings file (config.ini), wherever that lives.
std::string RecordsPath();
// The program's records, bound to RecordsPath() at the first call.
Records& TheRecords();

// .bgreplay files. `error` says why when they return false / no game.
bool SaveReplayFile(const std::string& path, const KeptGame& game, std::string& error);
ReplayRead LoadReplayFile(const std::string& path);

}  // namespace bg
