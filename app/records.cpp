#include "app/records.h"

#include <utility>

#include "app/globals.h"

namespace bg {

SetupKey SetupOf(const GameSetup& s) { return {s.width, s.height, s.mines, s.wrap, s.lethal}; }
std::string SetupText(const SetupKey& k) {
  return std::to_string(k.width) + " x " + std::to_string(k.height) + ", " + std::to_string(k.mines) + " mines";
}

struct Records::Db {};

Records::Records(std::string path) : path_(std::move(path)) {}
Records::~Records() { delete db_; }
bool Records::Open() { return false; }
std::string Records::TakeNotice() { return std::exchange(notice_, std::string()); }
KeepResult Records::Keep(const KeptGame&) { return {false, 0, "not yet"}; }
std::vector<BestTime> Records::BestTimes(const SetupKey&) { return {}; }
Statistics Records::Stats() { return {}; }
std::vector<double> Records::LastWinningTimes(const SetupKey&, int) { return {}; }
bool Records::Reset(const SetupKey&) { return false; }
std::vector<GameSummary> Records::List(size_t) { return {}; }
std::optional<KeptGame> Records::Load(int64_t) { return std::nullopt; }
std::optional<KeptGame> Records::LastFinished() { return std::nullopt; }

std::string RecordsPath() { return "records.sqlite"; }
Records& TheRecords() {
  static Records records(RecordsPath());
  return records;
}

bool SaveReplayFile(const std::string&, const KeptGame&, std::string& error) {
  error = "not yet";
  return false;
}
ReplayRead LoadReplayFile(const std::string&) { return {std::nullopt, kNotAReplay}; }

}  // namespace bg
