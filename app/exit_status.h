// Every exit status of the console program, with what it means and how it
// weighs in a bench's own exit status. --help, the bench and the console's
// last line read this one table.
#pragma once

#include <string>

#include "app/ending.h"

namespace ramtune {

enum ExitStatus : int {
  kExitCompleted = 0,          // the run completed: PASS picture, progress 20
  kExitRunFailed = 2,          // a run started and ended any other way
  kExitNoRouter = 3,           // the search series ended without a router
  kExitDataLogNotWritten = 4,  // a run stopped before the flash: its Data log could not be written
  kExitDataLogRefused = 5,     // the Data log given to --restore was refused; nothing was sent
  kExitUnitChanged = 6,        // the unit was changed and is not restored (or an unfinished run not resumed)
  kExitOtherUnit = 7,          // a run of a bench met another unit than the planned one
  kExitCheckDiffers = 8,       // a check found differences
  kExitProgramBase = 10,       // 10 + the program's own exit code (10: code 0, 11: code 1)
  kExitUsage = 64,             // the command line makes no sense
  kExitNoInput = 66,           // a file named on the command line cannot be opened
};

struct ExitStatusEntry {
  int status;
  const char* meaning;  // the console's last line: "ramtune: exit status N: MEANING"
  const char* help;     // the --help text, lines of at most 72 characters
  // How serious the status is in a bench: the bench's status is the unit
  // status with the highest weight; 0: not weighed (a bench counts such a
  // unit as failed, 2), -1: done (completed, or up to date).
  int benchWeight;
};

extern const ExitStatusEntry kExitStatuses[];
extern const int kExitStatusCount;

// The entry of `status`; nullptr for a status the table does not hold.
const ExitStatusEntry* FindExitStatus(int status);
// The meaning of `status`, "the program ended" for one the table does not hold.
const char* ExitMeaning(int status);
// The bench weight of `status` (0 for one the table does not hold).
int BenchWeight(int status);
// The statuses with their help texts, for --help.
std::string ExitStatusHelp();

// The status for the way the session ended.
int ExitStatusFor(const Ending& ending);
// The user's Exit: the status of the last run or search series when there
// was one, Exit's own code (1) otherwise.
int ExitStatusAfterExit(const Ending& last);
// The status the process ends with. `unitChanged`: a run of the session
// changed the unit and no run has completed since; then every ending but a
// completion is 6, whatever ended the session (a Retry whose search found
// nothing, a router choice closed, Exit, a stop, a failed start-up step).
int SessionExitStatus(int status, bool unitChanged);

}  // namespace ramtune
