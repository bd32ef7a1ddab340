#include "app/console/run_guard.h"

#include "app/upgrade_tool_dlg.h"
#include "platform/platform.h"

namespace ramtune::console {

void ChangedRunGuard::Engage() {
  if (engaged_) return;
  engaged_ = true;
  steps_ = InterruptSteps{};
  platform::CatchInterrupts();
}

void ChangedRunGuard::UnitChanged(const upgrade::ChangedUnit& /*unit*/) {
  Engage();
}

// A restore after a change runs on a unit that is changed from its start.
void ChangedRunGuard::Phase(RunPhase /*phase*/) {
  if (engaged_ || !dlg_.UnitChangePending()) return;
  Engage();
}

void ChangedRunGuard::Ended(const upgrade::RunResult& /*result*/) {
  if (!engaged_) return;
  engaged_ = false;
  platform::ReleaseInterrupts();
}

InterruptSteps::Step ChangedRunGuard::Poll() {
  if (!engaged_) return InterruptSteps::Step::None;
  return steps_.Next(platform::InterruptCount(), platform::TerminationRequested());
}

std::vector<std::string> ChangedRunGuard::HintLines() const { return dlg_.RecoveryHintNow(); }

}  // namespace ramtune::console
