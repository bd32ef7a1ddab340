// The unit ledger: one SQLite file per PC that records every unit a run of
// this program has touched, whatever folder it was started from. A unit's own
// values exist in two places once its run has begun: the unit, until the
// flash, and its Data log. The ledger keeps a third copy, and knows which
// units are changed and not finished, so that no later run backs up what an
// interrupted run left on a unit, or writes one unit's values into another.
//
// Each change is one transaction, on the disk before the call returns (the
// rollback journal, synchronous=FULL; no WAL, which fails on network paths).
// The ledger is never deleted or rewritten when it cannot be read: every
// call then fails and Error() names the file and what to do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "upgrade/data_log.h"

struct sqlite3;

namespace ramtune::upgrade {

// Where a unit stands in the ledger.
inline const char* const kStateSeen = "seen";  // run on, never backed up (up to date, checked)
inline const char* const kStateBackedUp = "backed up";
inline const char* const kStateChanged = "changed";  // an open change: changed and not finished
inline const char* const kStateCompleted = "completed";
inline const char* const kStateRestored = "restored";

// The values a backup read from a unit (the 29 items, the model name) and its operating mode.
struct UnitValues {
  DataLogValues values;
  std::string operatingMode;
};

// A unit that a run changed and no run has finished since.
struct LedgerChange {
  std::string mac;      // the unit's own MAC, twelve upper-case hex digits
  std::string dataLog;  // the Data log that restores it
  std::string sha256;   // of that Data log as written; empty for a mark taken in from a folder
  bool hasValues = false;
  UnitValues values;    // the ledger's copy of the Data log's values
  std::string since;    // when the unit was changed, "%Y%m%d%H%M%S"
  // A start found the Data log out of reach and stopped: the next one uses
  // the ledger's copy.
  bool dataLogMissed = false;
};

// One run of one unit. It goes to the ledger with the run's first change
// of state, or with its ending.
struct LedgerRun {
  int64_t id = 0;     // 0 until it is in the ledger
  std::string unit;   // the MAC it answered under
  std::string model;  // the model it answered with
  std::string started;
  std::string ended;
  std::string mode;  // "upgrade", "restore", "backup", "check"
  std::string link;
  std::string bootloaderBefore;
  std::string bootloaderAfter;
  std::string outcome;  // the outcome's words; empty while the run goes on
  int exitStatus = -1;
  std::string processLog;
  std::string dataLog;  // empty when the run wrote none
  std::string dataLogSha256;
  std::string slot;     // a bench's name for the link ("Port 3"); empty outside a bench
  std::string session;  // when the bench the run belonged to started, "%Y%m%d%H%M%S"; empty outside a bench
};

// A unit as the history lists it: its state and its last run.
struct LedgerUnit {
  std::string mac;
  std::string model;
  std::string state;
  std::string otherMacs;  // every other MAC it answered under, comma separated
  LedgerRun last;
};

class Ledger {
 public:
  Ledger() = default;
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // Opens the ledger at `path` (made, with its tables, when the file is
  // missing) and keeps it open; opening the same path again does nothing.
  bool Open(const std::string& path);
  void Close();
  const std::string& Path() const { return path_; }
  // Why the last call failed, for a person: the file, what is wrong, what to do.
  const std::string& Error() const { return error_; }

  // ---- questions ------------------------------------------------------------------
  bool OpenChanges(std::vector<LedgerChange>* out);
  // Whether a run of `mac` ever completed; `when`: the last such run's end.
  bool HasCompletedRun(const std::string& mac, bool* completed, std::string* when = nullptr);
  // The SHA-256 the ledger recorded for the Data log at `path` (its last
  // record); empty when it knows none.
  bool KnownSha256(const std::string& path, std::string* sha256, std::string* when);
  // Every unit with its last run, the one with the newest run first; with
  // `everyRun`, one entry per run of each unit, the newest first.
  bool History(std::vector<LedgerUnit>* out, bool everyRun = false);

  // ---- changes, each one transaction ------------------------------------------
  // The backup of `run.unit` is on the disk: its values are kept with the run.
  bool RecordBackup(LedgerRun& run, const UnitValues& values, const std::string& when);
  // The unit is about to be changed: its open change, which must not exist yet.
  bool RecordChange(LedgerRun& run, const LedgerChange& change);
  // A start found the Data log of `mac`'s open change out of reach.
  bool NoteDataLogMissed(const std::string& mac);
  // The run's ending, its bootloaders and its Data log. A run that
  // completed closes the open change of `closing` (empty: none) as `state`
  // (completed or restored); `closing` answered as `run.unit` too.
  bool FinishRun(LedgerRun& run, const std::string& closing = "", const char* state = nullptr);
  // An unfinished-run mark found in a working folder. `taken`: it was new
  // to the ledger and is now the unit's open change (a mark is taken in
  // once, even after its change is closed).
  bool TakeInMark(const std::string& markPath, const std::string& mac, const std::string& dataLog,
                  const std::string& since, bool* taken);

 private:
  bool Exec(const char* sql);
  // Puts a new, empty ledger at `path`; true also when another run did so first.
  bool Create(const std::string& path);
  // Runs `steps` in one transaction; false (rolled back) when one fails.
  bool Transaction(const char* what, const std::function<bool()>& steps);
  // Fails with the database's message about `what`.
  bool Fail(const std::string& what);
  // Puts `run` in the ledger when it is not there yet (inside a transaction).
  bool InsertRun(LedgerRun& run);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string error_;
};

// The file name of the ledger in the PC's state folder.
inline const char* const kLedgerFileName = "ledger.sqlite3";

}  // namespace ramtune::upgrade
