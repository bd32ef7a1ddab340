#include "app/console/run_guard.h"

#include <signal.h>

#include "app/upgrade_tool_dlg.h"

namespace ramtune::console {
namespace {

volatile sig_atomic_t interrupts = 0;
volatile sig_atomic_t terminated = 0;

void OnInterrupt(int) { interrupts = interrupts + 1; }
void OnTermination(int) { terminated = 1; }

void Handle(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void ChangedRunGuard::Engage() {
  if (engaged_) return;
  engaged_ = true;
  steps_ = InterruptSteps{};
  interrupts = 0;
  terminated = 0;
  Handle(SIGINT, OnInterrupt);
  Handle(SIGTERM, OnTermination);
  Handle(SIGHUP, OnTermination);
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
  for (int s : {SIGINT, SIGTERM, SIGHUP}) Handle(s, SIG_DFL);
}

InterruptSteps::Step ChangedRunGuard::Poll() {
  if (!engaged_) return InterruptSteps::Step::None;
  return steps_.Next(interrupts, terminated != 0);
}

std::vector<std::string> ChangedRunGuard::HintLines() const { return dlg_.RecoveryHintNow(); }

}  // namespace ramtune::console
