// How a run ended, as one value: what the session controller turns into the
// process ending, what the bench records and what the front ends report.
#pragma once

#include <string>
#include <vector>

#include "link/target.h"
#include "upgrade/outcome.h"

namespace ramtune::upgrade {

struct RunResult {
  RunOutcome outcome = RunOutcome::Failed;
  // The unit has been changed (by this run, or by an earlier one of the
  // session that no run has completed since) and is not restored.
  bool unitChanged = false;
  std::string bootloaderBefore;
  std::string bootloaderAfter;
  // The unit the run worked on (pinned once the run chose it).
  link::Target unit;
  std::string modelName;      // the model name the backup settled (or the Data log held)
  std::string operatingMode;  // "7" or empty, as the backup read it
  std::string processLog;
  std::string dataLog;
  // While the unit is changed: the Data log that restores it, the log that
  // alone holds its own values (after a restore wrote another unit's values
  // into it) and the hint lines the ending showed.
  std::string restoreLog;
  std::string ownValuesLog;
  std::vector<std::string> hint;
  // A check: the items (ItemName) in which the unit differs from the Data log.
  std::vector<std::string> differing;
};

}  // namespace ramtune::upgrade
