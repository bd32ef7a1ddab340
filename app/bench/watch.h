// A station's watch on one link, in a process of its own: the program's
// search made again every two seconds for as long as the station wants it,
// without a process started per round.
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

// "up" when `device` is switched on and has a carrier, else "down" (also
// when the system no longer has it: a USB adapter pulled out).
std::string LinkStateOf(const std::string& device);

}  // namespace ramtune::bench
