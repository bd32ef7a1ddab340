// The console's event loop: the clock, the queue of window timers and typed
// lines, the commands typed at the main dialog and the process ending.
#include "app/console/front_end.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/bench/child_channel.h"
#include "app/console/run_guard.h"
#include "app/upgrade_tool_dlg.h"
#include "platform/platform.h"

namespace ramtune::console {

// ---- front end ------------------------------------------------------------------------

FrontEnd::FrontEnd(bool interactive, TerminalCaps caps)
    : interactive_(interactive),
      caps_(caps),
      screen_(stdout, caps.live, [] { return TerminalWidth(STDOUT_FILENO); }),
      uiThread_(std::this_thread::get_id()) {}

// ---- clock and event queue -----------------------------------------------------------------

int64_t FrontEnd::PerformanceCounter() { return platform::PerformanceCounter(); }
int64_t FrontEnd::PerformanceFrequency() { return platform::PerformanceFrequency(); }
int64_t FrontEnd::ProcessClockMs() { return platform::ProcessClockMs(); }
void FrontEnd::Sleep(int ms) { platform::SleepMs(ms); }
std::string FrontEnd::LocalTimeStamp() { return platform::LocalTimeStamp(); }

bool FrontEnd::DispatchOneMessage() {
  if (bench_ != nullptr && dlg_ != nullptr && bench_->Poll()) {
    Print("[System]-Stopped at the bench (Ctrl+C) before anything was changed on this unit.");
    Finish(dlg_->Stop(upgrade::RunOutcome::Failed));
  }
  if (guard_ != nullptr) PollGuard();
  // Typed lines come before timers, as input comes before WM_TIMER in a
  // window's queue.
  if (Asking()) {
    std::string line;
    input_.Wait(0);
    if (input_.Take(&line)) {
      screen_.LineTyped();
      choicesShown_ = false;
      HandleCommand(line);
      return true;
    }
  }
  int id = 0;
  // Window timers repeat until killed; the handlers kill theirs first.
  if (timers_.TakeDue(platform::ProcessClockMs(), &id)) {
    choicesShown_ = false;
    if (dlg_ != nullptr) {
      const std::optional<Ending> ending = dlg_->OnTimer(id);
      if (ending && ending->final) Finish(*ending);
    }
    return true;
  }
  Tick();
  return false;
}

void FrontEnd::PollGuard() {
  switch (guard_->Poll()) {
    case InterruptSteps::Step::None: return;
    case InterruptSteps::Step::Announce:
      if (dlg_ != nullptr) dlg_->LogLine(kStillWritingLine);
      return;
    case InterruptSteps::Step::End:
      break;
  }
  if (dlg_ != nullptr) Finish(dlg_->Interrupt(kSecondInterruptLine));
  Finish(Ending{upgrade::RunOutcome::Interrupted, true, true, ""});
}

void FrontEnd::WaitForMessage(int ms) {
  int waitMs = ms;
  const int toTimer = timers_.MsToNext(platform::ProcessClockMs());
  if (toTimer >= 0) waitMs = std::min(waitMs, toTimer);
  // The progress line's clock and the bench's stop request are looked at
  // between messages; wake up for them now and then.
  if (screen_.Live()) waitMs = std::min(waitMs, kTickMs);
  if (bench_ != nullptr || guard_ != nullptr) waitMs = std::min(waitMs, kStopLookMs);
  if (Asking()) {
    input_.Wait(waitMs);
  } else {
    platform::SleepMs(waitMs);
  }
}

int FrontEnd::RunEventLoop() {
  for (;;) {
    if (DispatchOneMessage()) continue;
    if (timers_.Empty()) {
      // Idle: the search series or the run has ended. The progress line
      // stays as it ended; the user types below it.
      // Nobody to ask: the session ends as Exit would end it now.
      if (!Asking() && dlg_ != nullptr) Finish(dlg_->OnCancel());
      Settle();
      ShowChoices();
    }
    const int waitMs = timers_.MsToNext(platform::ProcessClockMs());
    if (Asking()) {
      input_.Wait(waitMs);
    } else if (waitMs > 0) {
      platform::SleepMs(waitMs);
    }
  }
}

void FrontEnd::ShowChoices() {
  if (choicesShown_) return;
  choicesShown_ = true;
  const ShownState s = Shown();
  std::string choices;
  if (s.retryEnabled) choices += "[r] Retry  ";
  if (s.exitEnabled) choices += "[e] Exit  ";
  Print(choices + "[?] help");
}

void FrontEnd::HandleCommand(const std::string& line) {
  const ShownState s = Shown();
  switch (ParseCommand(line)) {
    case Command::None:
      ShowChoices();
      break;
    case Command::Retry:
      if (!s.retryEnabled) {
        Print("Retry is disabled now.");
        break;
      }
      if (dlg_ != nullptr) dlg_->OnRetry();
      break;
    case Command::Exit:
      if (!s.exitEnabled) {
        Print("Exit is disabled now.");
        break;
      }
      if (dlg_ == nullptr) break;
      Finish(dlg_->OnCancel());
    case Command::Help:
      Print("Type r and Enter for Retry, e and Enter for Exit (each when enabled).");
      ShowChoices();
      break;
    case Command::Invalid:
      Print("Unknown input \"" + line + "\": type r (Retry), e (Exit) or ? (help).");
      break;
  }
}

void FrontEnd::PrintLogPaths() {
  if (!processLog_.empty() && platform::FileExists(processLog_)) Print("Process log: " + processLog_);
  if (!dataLog_.empty() && platform::FileExists(dataLog_)) Print("Data log: " + dataLog_);
}

void FrontEnd::Started() {
  processLog_.clear();
  dataLog_.clear();
}

void FrontEnd::LogsNamed(const std::string& processLog, const std::string& dataLog) {
  processLog_ = processLog;
  dataLog_ = dataLog;
}

void FrontEnd::FailAndExit(const std::string& message, upgrade::RunOutcome outcome) {
  std::fprintf(stderr, "ramtune: %s\n", message.c_str());
  Finish(dlg_ != nullptr ? dlg_->Stop(outcome) : Ending{outcome, false, true, ""});
}

void FrontEnd::Finish(const Ending& ending) {
  const int status = ending.ExitStatus();
  if (ending.outcome == upgrade::RunOutcome::DataLogRefused) Say(stderr, "ramtune: " + ending.detail);
  if (bench_ != nullptr) bench_->Finish(status);
  Settle();
  PrintLogPaths();
  const char* summary = status == upgrade::ExitStatusOf(ending.outcome) ? upgrade::Row(ending.outcome).summary
                                                                         : upgrade::StatusSummary(status);
  Print("ramtune: exit status " + std::to_string(status) + ": " + summary);
  platform::ExitProcess(status);
}

void FrontEnd::SetTimer(int timerId, int ms) { timers_.Set(timerId, ms, platform::ProcessClockMs()); }

void FrontEnd::KillTimer(int timerId) { timers_.Kill(timerId); }

// ---- host ------------------------------------------------------------------------------------------

intptr_t FrontEnd::FindTopLevelWindow(const std::string& /*title*/) { return 0; }

void FrontEnd::CloseWindowSync(intptr_t /*window*/) {}

}  // namespace ramtune::console