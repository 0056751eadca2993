#include "app/records.h"

#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "app/globals.h"

namespace bg {

SetupKey SetupOf(const GameSetup& s) { return {s.width, s.height, s.mines, s.wrap, s.lethal}; }

std::string SetupText(const SetupKey& k) {
  return std::to_string(k.width) + " x " + std::to_string(k.height) + ", " + std::to_string(k.mines) + " mines" +
         (k.wrap ? ", wrapping" : "") + (k.lethal ? ", lethal" : "");
}

namespace {

// Each step takes the file from one version to the next; a file is only ever moved forward.
constexpr const char* kMigrations[] = {
    "CREATE TABLE games(id INTEGER PRIMARY KEY, date INTEGER NOT NULL, player TEXT NOT NULL,"
    " width INTEGER NOT NULL, height INTEGER NOT NULL, mines INTEGER NOT NULL, wrap INTEGER NOT NULL,"
    " lethal INTEGER NOT NULL, networked INTEGER NOT NULL, outcome INTEGER NOT NULL, millis INTEGER NOT NULL,"
    " clicks INTEGER NOT NULL, bbbv INTEGER NOT NULL, replay BLOB NOT NULL);"
    "CREATE INDEX games_best ON games(width, height, mines, wrap, lethal, networked, outcome, millis);",
};
constexpr int kSchema = int(std::size(kMigrations));
constexpr const char* kSetupWhere = "width = ? AND height = ? AND mines = ? AND wrap = ? AND lethal = ?";

bool Damage(int rc) { return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB; }

class Stmt {
 public:
  Stmt(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr); }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt& Bind(int64_t v) {
    if (s_) sqlite3_bind_int64(s_, ++n_, v);
    return *this;
  }
  Stmt& Bind(const std::string& v) {
    if (s_) sqlite3_bind_text(s_, ++n_, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& Bind(const std::vector<uint8_t>& v) {
    if (s_) sqlite3_bind_blob(s_, ++n_, v.data(), int(v.size()), SQLITE_STATIC);
    return *this;
  }
  Stmt& Bind(const SetupKey& k) { return Bind(k.width).Bind(k.height).Bind(k.mines).Bind(k.wrap).Bind(k.lethal); }
  // True while there is a row; rc() says how it ended.
  bool Row() {
    if (!s_) return false;
    rc_ = sqlite3_step(s_);
    return rc_ == SQLITE_ROW;
  }
  bool Done() { return !Row() && rc_ == SQLITE_DONE; }
  int64_t Int(int i) const { return sqlite3_column_int64(s_, i); }
  std::string Text(int i) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, i));
    return p ? std::string(p, size_t(sqlite3_column_bytes(s_, i))) : std::string();
  }
  std::span<const uint8_t> Blob(int i) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, i));
    return p ? std::span<const uint8_t>(p, size_t(sqlite3_column_bytes(s_, i))) : std::span<const uint8_t>();
  }
  int rc() const { return rc_; }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_ = SQLITE_OK;
  int n_ = 0;
};

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

SetupKey KeyAt(const Stmt& s, int from) {
  return {int32_t(s.Int(from)), int32_t(s.Int(from + 1)), int32_t(s.Int(from + 2)), uint8_t(s.Int(from + 3)),
          uint8_t(s.Int(from + 4))};
}

}  // namespace

struct Records::Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close_v2(db); }
  int Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  std::string Error() const { return sqlite3_errmsg(db); }
};

Records::Records(std::string path) : path_(std::move(path)) {}
Records::~Records() { delete db_; }

std::string Records::TakeNotice() { return std::exchange(notice_, std::string()); }

bool Records::Open() {
  if (db_) return true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto d = std::make_unique<Db>();
    int rc = sqlite3_open_v2(path_.c_str(), &d->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
      // Two copies of the program keep games at once: readers never wait for a writer, writers wait their turn.
      sqlite3_busy_timeout(d->db, 5000);
      rc = d->Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
    }
    int version = -1;
    if (rc == SQLITE_OK) rc = d->Exec("BEGIN IMMEDIATE; CREATE TABLE IF NOT EXISTS schema(version INTEGER NOT NULL);");
    if (rc == SQLITE_OK) {
      Stmt s(d->db, "SELECT version FROM schema");
      version = s.Row() ? int(s.Int(0)) : 0;
      rc = s.rc() == SQLITE_ROW || s.rc() == SQLITE_DONE ? SQLITE_OK : s.rc();
    }
    for (int v = version; rc == SQLITE_OK && v >= 0 && v < kSchema; ++v) {
      rc = d->Exec(kMigrations[v]);
      if (rc == SQLITE_OK)
        rc = d->Exec(("DELETE FROM schema; INSERT INTO schema VALUES(" + std::to_string(v + 1) + ")").c_str());
    }
    if (rc == SQLITE_OK) rc = d->Exec("COMMIT");
    if (rc == SQLITE_OK && version > kSchema) {
      notice_ = path_ + " was written by a newer version of Blastgrid: games are not kept.";
      return false;
    }
    if (rc == SQLITE_OK) {
      db_ = d.release();
      return true;
    }
    if (!Damage(rc) || attempt > 0) {
      error_ = d->db ? d->Error() : "cannot open " + path_;
      return false;
    }
    d.reset();
    MoveAside();
  }
  return false;
}

void Records::MoveAside() {
  std::error_code ec;
  std::string aside = path_ + ".damaged-" + Stamp();
  for (int n = 2; std::filesystem::exists(aside, ec); ++n) aside = path_ + ".damaged-" + Stamp() + "-" + std::to_string(n);
  std::filesystem::rename(path_, aside, ec);
  // The damaged file's journal belongs to it, not to the fresh one.
  for (const char* side : {"-wal", "-shm"}) std::filesystem::rename(path_ + side, aside + side, ec);
  notice_ = "The records file was damaged: it was moved aside as " + std::filesystem::path(aside).filename().string() +
            " and a fresh one started.";
}

bool Records::Check(int rc) {
  if (!Damage(rc)) return rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW;
  delete db_;
  db_ = nullptr;
  MoveAside();
  return false;
}

KeepResult Records::Keep(const KeptGame& game) {
  KeepResult out;
  // A file found damaged now is moved aside and the game kept in a fresh one.
  for (int attempt = 0; attempt < 2 && !out.kept; ++attempt) {
    if (!Open()) break;
    const std::vector<uint8_t> replay = EncodeReplay(game);
    const SetupKey k = SetupOf(game.record.setup);
    int rc = db_->Exec("BEGIN IMMEDIATE");
    int64_t id = 0;
    if (rc == SQLITE_OK) {
      Stmt s(db_->db,
             "INSERT INTO games(date, player, width, height, mines, wrap, lethal, networked, outcome, millis, clicks,"
             " bbbv, replay) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
      s.Bind(game.date).Bind(game.player).Bind(k).Bind(game.networked ? 1 : 0).Bind(int64_t(game.outcome));
      s.Bind(game.millis).Bind(game.clicks).Bind(game.bbbv).Bind(replay);
      rc = s.Done() ? SQLITE_OK : s.rc();
      id = sqlite3_last_insert_rowid(db_->db);
    }
    if (rc == SQLITE_OK && !game.networked && game.outcome == Outcome::WON) {
      Stmt s(db_->db, std::string("SELECT count(*) FROM games WHERE ") + kSetupWhere +
                          " AND networked = 0 AND outcome = 0 AND (millis < ? OR (millis = ? AND id < ?))");
      s.Bind(k).Bind(game.millis).Bind(game.millis).Bind(id);
      if (s.Row() && s.Int(0) < kBestTimes) out.rank = int(s.Int(0)) + 1;
      rc = s.rc() == SQLITE_ROW ? SQLITE_OK : s.rc();
    }
    if (rc == SQLITE_OK) rc = db_->Exec("COMMIT");
    if (rc == SQLITE_OK) {
      out.kept = true;
      break;
    }
    out.rank = 0;
    error_ = db_->Error();
    db_->Exec("ROLLBACK");
    if (!Damage(rc)) break;
    Check(rc);
  }
  if (!out.kept) out.error = error_.empty() ? "cannot open " + path_ : error_;
  return out;
}

std::vector<BestTime> Records::BestTimes(const SetupKey& setup) {
  std::vector<BestTime> out;
  if (!Open()) return out;
  Stmt s(db_->db, std::string("SELECT id, player, date, millis, bbbv FROM games WHERE ") + kSetupWhere +
                      " AND networked = 0 AND outcome = 0 ORDER BY millis, id LIMIT " + std::to_string(kBestTimes));
  s.Bind(setup);
  while (s.Row()) {
    const double seconds = double(s.Int(3)) / 1000.0;
    out.push_back({s.Int(0), s.Text(1), s.Int(2), seconds, seconds > 0 ? double(s.Int(4)) / seconds : 0.0});
  }
  Check(s.rc());
  return out;
}

Statistics Records::Stats() {
  struct Acc {
    SetupStats st;
    double wonSeconds = 0.0;
    int64_t wonBbbv = 0, wonClicks = 0;
    void Add(Outcome o, int64_t millis, int64_t clicks, int64_t bbbv) {
      ++st.played;
      if (o != Outcome::WON) {
        st.streak = 0;
        return;
      }
      const double seconds = double(millis) / 1000.0;
      ++st.won;
      st.longest = std::max(st.longest, ++st.streak);
      st.best = st.won == 1 ? seconds : std::min(st.best, seconds);
      wonSeconds += seconds;
      if (seconds > 0) st.bestBbbvPerSecond = std::max(st.bestBbbvPerSecond, double(bbbv) / seconds);
      wonBbbv += bbbv;
      wonClicks += clicks;
    }
    SetupStats Done() {
      if (st.won > 0) st.average = wonSeconds / st.won;
      if (wonClicks > 0) st.efficiency = double(wonBbbv) / double(wonClicks);
      return st;
    }
  };
  Statistics out;
  if (!Open()) return out;
  std::map<SetupKey, Acc> setups;
  Acc total;
  Stmt s(db_->db, "SELECT width, height, mines, wrap, lethal, outcome, millis, clicks, bbbv FROM games WHERE networked = 0"
                  " ORDER BY id");
  while (s.Row()) {
    const SetupKey k = KeyAt(s, 0);
    const Outcome o = Outcome(s.Int(5));
    Acc& a = setups[k];
    a.st.setup = k;
    a.Add(o, s.Int(6), s.Int(7), s.Int(8));
    total.Add(o, s.Int(6), s.Int(7), s.Int(8));
  }
  Check(s.rc());
  for (auto& [k, a] : setups) out.setups.push_back(a.Done());
  out.total = total.Done();
  return out;
}

std::vector<double> Records::LastWinningTimes(const SetupKey& setup, int count) {
  std::vector<double> out;
  if (!Open()) return out;
  Stmt s(db_->db, std::string("SELECT millis FROM games WHERE ") + kSetupWhere +
                      " AND networked = 0 AND outcome = 0 ORDER BY id DESC LIMIT ?");
  s.Bind(setup).Bind(count);
  while (s.Row()) out.insert(out.begin(), double(s.Int(0)) / 1000.0);
  Check(s.rc());
  return out;
}

bool Records::Reset(const SetupKey& setup) {
  if (!Open()) return false;
  Stmt s(db_->db, std::string("DELETE FROM games WHERE ") + kSetupWhere);
  s.Bind(setup);
  return s.Done() || (Check(s.rc()), false);
}

std::vector<GameSummary> Records::List(size_t limit) {
  std::vector<GameSummary> out;
  if (!Open()) return out;
  Stmt s(db_->db,
         "SELECT id, date, player, width, height, mines, wrap, lethal, networked, outcome, millis, bbbv, clicks"
         " FROM games ORDER BY id DESC LIMIT ?");
  s.Bind(int64_t(std::min<size_t>(limit, INT64_MAX)));
  while (s.Row()) {
    GameSummary g;
    g.id = s.Int(0);
    g.date = s.Int(1);
    g.player = s.Text(2);
    g.setup = KeyAt(s, 3);
    g.networked = s.Int(8) != 0;
    g.outcome = Outcome(s.Int(9));
    g.seconds = double(s.Int(10)) / 1000.0;
    g.bbbv = int32_t(s.Int(11));
    g.clicks = int32_t(s.Int(12));
    g.bbbvPerSecond = g.seconds > 0 ? g.bbbv / g.seconds : 0.0;
    out.push_back(std::move(g));
  }
  Check(s.rc());
  return out;
}

std::optional<KeptGame> Records::LoadWhere(const std::string& where, int64_t id) {
  if (!Open()) return std::nullopt;
  Stmt s(db_->db, "SELECT replay FROM games " + where);
  if (id >= 0) s.Bind(id);
  if (!s.Row()) {
    Check(s.rc());
    return std::nullopt;
  }
  return DecodeReplay(s.Blob(0)).game;
}

std::optional<KeptGame> Records::Load(int64_t id) { return LoadWhere("WHERE id = ?", id); }
std::optional<KeptGame> Records::LastFinished() {
  return LoadWhere("WHERE outcome <> " + std::to_string(int(Outcome::ABANDONED)) + " ORDER BY id DESC LIMIT 1", -1);
}

std::string RecordsPath() {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::absolute(ini.Filename, ec).parent_path();
  return (dir / "records.sqlite").string();
}

Records& TheRecords() {
  // Bound again when the settings file moved (each test runs in a directory of its own).
  static std::unique_ptr<Records> records;
  const std::string path = RecordsPath();
  if (!records || records->Path() != path) records = std::make_unique<Records>(path);
  return *records;
}

bool SaveReplayFile(const std::string& path, const KeptGame& game, std::string& error) {
  const std::vector<uint8_t> bytes = EncodeReplay(game);
  // Written beside, then renamed over: a failed save leaves no half file.
  const std::string part = path + ".part";
  {
    std::ofstream f(part, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    if (!f) {
      std::error_code ec;
      std::filesystem::remove(part, ec);
      error = "Cannot write " + path;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, path, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    error = "Cannot write " + path;
    return false;
  }
  return true;
}

ReplayRead LoadReplayFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {std::nullopt, "Cannot open " + path};
  std::vector<uint8_t> bytes;
  char buf[65536];
  // Read no further than the largest replay: a huge or endless file is refused, not swallowed.
  while (f && bytes.size() <= kMaxReplayBytes) {
    f.read(buf, sizeof buf);
    bytes.insert(bytes.end(), buf, buf + f.gcount());
  }
  if (bytes.size() > kMaxReplayBytes) return {std::nullopt, kDamagedReplay};
  return DecodeReplay(bytes);
}

}  // namespace bg
