#include "app/console/bench_child.h"

#include "app/upgrade_tool_dlg.h"
#include "platform/platform.h"

namespace ramtune::console {

void BenchChannel::Send(bench::EventKind kind, std::vector<std::string> fields) {
  // A bench that has gone cannot be told; the run goes on as it would alone.
  platform::WriteAll(fd_, bench::EncodeEvent(bench::Event{kind, std::move(fields)}) + "\n");
}

bool BenchChannel::Poll(const CUpgradeToolDlg& dlg) {
  const bool changed = dlg.runState.UnitChanged;
  if (changed && !changedSent_) {
    changedSent_ = true;
    Send(bench::EventKind::Changed);
  }
  if (dlg.logs.ProcessLogPath != processLog_ || dlg.logs.DataLogPath != dataLog_) {
    processLog_ = dlg.logs.ProcessLogPath;
    dataLog_ = dlg.logs.DataLogPath;
    Send(bench::EventKind::Logs, {processLog_, dataLog_});
  }
  if (!platform::StopRequested()) return false;
  if (!changed) return true;
  if (!deferredSent_) {
    deferredSent_ = true;
    Send(bench::EventKind::Deferred);
  }
  return false;
}

void BenchChannel::Finish(const CUpgradeToolDlg& dlg, int status) {
  Poll(dlg);
  const upgrade::RunState& state = dlg.runState;
  const std::string after =
      !state.BootloaderAfter.empty() || state.UnitChanged ? state.BootloaderAfter : state.BootloaderBefore;
  Send(bench::EventKind::Versions, {state.BootloaderBefore, after});
  Send(bench::EventKind::Ended, {std::to_string(status)});
}

}  // namespace ramtune::console
