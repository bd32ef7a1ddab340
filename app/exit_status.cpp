#include "app/exit_status.h"

namespace ramtune {

const ExitStatusEntry kExitStatuses[] = {
    {kExitCompleted, "the run completed", "the run completed (PASS)", -1},
    {kExitRunFailed, "the run ended with a failure",
     "a run started and ended with a failure; nothing was changed on the\nrouter", 5},
    {kExitNoRouter, "no router was found", "the search series ended without finding a router", 1},
    {kExitDataLogNotWritten, "the Data log could not be written; nothing was changed on the router",
     "a run stopped before the flash: its Data log could not be written to\nthe disk, or would not restore the "
     "values read (nothing was changed on\nthe router)",
     2},
    {kExitDataLogRefused, "the Data log was refused; nothing was sent",
     "the Data log given to --restore or --verify was refused (the message\nnames the line and what is wrong); "
     "nothing was sent",
     0},
    {kExitUnitChanged, "the unit was changed; restore it from its Data log",
     "a run failed after it had changed the router: the unit was changed;\nrestore it from its Data log (the "
     "output names the command). Until a\nrun completes, every later ending of the session is 6 too",
     6},
    {kExitOtherUnit, "another unit than the planned one answered; nothing was done to it",
     "a run of a bench met another unit than the one planned on its link;\nnothing was read from or written to it",
     4},
    {kExitCheckDiffers, "the check found differences", "a check found differences between the unit and the Data log",
     3},
    {kExitProgramBase, "the program ended itself with code 0",
     "the program ended itself with code 0: warning refused, router choice\nclosed, or a start-up check failed "
     "(missing file, already running)",
     0},
    {kExitProgramBase + 1, "the program ended itself with code 1",
     "the program ended itself with code 1: Exit before any run or search\nseries ended, the router already has "
     "the latest bootloader, or the echo\nlibrary could not be loaded (after a run or a search series, Exit\ngives "
     "that ending's status)",
     0},
    {kExitUsage, "the command line makes no sense", "the command line makes no sense", 0},
    {kExitNoInput, "a file named on the command line cannot be opened",
     "the --script file (or Result.txt) cannot be opened; nothing was sent", 0},
};
const int kExitStatusCount = static_cast<int>(sizeof kExitStatuses / sizeof kExitStatuses[0]);

const ExitStatusEntry* FindExitStatus(int status) {
  for (const ExitStatusEntry& entry : kExitStatuses) {
    if (entry.status == status) return &entry;
  }
  return nullptr;
}

const char* ExitMeaning(int status) {
  const ExitStatusEntry* entry = FindExitStatus(status);
  return entry != nullptr ? entry->meaning : "the program ended";
}

int BenchWeight(int status) {
  const ExitStatusEntry* entry = FindExitStatus(status);
  return entry != nullptr ? entry->benchWeight : 0;
}

std::string ExitStatusHelp() {
  std::string text = "Exit status:\n";
  for (const ExitStatusEntry& entry : kExitStatuses) {
    std::string number = std::to_string(entry.status);
    std::string lines = std::string(4 - number.size(), ' ') + number + "  ";
    for (const char* c = entry.help; *c != '\0'; ++c) lines += *c == '\n' ? std::string("\n      ") : std::string(1, *c);
    text += lines + "\n";
  }
  return text;
}

int ExitStatusFor(const Ending& ending) {
  switch (ending.kind) {
    case Ending::Completed: return kExitCompleted;
    case Ending::RunFailed: return kExitRunFailed;
    case Ending::RunFailedUnitChanged: return kExitUnitChanged;
    case Ending::OtherUnit: return kExitOtherUnit;
    case Ending::NoRouter: return kExitNoRouter;
    case Ending::DataLogNotWritten: return kExitDataLogNotWritten;
    case Ending::DataLogRefused: return kExitDataLogRefused;
    case Ending::BackedUp: return kExitCompleted;
    case Ending::CheckSame: return kExitCompleted;
    case Ending::CheckDiffers: return kExitCheckDiffers;
    case Ending::ProgramEnded: return kExitProgramBase + ending.code;
    case Ending::None: break;
  }
  return kExitProgramBase + 1;  // as if Exit had been pressed
}

int ExitStatusAfterExit(const Ending& last) {
  return ExitStatusFor(last.kind == Ending::None ? Ending::Program(1) : last);
}

int SessionExitStatus(int status, bool unitChanged) {
  return unitChanged && status != kExitCompleted ? kExitUnitChanged : status;
}

}  // namespace ramtune
