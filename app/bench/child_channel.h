// A search or a run started by a bench: what it tells the bench on the
// channel the bench gave it, and how it takes the bench's stop request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/bench/bench.h"
#include "upgrade/run_observer.h"

namespace ramtune::bench {

// The child's end of its bench: event lines out, the stop request in.
class BenchLink {
 public:
  virtual ~BenchLink() = default;
  // One event line; a bench that has gone is not told, and the run goes on
  // as it would alone.
  virtual void Send(const std::string& line) = 0;
  virtual bool StopRequested() = 0;
};

// The link the platform layer opens from the channel's name that the bench
// put on the command line.
class ParentChannel : public BenchLink {
 public:
  // False, with the reason, when `channel` names no channel of this process.
  bool Open(const std::string& channel, std::string* error);
  void Send(const std::string& line) override;
  bool StopRequested() override;

 private:
  intptr_t pipe_ = -1;
};

class BenchChannel : public upgrade::RunObserver {
 public:
  explicit BenchChannel(BenchLink& link) : link_(link) {}

  void Send(EventKind kind, std::vector<std::string> fields = {});
  // The run tells its phase, progress, picture, log names, its change and
  // its ending as they happen.
  void Phase(RunPhase phase, int countdownMs) override;
  void Progress(int position) override;
  void Picture(int resourceId) override;
  void LogsNamed(const std::string& processLog, const std::string& dataLog) override;
  void UnitChanged(const upgrade::ChangedUnit& unit) override;
  void Ended(const upgrade::RunResult& result) override;
  // Called from the event pump: the stop decision for a stop request, true
  // when the run must end now (nothing changed on the unit yet). A changed
  // unit's run goes on to finish its write-back, and says so once.
  bool Poll();
  // The last events before the process ends: the versions, and the ended
  // event with the status the process ends with and the run's outcome (none
  // when no run ended). The bench takes the status from here.
  void Finish(int status);

 private:
  BenchLink& link_;
  bool changed_ = false;
  bool deferredSent_ = false;
  bool runEnded_ = false;
  upgrade::RunResult result_;
};

}  // namespace ramtune::bench
