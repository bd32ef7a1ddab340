// A run started by a bench (`ramtune --all`): what it reports to the bench
// on its event descriptor, and how it takes the bench's stop request.
#pragma once

#include <cstdint>
#include <string>

#include "app/bench/bench.h"
#include "upgrade/run_observer.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::console {

class BenchChannel : public upgrade::RunObserver {
 public:
  explicit BenchChannel(intptr_t pipe) : pipe_(pipe) {}

  void Send(bench::EventKind kind, std::vector<std::string> fields = {});
  // The run tells its log names, its change and its ending as they happen.
  void LogsNamed(const std::string& processLog, const std::string& dataLog) override;
  void UnitChanged(const upgrade::ChangedUnit& unit) override;
  void Ended(const upgrade::RunResult& result) override;
  // Called from the event pump: the stop decision for a stop request, true
  // when the run must end now (nothing changed on the unit yet).
  bool Poll();
  // The run's last events before the process ends: its versions, and its
  // ended event with the status and the run's outcome (none when no run ended).
  void Finish(int status);

 private:
  intptr_t pipe_;
  bool changed_ = false;
  bool deferredSent_ = false;
  bool runEnded_ = false;
  upgrade::RunResult result_;
};

}  // namespace ramtune::console
