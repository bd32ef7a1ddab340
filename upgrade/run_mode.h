// What a run does, as one value: upgrade a unit, restore one from a Data
// log (and where that restore came from), back a unit up or check it
// against a Data log; and, for a run of a bench, the unit it was planned for.
#pragma once

#include <string>

#include "upgrade/data_log.h"

namespace ramtune::upgrade {

enum class RunKind { Upgrade, Restore, Backup, Check };

// Where a restore came from.
enum class RestoreOrigin {
  CommandLine,       // --restore DATALOG, or the file asked for at start-up
  RetryAfterChange,  // Retry after a run that changed its unit and did not complete
  Resumed,           // an unfinished run taken up again
};

// The values of a Data log and where they were read.
struct RestoreSource {
  DataLogValues values;
  std::string path;
};

struct RunMode {
  RunKind kind = RunKind::Upgrade;
  RestoreOrigin origin = RestoreOrigin::CommandLine;  // Restore only
  RestoreSource source;                               // Restore and Check
  // Twelve upper-case hex digits: the only unit this run may work on (a run
  // of a bench). Empty: whichever unit the search finds.
  std::string plannedMac;
  // RetryAfterChange: the log that alone holds the unit's own values, after
  // an earlier restore wrote another unit's values into it (empty when none).
  std::string ownValuesLog;
  // A restore: the unit (twelve upper-case hex digits) the person named to
  // take the Data log's values (--into), in place of answering in person.
  std::string intoMac;

  bool IsRestore() const { return kind == RunKind::Restore; }
  // The unit was changed before this run began and is still not restored.
  bool UnitChangedBefore() const { return kind == RunKind::Restore && origin != RestoreOrigin::CommandLine; }

  // The same mode for the planned unit `macDigits` (empty: any unit).
  RunMode ForUnit(const std::string& macDigits) const {
    RunMode mode = *this;
    mode.plannedMac = macDigits;
    return mode;
  }

  static RunMode Upgrade() { return RunMode{}; }
  static RunMode Restore(const RestoreSource& source, RestoreOrigin origin) {
    RunMode mode;
    mode.kind = RunKind::Restore;
    mode.origin = origin;
    mode.source = source;
    return mode;
  }
  // A restore from the Data log at `path` (--restore), and a check against one.
  static RunMode RestoreFrom(const std::string& path) {
    return Restore(RestoreSource{{}, path}, RestoreOrigin::CommandLine);
  }
  static RunMode CheckAgainst(const std::string& path) { return Check(RestoreSource{{}, path}); }
  static RunMode Backup() {
    RunMode mode;
    mode.kind = RunKind::Backup;
    return mode;
  }
  static RunMode Check(const RestoreSource& source) {
    RunMode mode;
    mode.kind = RunKind::Check;
    mode.source = source;
    return mode;
  }
};

}  // namespace ramtune::upgrade
