// What a run tells whoever follows it (a front end's view, the channel of a
// bench's run, the session), as it happens: everything a bench needs of a
// run comes this way. Nobody reads the run's fields.
#pragma once

#include <string>

#include "core/seams.h"
#include "link/target.h"
#include "upgrade/recovery_hint.h"
#include "upgrade/run_result.h"

namespace ramtune::upgrade {

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A run begins (its logs are not named yet).
  virtual void Started() {}
  // From now on the run addresses its requests to `unit` (cleared at the
  // start of the identification, settled by its choice).
  virtual void UnitAddressed(const link::Target& /*unit*/) {}
  // The run's logs have their names (the unit is identified).
  virtual void LogsNamed(const std::string& /*processLog*/, const std::string& /*dataLog*/) {}
  // The run is about to change the unit (and again when what restores it
  // grows: the log of its own values after a Yes to another unit's values).
  virtual void UnitChanged(const ChangedUnit& /*unit*/) {}
  // The phase that starts now, and the fixed wait that starts with it
  // (0: none); the searches outside a run tell theirs too.
  virtual void Phase(RunPhase /*phase*/, int /*countdownMs*/) {}
  // What the display shows: the progress position, the status picture and
  // each line added to the log list.
  virtual void Progress(int /*position*/) {}
  virtual void Picture(int /*resourceId*/) {}
  virtual void LogLine(const std::string& /*line*/) {}
  // The run has ended and shown its ending.
  virtual void Ended(const RunResult& /*result*/) {}
};

}  // namespace ramtune::upgrade
