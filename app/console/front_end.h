// The terminal front end of the main dialog: the clock with its event queue
// (window timers and typed lines), the display and the host for `ramtune`.
// It draws what the core tells it and reports input back; every decision
// about the run stays in the core.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/console/answers.h"
#include "app/console/options.h"
#include "app/console/progress_line.h"
#include "app/console/terminal.h"
#include "app/ending.h"
#include "app/timer_queue.h"
#include "core/seams.h"
#include "upgrade/run_observer.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::bench {
class BenchChannel;
}

namespace ramtune::console {

class ChangedRunGuard;

// Lines typed at standard input, read without blocking the event loop.
class LineInput {
 public:
  // Waits at most timeoutMs (negative: without limit) for a complete line or
  // the end of input. Returns true when a line is ready or input has ended.
  bool Wait(int timeoutMs);
  // Takes the next complete line (without its line end), if there is one.
  bool Take(std::string* line);
  bool Ended() const { return ended_ && pending_.find('\n') == std::string::npos; }

 private:
  void ReadAvailable();
  std::string pending_;
  bool ended_ = false;
};

// As an Answerer: the user's answers typed at the prompt (nobody to ask:
// No, or no choice). The dialogs are answered by AnswerWith's answerer. As
// a RunObserver: the names of the logs it prints at the end.
class FrontEnd : public Clock, public Display, public Host, public Answerer, public upgrade::RunObserver {
 public:
  // caps: what standard output takes (see StandardOutputCaps).
  FrontEnd(bool interactive, TerminalCaps caps);

  // Who answers the dialogs shown (the prompt until this is called).
  void AnswerWith(Answerer* answers) { answers_ = answers; }

  // The dialog whose handlers the events go to. Set before the first event.
  void Attach(CUpgradeToolDlg* dlg) { dlg_ = dlg; }
  // A run of a bench: its progress, changes and ending also go to the bench
  // (and the progress only there), and the bench's stop request is taken.
  void AttachBench(bench::BenchChannel* channel) { bench_ = channel; }
  // A single run: Ctrl+C while a changed unit's run is active goes to `guard`.
  void AttachGuard(ChangedRunGuard* guard) { guard_ = guard; }
  // Ends the session with a message on standard error and this outcome.
  [[noreturn]] void FailAndExit(const std::string& message, upgrade::RunOutcome outcome);
  // Ends the process with the session's ending: the bench's last events,
  // the log names and the status line.
  [[noreturn]] void Finish(const Ending& ending);

  // Waits for and dispatches events until the session ends; returns the
  // exit status (non-interactive: when the run or the search series ends).
  int RunEventLoop();

  // Clock
  int64_t PerformanceCounter() override;
  int64_t PerformanceFrequency() override;
  int64_t ProcessClockMs() override;
  void Sleep(int ms) override;
  bool DispatchOneMessage() override;
  void WaitForMessage(int ms) override;
  std::string LocalTimeStamp() override;

  // Display
  void SetProgress(int position) override;
  void SetPicture(int resourceId) override;
  void SetLabel(int controlId, const std::string& text) override;
  void EnableButton(int controlId, bool enabled) override;
  bool ButtonEnabled(int controlId) override;
  bool ReadIpAddress(std::string* dotted) override;
  void SetIpAddress(uint32_t address) override;
  void MessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  bool AskYesNoInPerson(const std::string& question) override;
  void LogListAdd(const std::string& line) override;
  void LogListClear() override;
  void LogListShowAgain(const std::vector<std::string>& lines) override;
  void RunWarningDialog(WarningDialogModel& dialog) override;
  void RunSelectDeviceDialog(SelectDeviceModel& dialog) override;
  std::string ChooseFile(const std::string& filter, const std::string& initialFolder) override;
  void SetTimer(int timerId, int ms) override;
  void KillTimer(int timerId) override;
  void SetTitle(const std::string& title) override;
  void SetProgressRange(int low, int high, int step) override;
  void SetPhase(RunPhase phase, int countdownMs) override;

  // Answerer: the prompt
  bool YesNo() override;
  bool YesNoInPerson() override;
  void Warning(WarningDialogModel& dialog) override;
  void Selection(SelectDeviceModel& dialog) override;
  std::string File() override;

  // RunObserver
  void Started() override;
  void LogsNamed(const std::string& processLog, const std::string& dataLog) override;

  // Host
  intptr_t FindTopLevelWindow(const std::string& title) override;
  void CloseWindowSync(intptr_t window) override;

  ShownState Shown() const;

  // Writes whole lines to `stream` (standard output or error) around the
  // progress line.
  void Say(std::FILE* stream, const std::string& text);
  // The session's output ends: the progress line stays as it was last drawn,
  // with its clock stopped, and every later line goes below it.
  void Settle();

 private:
  // How often the progress line's clock is redrawn, and the longest a wait
  // goes without looking at the bench's stop request.
  static constexpr int kTickMs = 200;
  static constexpr int kStopLookMs = 100;

  // Output: whole lines, one writer at a time (the listener thread shows
  // message boxes too).
  void Print(const std::string& text) { Say(stdout, text); }
  void PrintBlock(const std::string& heading, const std::string& text);
  // Prints the prompt and waits for one typed line; false when input has ended.
  bool Ask(const std::string& prompt, std::string* line);
  // A Yes/No typed at the prompt; nobody to ask: No, with `nobodyNote`.
  bool TypedYesNo(const char* nobodyNote);
  // Whether there is a user to ask: a terminal whose input has not ended.
  bool Asking() const { return interactive_ && !input_.Ended(); }

  void HandleCommand(const std::string& line);
  void ShowChoices();
  void PrintLogPaths();
  // The progress line as it stands now (on a terminal).
  void ShowProgressLine();
  // Redraws the progress line when its clock has moved on.
  void Tick();
  void StopClock();
  // The first request while the unit is changed is shown; the second ends the program.
  void PollGuard();

  const bool interactive_;
  const TerminalCaps caps_;
  BottomBlock screen_;
  const std::thread::id uiThread_;
  CUpgradeToolDlg* dlg_ = nullptr;
  bench::BenchChannel* bench_ = nullptr;
  ChangedRunGuard* guard_ = nullptr;
  Answerer* answers_ = this;
  LineInput input_;

  mutable std::mutex mutex_;  // the shown state; the output has its own lock
  ShownState shown_;
  RunView view_;
  uint32_t ipAddress_ = 0;
  bool ipSet_ = false;

  TimerQueue timers_;  // only touched on the user-interface thread
  bool choicesShown_ = false;
  std::string processLog_;            // the last run's logs, once named
  std::string dataLog_;
  int64_t tickedMs_ = 0;    // when Tick last looked
};

}  // namespace ramtune::console
