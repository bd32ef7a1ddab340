// One unit's run as every bench course drives it (the bench that runs its
// units once, the station that keeps going): started as a child with the
// bench's answers, read event by event, and the two steps of a stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/bench/child_pipes.h"
#include "app/bench/run.h"

namespace ramtune::bench {

// "Port 3 AABBCCDDEE01: ", in front of every line about a unit.
std::string Prefix(const UnitRecord& record);

// A stop asked of the bench: Ctrl+C presses, and SIGTERM or SIGHUP as one.
int Stops(BenchSystem& sys);

// Starts the run of `record`'s unit on its link; when it cannot be started
// that is said and the record ends StartFailed.
void StartUnitRun(const Setup& setup, View& view, BenchSystem& sys, UnitRecord* record, Child* child);

// Reads the run: its lines to the view, its events into the record. True
// once it has ended (the record then ended too).
bool FollowUnitRun(View& view, BenchSystem& sys, UnitRecord* record, Child* child);

void EndRecord(BenchSystem& sys, UnitRecord* record, UnitLife how);

// The state of each record's unit in the unit ledger at `ledgerPath`; a
// ledger that is not there is not made, one that cannot be read leaves the
// states unknown.
void TakeLedgerStates(const std::string& ledgerPath, std::vector<UnitRecord*> records);

// The stops asked of a bench, one step each: Ctrl+C asks every run to stop
// (a changed unit finishes its write-back), Ctrl+C again ends them all, and
// what outlives that is killed. SIGTERM or SIGHUP is the first step only.
class StopSteps {
 public:
  // `signal` sends one signal to every run still going.
  void Take(View& view, BenchSystem& sys, const std::function<void(platform::ChildSignal)>& signal);
  bool Asked() const { return stage_ != Stage::None; }

 private:
  enum class Stage {
    None,    // no stop asked
    Asked,   // the runs were asked to stop: the units not changed end, a changed one finishes
    Ending,  // every run still going was ended; what outlives that is killed at killAt_
    Killed,  // that was killed too
  };
  Stage stage_ = Stage::None;
  int64_t killAt_ = 0;
};

}  // namespace ramtune::bench
