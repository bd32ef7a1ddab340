// How a session ended, as the session hands it to its front end: the
// outcome (the one table in upgrade/outcome.h says what it means) and
// whether the unit is left changed. Only a front end ends the process.
#pragma once

#include <string>

#include "upgrade/outcome.h"

namespace ramtune {

struct Ending {
  upgrade::RunOutcome outcome = upgrade::RunOutcome::ExitPressed;
  // A run of the session changed the unit and no run has completed since.
  bool unitChanged = false;
  // The program ends with this ending now (up to date, the choice closed, a
  // start-up check, ...); otherwise the session waits for Retry or Exit.
  bool final = false;
  // What the message said, for a front end that repeats it (a refused Data log).
  std::string detail;

  // The console's exit status: 6 for every ending but a completion while
  // the unit is changed.
  int ExitStatus() const { return upgrade::SessionExitStatus(outcome, unitChanged); }
  // The code Ramtune.exe ends with.
  int ProgramCode() const { return upgrade::Row(outcome).programCode; }
};

}  // namespace ramtune
