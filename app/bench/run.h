// The bench's course: the search on every link, the plan, one run per unit
// (a child process each, all at once), Ctrl+C, the summary and the report.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/bench/bench.h"
#include "platform/platform.h"

namespace ramtune::bench {

// What the technician sees; the console front end draws it.
class View {
 public:
  virtual ~View() = default;
  // A line of the bench itself.
  virtual void Line(const std::string& text) = 0;
  // A line a unit's run printed.
  virtual void UnitMessage(const UnitRecord& unit, const std::string& line) = 0;
  // The units' state changed or time passed (a terminal redraws their lines).
  virtual void Units(const std::vector<UnitRecord>& units, int64_t nowMs) = 0;
  // One Yes/No question; false for No or nobody to ask.
  virtual bool Confirm(const std::string& question) = 0;
  // A station's slots changed or time passed (a terminal redraws their lines).
  virtual void Slots(const std::vector<SlotRecord>& /*slots*/, const SessionCounts& /*counts*/, int64_t /*nowMs*/) {}
  // A unit's run on a station ended (a terminal rings its bell).
  virtual void UnitEnded(const UnitRecord& /*unit*/) {}
};

struct Setup {
  std::string program;             // this program, started for the searches and the runs
  std::vector<std::string> links;  // the links to search, by name
  bool confirm = false;            // list what was found and ask before any run
  // The bench's answers, given to every run.
  bool acceptWarning = false;      // the warning accepted
  int yesNo = -1;                  // Yes/No questions: 1 Yes, 0 No, -1 each run ends rather than ask
  std::string reportPath;
  BenchMode mode = BenchMode::Upgrade;
  std::vector<std::string> dataLogs;  // Check: the files of the working folder
  std::string ledgerPath;  // the unit ledger every run uses; empty: each run finds its own
  // The links' names on the bench ("Port 3"), by link; a link without one
  // is named after itself.
  std::map<std::string, std::string> slotNames;
  std::string SlotOf(const std::string& link) const {
    const auto named = slotNames.find(link);
    return named == slotNames.end() ? link : named->second;
  }
  // When the bench began ("%Y%m%d%H%M%S"), kept with each of its runs in the ledger.
  std::string session;
};

// A run a person asked for on a station's slot whose unit has ended its run
// and is still there.
struct SlotRequest {
  std::string link;
  std::string mac;  // the unit it is meant for: nothing runs when another is there
  bool restore = false;  // a restore of dataLog into the unit; otherwise a check against it
  std::string dataLog;
};

// What the bench's course asks of the system: its children, their pipes,
// Ctrl+C and the clock. The tests give it scripted children in virtual time.
class BenchSystem {
 public:
  virtual ~BenchSystem() = default;
  virtual bool Start(const std::string& program, const platform::ChildArguments& args,
                     platform::ChildProcess* child, std::string* error) {
    return platform::StartChildInGroup(program, args, child, error);
  }
  // False for a child that was never started or was seen ended before.
  virtual bool Ended(platform::ChildProcess* child, int* status, int* abnormal) {
    return platform::ChildEnded(child, status, abnormal);
  }
  virtual bool ReadPipe(intptr_t* pipe, std::string* into) { return platform::ReadPipe(pipe, into); }
  virtual void ClosePipe(intptr_t* pipe) { platform::ClosePipe(pipe); }
  virtual void Signal(const platform::ChildProcess& child, platform::ChildSignal signal) {
    platform::SignalChild(child, signal);
  }
  virtual void WaitForPipes(const std::vector<intptr_t>& pipes, int timeoutMs) {
    platform::WaitForPipes(pipes, timeoutMs);
  }
  virtual int Interrupts() { return platform::InterruptCount(); }
  // SIGTERM or SIGHUP: a dropped session or a service manager's stop.
  virtual bool TerminationRequested() { return platform::TerminationRequested(); }
  virtual int64_t NowMs() { return platform::ProcessClockMs(); }
  // A station's window asks a run on a slot (a restore, a check); false
  // when nothing is asked.
  virtual bool TakeSlotRequest(SlotRequest* /*request*/) { return false; }
  virtual std::string TimeStamp() { return platform::LocalTimeStamp(); }
};

// Statuses of the bench that no unit gives.
constexpr int kBenchRefused = 10;  // the bench's question answered No

// Runs the bench; returns its exit status. The report is written at the end
// (also after Ctrl+C); a report that cannot be written is said, not fatal.
int RunBench(const Setup& setup, View& view, BenchSystem& system);

}  // namespace ramtune::bench
