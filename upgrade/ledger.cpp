#include "upgrade/ledger.h"

#include <sqlite3.h>

#include <atomic>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace ramtune::upgrade {
namespace {

// What every SQLite file starts with.
const char kMagic[] = "SQLite format 3";
constexpr int kSchemaVersion = 2;
constexpr int kBusyTimeoutMs = 15000;  // a bench's children write at once

const char* const kSchema = R"sql(
CREATE TABLE units(
  mac TEXT PRIMARY KEY,
  model TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL,
  since TEXT NOT NULL,
  change_log TEXT,
  change_sha256 TEXT,
  change_values TEXT,
  change_missed INTEGER NOT NULL DEFAULT 0);
CREATE TABLE names(mac TEXT PRIMARY KEY, unit TEXT NOT NULL);
CREATE TABLE runs(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  unit TEXT NOT NULL,
  started TEXT NOT NULL,
  ended TEXT NOT NULL DEFAULT '',
  mode TEXT NOT NULL,
  link TEXT NOT NULL DEFAULT '',
  bootloader_before TEXT NOT NULL DEFAULT '',
  bootloader_after TEXT NOT NULL DEFAULT '',
  outcome TEXT NOT NULL DEFAULT '',
  exit_status INTEGER NOT NULL DEFAULT -1,
  process_log TEXT NOT NULL DEFAULT '',
  data_log TEXT NOT NULL DEFAULT '',
  data_log_sha256 TEXT NOT NULL DEFAULT '',
  unit_values TEXT,
  slot TEXT NOT NULL DEFAULT '',
  session TEXT NOT NULL DEFAULT '');
CREATE INDEX runs_unit ON runs(unit);
CREATE TABLE marks(
  mac TEXT NOT NULL, data_log TEXT NOT NULL, since TEXT NOT NULL, path TEXT NOT NULL,
  PRIMARY KEY(mac, data_log, since));
PRAGMA user_version = 2;
)sql";

// What a ledger of an earlier version is brought up to date with, in one
// transaction: version 1 knew no bench slots or sessions.
const char* const kFromVersion1 = R"sql(
ALTER TABLE runs ADD COLUMN slot TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN session TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 2;
)sql";

// One prepared statement with its values bound in order.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql, std::initializer_list<std::string> values = {}) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) return;
    int i = 0;
    for (const std::string& value : values) sqlite3_bind_text(stmt_, ++i, value.c_str(), -1, SQLITE_TRANSIENT);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  void Bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  void BindNull(int index) { sqlite3_bind_null(stmt_, index); }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return stmt_ == nullptr ? SQLITE_ERROR : sqlite3_step(stmt_); }
  // Runs a statement that returns no rows.
  bool Run() { return Step() == SQLITE_DONE; }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ValuesJson(const UnitValues& v) {
  nlohmann::json items = nlohmann::json::array();
  for (const std::string& value : v.values.Values) items.push_back(value);
  return nlohmann::json{{"items", items}, {"model", v.values.ModelName}, {"mode", v.operatingMode}}.dump();
}

bool ParseValuesJson(const std::string& text, UnitValues* out) {
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object() || !json.contains("items") || !json["items"].is_array() ||
      json["items"].size() != kCalibrationItemCount) {
    return false;
  }
  UnitValues v;
  for (size_t i = 0; i < kCalibrationItemCount; ++i) {
    if (!json["items"][i].is_string()) return false;
    v.values.Values[i] = json["items"][i].get<std::string>();
  }
  v.values.ModelName = json.value("model", "");
  v.operatingMode = json.value("mode", "");
  *out = v;
  return true;
}

}  // namespace

Ledger::~Ledger() { Close(); }

void Ledger::Close() {
  if (db_ != nullptr) sqlite3_close(db_);
  db_ = nullptr;
  path_.clear();
}

bool Ledger::Fail(const std::string& what) {
  const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "it cannot be opened";
  error_ = "The unit ledger " + path_ + " " + what + " (" + why +
           "). Nothing has been changed on the router. Make sure the file can be read and written (or name "
           "another with --ledger), then start again; never delete a ledger that holds units.";
  return false;
}

bool Ledger::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool Ledger::Open(const std::string& path) {
  if (db_ != nullptr && path == path_) return true;
  Close();
  path_ = path;
  error_.clear();
  // An existing file must be a SQLite database: SQLite would take an empty
  // file for a new ledger and the units it held would be forgotten.
  if (!platform::FileExists(path) && !Create(path)) return false;
  // A file that cannot be opened for a moment (another run is putting
  // the ledger in place: Windows refuses to share a file being renamed)
  // is tried again; one that can be read is judged at once.
  std::string head;
  bool read = platform::ReadFilePrefix(path, sizeof kMagic, &head);
  for (int attempt = 0; !read && attempt < 20 && platform::FileExists(path); ++attempt) {
    platform::SleepMs(50);
    read = platform::ReadFilePrefix(path, sizeof kMagic, &head);
  }
  if (!read || head.compare(0, std::string::npos, kMagic, sizeof kMagic) != 0) {
    db_ = nullptr;
    error_ = "The unit ledger " + path + " is not a database (empty, cut short or another file). Nothing has been "
             "changed on the router. Put the ledger back from a copy, or name another with --ledger; the program "
             "never deletes or rewrites a ledger it cannot read.";
    path_.clear();
    return false;
  }
  if (sqlite3_open_v2(platform::PathInUtf8(path).c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    Fail("cannot be opened");
    Close();
    path_ = path;
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // A rollback journal kept between changes (PERSIST): deleting it after
  // every change would cost one more wait for the disk.
  bool fine = Exec("PRAGMA journal_mode=PERSIST") && Exec("PRAGMA synchronous=FULL");
  int version = -1;
  if (fine) {
    Statement check(db_, "PRAGMA quick_check");
    fine = check.Step() == SQLITE_ROW && check.Text(0) == "ok";
  }
  if (fine) {
    Statement read(db_, "PRAGMA user_version");
    fine = read.Step() == SQLITE_ROW;
    version = fine ? static_cast<int>(read.Int(0)) : -1;
  }
  if (fine && version == 0) fine = Transaction("cannot be set up", [this] { return Exec(kSchema); });
  if (fine && version == 1) fine = Transaction("cannot be brought up to date", [this] { return Exec(kFromVersion1); });
  if (fine && version > kSchemaVersion) {
    error_ = "The unit ledger " + path + " was made by a newer version of this program. Nothing has been changed "
             "on the router. Use that version, or name another ledger with --ledger.";
    Close();
    return false;
  }
  if (!fine) {
    if (error_.empty()) Fail("cannot be read as a ledger");
    const std::string error = error_;
    Close();
    error_ = error;
    return false;
  }
  return true;
}

bool Ledger::Create(const std::string& path) {
  // Made whole under a name of this process's own and then put in place:
  // SQLite would leave an empty file at `path` until its first commit, which
  // another run starting at the same moment (a bench's children) must refuse
  // as a ledger cut to nothing.
  static std::atomic<unsigned> made_here{0};
  const std::string fresh =
      path + "." + std::to_string(platform::CurrentProcessId()) + "-" + std::to_string(++made_here) + ".new";
  platform::RemoveFile(fresh);
  const bool made = sqlite3_open_v2(platform::PathInUtf8(fresh).c_str(), &db_,
                                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
                    Exec("PRAGMA synchronous=FULL") && Exec("BEGIN IMMEDIATE") && Exec(kSchema) && Exec("COMMIT");
  std::string why = made ? "" : db_ != nullptr ? sqlite3_errmsg(db_) : "it cannot be opened";
  sqlite3_close(db_);
  db_ = nullptr;
  bool existed = false;
  if (made && platform::RenameIfAbsent(fresh, path, &existed, &why)) return true;
  platform::RemoveFile(fresh);
  if (existed) return true;  // another run made it first
  error_ = "The unit ledger " + path + " cannot be made (" + why +
           "). Nothing has been changed on the router. Make sure its folder can be written (or name another "
           "ledger with --ledger), then start again.";
  path_.clear();
  return false;
}

bool Ledger::Transaction(const char* what, const std::function<bool()>& steps) {
  if (db_ == nullptr) {
    if (error_.empty()) Fail("is not open");
    return false;
  }
  if (!Exec("BEGIN IMMEDIATE")) return Fail(what);
  if (steps() && Exec("COMMIT")) return true;
  Fail(what);
  Exec("ROLLBACK");
  return false;
}

bool Ledger::OpenChanges(std::vector<LedgerChange>* out) {
  if (db_ == nullptr) return Fail("is not open");
  Statement q(db_,
              "SELECT mac, change_log, change_sha256, change_values, since, change_missed FROM units "
              "WHERE state = 'changed' ORDER BY since, mac");
  out->clear();
  int step;
  while ((step = q.Step()) == SQLITE_ROW) {
    LedgerChange change;
    change.mac = q.Text(0);
    change.dataLog = q.Text(1);
    change.sha256 = q.Text(2);
    change.hasValues = !q.IsNull(3) && ParseValuesJson(q.Text(3), &change.values);
    change.since = q.Text(4);
    change.dataLogMissed = q.Int(5) != 0;
    out->push_back(change);
  }
  return step == SQLITE_DONE || Fail("cannot be read");
}

bool Ledger::HasCompletedRun(const std::string& mac, bool* completed, std::string* when) {
  if (db_ == nullptr) return Fail("is not open");
  Statement q(db_, "SELECT count(*), max(ended) FROM runs WHERE unit = ? AND outcome = 'completed'", {mac});
  if (q.Step() != SQLITE_ROW) return Fail("cannot be read");
  *completed = q.Int(0) > 0;
  if (when != nullptr) *when = q.Text(1);
  return true;
}

bool Ledger::KnownSha256(const std::string& path, std::string* sha256, std::string* when) {
  if (db_ == nullptr) return Fail("is not open");
  Statement q(db_,
              "SELECT data_log_sha256, started FROM runs WHERE data_log = ? AND data_log_sha256 <> '' "
              "ORDER BY id DESC LIMIT 1",
              {path});
  const int step = q.Step();
  *sha256 = step == SQLITE_ROW ? q.Text(0) : "";
  *when = step == SQLITE_ROW ? q.Text(1) : "";
  return step == SQLITE_ROW || step == SQLITE_DONE || Fail("cannot be read");
}

bool Ledger::History(std::vector<LedgerUnit>* out, bool everyRun) {
  if (db_ == nullptr) return Fail("is not open");
  // Each unit with its newest run, or with each of its runs.
  const std::string runs = everyRun ? "r.unit = u.mac" : "r.id = (SELECT max(id) FROM runs WHERE unit = u.mac)";
  const std::string sql = R"sql(
    SELECT u.mac, u.model, u.state,
           COALESCE((SELECT group_concat(n.mac, ',') FROM names n WHERE n.unit = u.mac), ''),
           COALESCE(r.started, u.since), r.ended, r.mode, r.link, r.bootloader_before, r.bootloader_after,
           r.outcome, COALESCE(r.exit_status, -1), r.process_log, COALESCE(NULLIF(r.data_log, ''), u.change_log),
           COALESCE(NULLIF(r.data_log_sha256, ''), u.change_sha256), r.slot, r.session
    FROM units u LEFT JOIN runs r ON )sql" + runs + R"sql(
    ORDER BY COALESCE(r.started, u.since) DESC, r.id DESC, u.mac)sql";
  Statement q(db_, sql.c_str());
  out->clear();
  int step;
  while ((step = q.Step()) == SQLITE_ROW) {
    LedgerUnit unit;
    unit.mac = q.Text(0);
    unit.model = q.Text(1);
    unit.state = q.Text(2);
    unit.otherMacs = q.Text(3);
    LedgerRun& r = unit.last;
    r.unit = unit.mac;
    r.started = q.Text(4);
    r.ended = q.Text(5);
    r.mode = q.Text(6);
    r.link = q.Text(7);
    r.bootloaderBefore = q.Text(8);
    r.bootloaderAfter = q.Text(9);
    r.outcome = q.Text(10);
    r.exitStatus = static_cast<int>(q.Int(11));
    r.processLog = q.Text(12);
    r.dataLog = q.Text(13);
    r.dataLogSha256 = q.Text(14);
    r.slot = q.Text(15);
    r.session = q.Text(16);
    out->push_back(unit);
  }
  return step == SQLITE_DONE || Fail("cannot be read");
}

bool Ledger::InsertRun(LedgerRun& run) {
  if (run.id != 0) return true;
  Statement unit(db_, "INSERT OR IGNORE INTO units(mac, model, state, since) VALUES(?, ?, ?, ?)",
                 {run.unit, run.model, kStateSeen, run.started});
  Statement insert(db_,
                   "INSERT INTO runs(unit, started, mode, link, process_log, slot, session) VALUES(?, ?, ?, ?, ?, ?, ?)",
                   {run.unit, run.started, run.mode, run.link, run.processLog, run.slot, run.session});
  if (!unit.Run() || !insert.Run()) return false;
  run.id = sqlite3_last_insert_rowid(db_);
  return true;
}

bool Ledger::RecordBackup(LedgerRun& run, const UnitValues& values, const std::string& when) {
  const int64_t before = run.id;
  const bool written = Transaction("cannot be written", [&] {
    if (!InsertRun(run)) return false;
    Statement keep(db_, "UPDATE runs SET unit_values = ?, data_log = ?, data_log_sha256 = ? WHERE id = ?",
                   {ValuesJson(values), run.dataLog, run.dataLogSha256});
    keep.Bind(4, run.id);
    Statement unit(db_, "UPDATE units SET state = ?, since = ?, model = ? WHERE mac = ? AND state <> 'changed'",
                   {kStateBackedUp, when, values.values.ModelName, run.unit});
    return keep.Run() && unit.Run();
  });
  if (!written) run.id = before;
  return written;
}

bool Ledger::RecordChange(LedgerRun& run, const LedgerChange& change) {
  const int64_t before = run.id;
  bool opened = false;
  const bool written = Transaction("cannot be written", [&] {
    if (!InsertRun(run)) return false;
    Statement unit(db_, "INSERT OR IGNORE INTO units(mac, state, since) VALUES(?, ?, ?)",
                   {change.mac, kStateSeen, change.since});
    Statement open(db_,
                   "UPDATE units SET state = 'changed', since = ?, change_log = ?, change_sha256 = ?, "
                   "change_values = ?, change_missed = 0 WHERE mac = ? AND state <> 'changed'",
                   {change.since, change.dataLog, change.sha256, change.hasValues ? ValuesJson(change.values) : "",
                    change.mac});
    if (!change.hasValues) open.BindNull(4);
    if (!unit.Run() || !open.Run()) return false;
    opened = sqlite3_changes(db_) == 1;
    return opened;
  });
  if (!written) run.id = before;
  if (!written && !opened && db_ != nullptr) {
    error_ = "The unit ledger " + path_ + " already holds an open change of the unit " + change.mac +
             ". Nothing has been changed on the router.";
  }
  return written;
}

bool Ledger::NoteDataLogMissed(const std::string& mac) {
  return Transaction("cannot be written", [&] {
    return Statement(db_, "UPDATE units SET change_missed = 1 WHERE mac = ? AND state = 'changed'", {mac}).Run();
  });
}

bool Ledger::FinishRun(LedgerRun& run, const std::string& closing, const char* state) {
  return Transaction("cannot be written", [&] {
    if (!InsertRun(run)) return false;
    Statement update(db_,
                     "UPDATE runs SET ended = ?, outcome = ?, bootloader_before = ?, bootloader_after = ?, "
                     "data_log = ?, data_log_sha256 = ?, exit_status = ? WHERE id = ?",
                     {run.ended, run.outcome, run.bootloaderBefore, run.bootloaderAfter, run.dataLog,
                      run.dataLogSha256});
    update.Bind(7, run.exitStatus);
    update.Bind(8, run.id);
    Statement model(db_, "UPDATE units SET model = ? WHERE mac = ? AND model = ''", {run.model, run.unit});
    if (!update.Run() || !model.Run()) return false;
    if (closing.empty() || state == nullptr) return true;
    Statement close(db_,
                    "UPDATE units SET state = ?, since = ?, change_log = NULL, change_sha256 = NULL, "
                    "change_values = NULL, change_missed = 0 WHERE mac = ? AND state = 'changed'",
                    {state, run.ended, closing});
    if (!close.Run()) return false;
    if (closing == run.unit) return true;
    return Statement(db_, "INSERT OR REPLACE INTO names(mac, unit) VALUES(?, ?)", {run.unit, closing}).Run();
  });
}

bool Ledger::TakeInMark(const std::string& markPath, const std::string& mac, const std::string& dataLog,
                        const std::string& since, bool* taken) {
  *taken = false;
  return Transaction("cannot be written", [&] {
    Statement seen(db_, "INSERT OR IGNORE INTO marks(mac, data_log, since, path) VALUES(?, ?, ?, ?)",
                   {mac, dataLog, since, markPath});
    if (!seen.Run()) return false;
    if (sqlite3_changes(db_) == 0) return true;
    Statement unit(db_, "INSERT OR IGNORE INTO units(mac, state, since) VALUES(?, ?, ?)", {mac, kStateSeen, since});
    Statement open(db_,
                   "UPDATE units SET state = 'changed', since = ?, change_log = ?, change_sha256 = '', "
                   "change_values = NULL, change_missed = 0 WHERE mac = ? AND state <> 'changed'",
                   {since, dataLog, mac});
    if (!unit.Run() || !open.Run()) return false;
    *taken = sqlite3_changes(db_) == 1;
    return true;
  });
}

}  // namespace ramtune::upgrade
