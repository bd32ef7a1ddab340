// The console's event loop: the clock, the queue of window timers and typed
// lines, the commands typed at the main dialog and the process ending.
#include "app/console/front_end.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

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

bool FrontEnd::DueTimer(int* timerId) {
  const int64_t now = platform::ProcessClockMs();
  bool found = false;
  int64_t earliest = 0;
  for (const auto& [id, timer] : timers_) {
    if (timer.dueMs <= now && (!found || timer.dueMs < earliest)) {
      found = true;
      earliest = timer.dueMs;
      *timerId = id;
    }
  }
  return found;
}

int FrontEnd::MsToNextTimer() {
  if (timers_.empty()) return -1;
  int64_t earliest = timers_.begin()->second.dueMs;
  for (const auto& entry : timers_) earliest = std::min(earliest, entry.second.dueMs);
  const int64_t wait = earliest - platform::ProcessClockMs();
  return wait < 0 ? 0 : static_cast<int>(wait);
}

bool FrontEnd::DispatchOneMessage() {
  if (bench_ != nullptr && dlg_ != nullptr && bench_->Poll()) {
    Print("[System]-Stopped at the bench (Ctrl+C) before anything was changed on this unit.");
    Finish(kExitRunFailed);
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
  if (DueTimer(&id)) {
    // Window timers repeat until killed; the handlers kill theirs first.
    Timer& timer = timers_[id];
    timer.dueMs = platform::ProcessClockMs() + timer.periodMs;
    choicesShown_ = false;
    if (dlg_ != nullptr) dlg_->OnTimer(id);
    return true;
  }
  Tick();
  return false;
}

void FrontEnd::PollGuard() {
  switch (guard_->Poll()) {
    case InterruptSteps::Step::None: return;
    case InterruptSteps::Step::Announce:
      if (dlg_ != nullptr) dlg_->logs.AppendProcessLog(kStillWritingLine);
      return;
    case InterruptSteps::Step::End:
      break;
  }
  if (dlg_ != nullptr) {
    dlg_->logs.AppendProcessLog(kSecondInterruptLine);
    for (const std::string& line : guard_->HintLines()) dlg_->logs.AppendProcessLog(line);
  }
  Finish(kExitUnitChanged);
}

void FrontEnd::WaitForMessage(int ms) {
  int waitMs = ms;
  const int toTimer = MsToNextTimer();
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
    if (timers_.empty()) {
      // Idle: the search series or the run has ended. The progress line
      // stays as it ended; the user types below it.
      if (!Asking() && dlg_ != nullptr) Finish(ExitStatusFor(dlg_->LastEnding()));
      Settle();
      ShowChoices();
    }
    const int waitMs = MsToNextTimer();
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
      exitTyped_ = true;
      dlg_->OnCancel();
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
  if (dlg_ == nullptr) return;
  if (!dlg_->logs.ProcessLogPath.empty() && platform::FileExists(dlg_->logs.ProcessLogPath)) {
    Print("Process log: " + dlg_->logs.ProcessLogPath);
  }
  if (!dlg_->logs.DataLogPath.empty() && platform::FileExists(dlg_->logs.DataLogPath)) {
    Print("Data log: " + dlg_->logs.DataLogPath);
  }
}

void FrontEnd::FailAndExit(const std::string& message, int status) {
  std::fprintf(stderr, "ramtune: %s\n", message.c_str());
  Finish(status);
}

void FrontEnd::Finish(int status) {
  if (dlg_ != nullptr) status = SessionExitStatus(status, dlg_->UnitChanged());
  if (bench_ != nullptr) bench_->Finish(status);
  Settle();
  PrintLogPaths();
  Print("ramtune: exit status " + std::to_string(status) + ": " + ExitMeaning(status));
  platform::ExitProcess(status);
}

void FrontEnd::SetTimer(int timerId, int ms) {
  timers_[timerId] = Timer{ms, platform::ProcessClockMs() + ms};
}

void FrontEnd::KillTimer(int timerId) { timers_.erase(timerId); }

// ---- host ------------------------------------------------------------------------------------------

void FrontEnd::EndProcess(int code) {
  if (exitTyped_ && dlg_ != nullptr) Finish(ExitStatusAfterExit(dlg_->LastEnding()));
  if (dlg_ != nullptr && dlg_->LastEnding().kind == Ending::DataLogRefused) {
    Say(stderr, "ramtune: " + dlg_->LastEnding().detail);
    Finish(ExitStatusFor(dlg_->LastEnding()));
  }
  Finish(ExitStatusFor(Ending::Program(code)));
}

intptr_t FrontEnd::FindTopLevelWindow(const std::string& /*title*/) { return 0; }

void FrontEnd::CloseWindowSync(intptr_t /*window*/) {}

}  // namespace ramtune::console