// How the last run or search series of the main dialog ended. The dialog
// keeps it; the console front end turns it into its exit status.
#pragma once

#include <string>

namespace ramtune {

struct Ending {
  enum Kind {
    None,          // nothing has ended yet
    Completed,     // a run completed: new bootloader, every value verified
    RunFailed,     // a run started and ended any other way, before it changed the router
    RunFailedUnitChanged,  // a run failed after it had changed the router: restore it from its Data log
    OtherUnit,     // a run of a bench met another unit than the planned one
    NoRouter,      // a search series ended without finding a router
    DataLogNotWritten,  // a run stopped before the flash: its Data log is not on the disk
    DataLogRefused,     // the Data log to restore from (or check against) was refused; `detail` says why
    BackedUp,      // a backup wrote the unit's values to a Data log; nothing was changed
    CheckSame,     // a check found the unit holding the Data log's values
    CheckDiffers,  // a check found differences
    ProgramEnded,  // the program ended itself with `code`
  };
  Kind kind = None;
  int code = 0;  // ProgramEnded only
  std::string detail;

  static Ending Program(int code) { return Ending{ProgramEnded, code, ""}; }
};

}  // namespace ramtune
