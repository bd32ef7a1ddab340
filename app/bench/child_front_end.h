// The front end of a bench's child that has neither a terminal nor a window
// (Ramtune.exe started by a station): the dialog's timers on the process's
// own loop, its lines on standard output for the bench to show, its
// questions answered by the bench's answers and never by a person, and the
// process's end told on the bench's channel.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/bench/child_channel.h"
#include "app/ending.h"
#include "app/timer_queue.h"
#include "core/seams.h"
#include "upgrade/run_observer.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::bench {

// The answers the bench gives every run; a question without one is No.
struct ChildAnswers {
  bool acceptWarning = false;
  int yesNo = -1;  // 1 Yes, 0 No, -1 none
};

class ChildFrontEnd : public Clock, public Display, public Host, public upgrade::RunObserver {
 public:
  using Output = std::function<void(const std::string& line)>;
  // Ends the process with this status; never returns.
  using Exit = std::function<void(int status)>;

  // `time`: the time source (the system's, or a test's virtual time).
  ChildFrontEnd(Clock& time, BenchChannel& channel, ChildAnswers answers, Output output, Exit exit);

  // The dialog whose handlers the timers go to. Set before the first event.
  void Attach(CUpgradeToolDlg* dlg) { dlg_ = dlg; }

  // Runs the dialog's timers until the session ends; the process ends there.
  [[noreturn]] void Run();
  // Ends the process with the session's ending: the bench's last events,
  // the log names and the status line.
  [[noreturn]] void Finish(const Ending& ending);
  // A failure before the run could start (a socket that cannot be had).
  [[noreturn]] void FailAndExit(const std::string& message, upgrade::RunOutcome outcome);
  void Say(const std::string& line) { output_(line); }

  // Clock
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  int64_t ProcessClockMs() override { return time_.ProcessClockMs(); }
  void Sleep(int ms) override { time_.Sleep(ms); }
  bool DispatchOneMessage() override;
  void WaitForMessage(int ms) override;
  std::string LocalTimeStamp() override { return time_.LocalTimeStamp(); }
  void NotePause(int ms) override { time_.NotePause(ms); }

  // Display: nothing is drawn; what a window would say becomes a line.
  void SetProgress(int) override {}
  void SetPicture(int resourceId) override;
  void SetLabel(int controlId, const std::string& text) override;
  void EnableButton(int, bool) override {}
  bool ButtonEnabled(int) override { return false; }
  bool ReadIpAddress(std::string* dotted) override;
  void SetIpAddress(uint32_t address) override;
  void MessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  bool AskYesNoInPerson(const std::string& question) override;
  void LogListAdd(const std::string& line) override { output_(line); }
  void LogListClear() override {}
  void RunWarningDialog(WarningDialogModel& dialog) override;
  void RunSelectDeviceDialog(SelectDeviceModel& dialog) override;
  std::string ChooseFile(const std::string& filter, const std::string& initialFolder) override;
  void SetTimer(int timerId, int ms) override;
  void KillTimer(int timerId) override { timers_.Kill(timerId); }

  // Host: no window of another program is looked for.
  intptr_t FindTopLevelWindow(const std::string&) override { return 0; }
  void CloseWindowSync(intptr_t) override {}

  // RunObserver: the log names said at the end.
  void LogsNamed(const std::string& processLog, const std::string& dataLog) override;

 private:
  // The longest a wait goes without looking at the bench's stop request.
  static constexpr int kStopLookMs = 100;

  void Block(const std::string& heading, const std::string& text);

  Clock& time_;
  BenchChannel& channel_;
  const ChildAnswers answers_;
  Output output_;
  Exit exit_;
  CUpgradeToolDlg* dlg_ = nullptr;
  TimerQueue timers_;
  uint32_t ipAddress_ = 0;
  bool ipSet_ = false;
  std::string processLog_;
  std::string dataLog_;
};

}  // namespace ramtune::bench
