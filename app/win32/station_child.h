// The station of Ramtune.exe: its window (/all), and the program started by
// it for one adapter, a bench child's course without a window
// (see bench::ChildFrontEnd).
#pragma once

#include "app/win32/options.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::win32 {

// What the command line asks of a run (the ledger, /restore, /backup,
// /verify), for the program's window and a station's run alike.
void RequestRun(const Options& options, CUpgradeToolDlg& dlg);

// Runs the search, the watch or the unit's run that the station asked for,
// and ends the process with its status.
[[noreturn]] void RunStationChild(const Options& options);

// /all: the station window, after the start-up checks and the warning.
[[noreturn]] void RunStationWindow(const Options& options);

}  // namespace ramtune::win32
