// A bench's search on one link, in a process of its own: once (the bench's
// search) or again every two seconds for as long as a station wants it
// (its watch, without a process started per round).
#pragma once

#include <optional>
#include <string>

#include "app/bench/child_channel.h"
#include "app/upgrade_tool_dlg.h"

namespace ramtune::bench {

// Time between two discovery requests of a watch.
constexpr int kWatchRoundMs = 2000;

// Sends a discovery request on `device` every kWatchRoundMs and, after each
// round, one found event per router that answered and a round event with
// the link's state. It goes on until the station ends the process; it
// returns only when the program ends instead (the service socket could not
// be had).
Ending WatchLink(CUpgradeToolDlg& dlg, BenchChannel& channel, const std::string& device);

// A bench's search on `device`: the program's own search, once; every
// router that answered goes to the bench in a found event. Returns the
// session's ending (the link's listener is still running: the caller ends
// the process with it).
Ending ReportSearch(CUpgradeToolDlg& dlg, BenchChannel& channel, const std::string& device);

// "up" when `device` (a name, or an adapter's address) is switched on and
// has a carrier, else "down" (also when the system no longer has it: a USB
// adapter pulled out).
std::string LinkStateOf(const std::string& device);

}  // namespace ramtune::bench
