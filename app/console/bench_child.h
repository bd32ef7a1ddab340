// A run started by a bench (`ramtune --all`): what it reports to the bench
// on its event descriptor, and how it takes the bench's stop request.
#pragma once

#include <cstdint>
#include <string>

#include "app/bench/bench.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::console {

class BenchChannel {
 public:
  explicit BenchChannel(int fd) : fd_(fd) {}

  void Send(bench::EventKind kind, std::vector<std::string> fields = {});
  // Called from the event pump: reports the unit's change and its log names
  // as soon as they happen. Returns the stop decision for a stop request:
  // true when the run must end now (nothing changed on the unit yet).
  bool Poll(const CUpgradeToolDlg& dlg);
  // The run's last events before the process ends.
  void Finish(const CUpgradeToolDlg& dlg, int status);

 private:
  int fd_;
  bool changedSent_ = false;
  bool deferredSent_ = false;
  std::string processLog_;
  std::string dataLog_;
};

}  // namespace ramtune::console
