#include "app/console/run_guard.h"

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

void ChangedRunGuard::Ended(const upgrade::RunResult& /*result*/) {
  if (!engaged_) return;
  engaged_ = false;
  platform::ReleaseInterrupts();
}

InterruptSteps::Step ChangedRunGuard::Poll() {
  if (!engaged_) return InterruptSteps::Step::None;
  return steps_.Next(platform::InterruptCount(), platform::TerminationRequested());
}

}  // namespace ramtune::console
