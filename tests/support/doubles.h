// Test doubles for the display, the host and the process runner.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/dialogs.h"
#include "core/seams.h"
#include "support/virtual_time.h"

namespace ramtune::test {

// Thrown by the rig where a front end would end the process with the
// session's final ending: ends the test's run there.
struct ProcessExit {
  int code;
};

// Records what the program shows, in order, as short event texts:
//   "progress 6", "picture 131", "label 1001 Model:", "enable 1 on",
//   "box <text>", "ask <text>", "list <line>", "list-clear", "warning",
//   "select <items, joined by ;>", "choose-file <filter>|<folder>", "timer 100 300", "kill 100",
//   "phase <words>" (with " <countdown ms>" when there is a countdown).
class RecordingDisplay : public Display {
 public:
  explicit RecordingDisplay(VirtualClock& clock) : clock_(clock) {}

  void SetProgress(int position) override;
  void SetPicture(int resourceId) override;
  void SetLabel(int controlId, const std::string& text) override;
  void EnableButton(int controlId, bool enabled) override;
  bool ButtonEnabled(int controlId) override { return enabled[controlId]; }
  bool ReadIpAddress(std::string* dotted) override;
  void SetIpAddress(uint32_t address) override;
  void MessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  bool AskYesNoInPerson(const std::string& question) override;
  void LogListAdd(const std::string& line) override;
  void LogListClear() override;
  void RunWarningDialog(WarningDialogModel& dialog) override;
  void RunSelectDeviceDialog(SelectDeviceModel& dialog) override;
  std::string ChooseFile(const std::string& filter, const std::string& initialFolder) override;
  void SetTimer(int timerId, int ms) override;
  void KillTimer(int timerId) override;
  void SetPhase(RunPhase phase, int countdownMs) override;

  // Scripted answers of the modal boxes.
  bool yesNoAnswer = true;
  bool inPersonAnswer = true;  // the questions only the user answers
  bool acceptWarning = true;
  int selectIndex = 0;  // -1: the dialog is closed without a choice
  bool ipComplete = true;
  std::string chosenFile;
  // Called when a timer fires (posted as a message).
  std::function<void(int)> onTimer;
  // Called with every message box text, after it is recorded.
  std::function<void(const std::string&)> onMessageBox;

  std::vector<std::string> events;
  std::vector<std::string> listLines;  // the log list as it stands
  int progress = 0;
  int picture = 0;
  std::map<int, std::string> labels;
  std::map<int, bool> enabled{{kButtonRetry, true}, {kButtonExit, true}};
  std::vector<std::string> boxes;

  // Events of one kind (their text after the kind word).
  std::vector<std::string> Of(const std::string& kind) const;

 private:
  VirtualClock& clock_;
  std::map<int, int> timers_;
};

class FakeHost : public Host {
 public:
  intptr_t FindTopLevelWindow(const std::string& title) override {
    findCalls.push_back(title);
    return competingWindow;
  }
  void CloseWindowSync(intptr_t window) override { closed.push_back(window); }

  intptr_t competingWindow = 0;
  std::vector<std::string> findCalls;
  std::vector<intptr_t> closed;
};

class FakeProcesses : public ProcessRunner {
 public:
  platform::CapturedRun RunCaptured(const std::string& application, const std::string& commandLine,
                                    int limitMs, size_t maxBytes) override;
  platform::HiddenRun RunHidden(const std::string& application, const std::string& commandLine,
                                int limitMs) override;
  void StartDetached(const std::string& application, const std::string& commandLine) override {
    detached.push_back(commandLine);
    detachedApplications.push_back(application);
  }

  struct Captured {
    std::string application, commandLine;
    int limitMs;
    size_t maxBytes;
  };
  std::vector<Captured> captured;
  std::vector<std::pair<std::string, int>> hidden;  // command line and limit
  std::vector<std::string> hiddenApplications;
  std::vector<std::string> detached;
  std::vector<std::string> detachedApplications;
  // Answer of RunCaptured; by default the uploader prints progress and ends with 0.
  std::function<platform::CapturedRun(const Captured&)> capturedAnswer;
  platform::HiddenRun hiddenAnswer = platform::HiddenRun::Ended;
};

}  // namespace ramtune::test
