// The station window's contents, as a function of the station's slots, its
// session's counts and the time: the slots the PC's adapters give, one row
// per slot, the counts line, the state of Start and Stop and of each row's
// menu. The window only draws what this says; plain text handling.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/bench/bench.h"
#include "platform/platform.h"

namespace ramtune::bench {

// ---- whether it can run ---------------------------------------------------------------

// Windows XP cannot send a unicast through a chosen adapter, and every slot
// of a station is in the router's network: there a station runs only while
// a single adapter has a link. The reason, naming the adapters, when
// `version` is such a system and more than one of `adapters` has a link;
// empty when the station may run.
std::string StationRefusal(const platform::OsVersion& version, const std::vector<platform::NetInterface>& adapters);

// ---- the slots ----------------------------------------------------------------------------

// One adapter of the PC as a slot of the station. Every adapter is one, also
// without a link or an address (an empty port has neither).
struct StationSlot {
  std::string name;  // from [Slots], else the adapter's name
  std::string mac;   // the adapter's MAC, twelve upper-case hex digits: the slot's key
  std::string link;  // what a run is told to use: the adapter's address (its name while it has none)
  bool hasLink = false;
};

// The slots of `adapters` in the system's order. `names` maps an adapter's
// MAC (as config.ini's [Slots] gives it: "Port 1=00-11-22-33-44-55", any
// separators, any case) to the slot's name; the keys are taken as they come.
std::vector<StationSlot> StationSlots(const std::vector<platform::NetInterface>& adapters,
                                      const std::map<std::string, std::string>& names);

// ---- the rows --------------------------------------------------------------------------------

enum class RowTone { Plain, Pass, Fail, Unfinished };

struct BoardRow {
  std::string slot;
  std::string state;
  std::string mac;
  std::string model;
  std::string phase;
  std::string elapsed;
  std::string result;
  bool bar = false;  // a progress bar in its cell: the slot's unit has run or runs
  int percent = 0;   // its fill, 0 to 100
  RowTone tone = RowTone::Plain;
};

std::vector<BoardRow> BoardRows(const std::vector<SlotRecord>& slots, int64_t nowMs);

// "3 completed, 1 failed, 0 unfinished, 2 running, 14.2 units per hour"
std::string CountsLine(const SessionCounts& counts);

// ---- the controls ---------------------------------------------------------------------------

// Where the station stands, as Start and Stop move it.
enum class StationStage {
  Ready,     // the slots can be ticked; Start starts
  Running,   // units start as they are plugged in
  Stopping,  // Stop pressed once: nothing new starts, running units end as at a bench's first Ctrl+C
  Ending,    // Stop pressed again: every run ends now, a changed unit with its restore hint
  Ended,     // no unit runs any more
};

struct Controls {
  bool start = false;
  bool stop = false;
  const char* stopText = "Stop";
  bool slotsTickable = false;
};
Controls ControlsOf(StationStage stage);
// What Stop does: Running to Stopping, Stopping to Ending; otherwise nothing.
StationStage AfterStop(StationStage stage);

// A row's menu: which entries may be chosen now.
struct RowMenu {
  bool processLog = false;  // its unit's Process log exists
  bool dataLog = false;     // its unit's Data log exists
  bool restore = false;     // its unit is left changed and nothing runs on the slot
  bool check = false;       // its unit has a Data log and nothing runs on the slot
};
RowMenu MenuOf(const SlotRecord& slot);

}  // namespace ramtune::bench
