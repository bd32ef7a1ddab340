// What the program says after a failure once a unit has been changed: where
// the unit's values are kept and the command that writes them back.
#pragma once

#include <string>
#include <vector>

#include "core/settings.h"

namespace ramtune::upgrade {

// A unit that a run of this session changed and that no run has completed
// since. The main dialog keeps it across runs: while it is set, Retry writes
// the unit's values back from `dataLog` instead of starting a new upgrade
// (which would find the new bootloader and report the unit as up to date).
struct ChangedUnit {
  bool changed = false;
  std::string dataLog;      // the Data log that restores the unit
  std::string identityLog;  // after a Yes that wrote another unit's values: the only copy of its own
  std::vector<std::string> hint;  // the lines the last ending showed
};

// `text` quoted for the shell a pasted command goes to: POSIX single quotes
// (a quote inside becomes '\''), or the command prompt's double quotes.
std::string QuoteForShell(const std::string& text, bool commandPrompt);

// The command that restores `dataLog` when pasted: into the run's folder
// (the tool folder and the logs are found from it), then the program by its
// full path, the Data log, and `interfaceArg` when it is not empty.
std::string RestoreCommandLine(const Settings& settings, const std::string& dataLog,
                               const std::string& interfaceArg);

// The "[System]" lines of the hint for `unit`.
std::vector<std::string> RecoveryHintLines(const Settings& settings, const ChangedUnit& unit,
                                           const std::string& interfaceArg);

}  // namespace ramtune::upgrade
