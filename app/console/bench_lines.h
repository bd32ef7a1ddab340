// The bench's block at the bottom of a terminal: one line per unit, redrawn
// in place while the units' messages scroll above it. Plain text handling:
// the lines are a function of the records, the time and the width.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/bench/bench.h"

namespace ramtune::console {

// One line per unit, in the order of `units`, each fitted to `width`:
//   "eth1  AABBCCDDEE01  LM-7210A  rebooting  [#######---] 14/20  1:52  35 s left"
//   "eth2  AABBCCDDEE02  LM-7210B  verifying  [##########] 20/20  2:41  PASS (0)"
// Link, MAC, model and phase are aligned in columns. The last field is the
// unit's ending once it has ended (coloured when `colour`), the countdown of
// a fixed wait while one runs. When a line does not fit, the bar is left out
// first, then the line is cut.
std::vector<std::string> UnitLines(const std::vector<bench::UnitRecord>& units, int64_t nowMs, int width,
                                   bool colour);

// A station's block: a header with the session's counts, then one line per
// slot, its name and state in front:
//   "Station: 3 completed, 1 failed, 0 unfinished, 2 in progress, 14.2 units/h"
//   "Port 1  running   AABBCCDDEE01  LM-7210A  flashing  [###-------] 7/20  1:52"
//   "Port 2  waiting   -"
//   "Port 4  done      AABBCCDDEE04  LM-7210A  done at 2026-12-09 10:32"
// A running or finished slot's unit is drawn as UnitLines draws it; a
// finished one's note (what to do) follows when it fits.
std::vector<std::string> StationLines(const std::vector<bench::SlotRecord>& slots,
                                      const bench::SessionCounts& counts, int64_t nowMs, int width, bool colour);

}  // namespace ramtune::console
