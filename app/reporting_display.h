// The display as the session's searches and runs drive it, and what of it the
// session's observers hear: the phase, the progress position, the picture and
// each line of the log list. A front end draws the display; a bench's child
// channel and other observers hear the same through RunObserver, so nothing
// is told twice by the run and nothing is read back from a front end.
#pragma once

#include <string>
#include <vector>

#include "core/seams.h"
#include "upgrade/run_observer.h"

namespace ramtune {

class ReportingDisplay : public Display {
 public:
  ReportingDisplay(Display& shown, const std::vector<upgrade::RunObserver*>& observers)
      : shown_(shown), observers_(observers) {}

  void SetProgress(int position) override {
    shown_.SetProgress(position);
    for (upgrade::RunObserver* o : observers_) o->Progress(position);
  }
  void SetPicture(int resourceId) override {
    shown_.SetPicture(resourceId);
    for (upgrade::RunObserver* o : observers_) o->Picture(resourceId);
  }
  void LogListAdd(const std::string& line) override {
    shown_.LogListAdd(line);
    for (upgrade::RunObserver* o : observers_) o->LogLine(line);
  }
  void SetPhase(RunPhase phase, int countdownMs) override {
    shown_.SetPhase(phase, countdownMs);
    for (upgrade::RunObserver* o : observers_) o->Phase(phase, countdownMs);
  }

  // The rest is the front end's alone.
  void SetLabel(int controlId, const std::string& text) override { shown_.SetLabel(controlId, text); }
  void EnableButton(int controlId, bool enabled) override { shown_.EnableButton(controlId, enabled); }
  bool ButtonEnabled(int controlId) override { return shown_.ButtonEnabled(controlId); }
  bool ReadIpAddress(std::string* dotted) override { return shown_.ReadIpAddress(dotted); }
  void SetIpAddress(uint32_t address) override { shown_.SetIpAddress(address); }
  void MessageBox(const std::string& text) override { shown_.MessageBox(text); }
  bool AskYesNo(const std::string& question) override { return shown_.AskYesNo(question); }
  bool AskYesNoInPerson(const std::string& question) override { return shown_.AskYesNoInPerson(question); }
  void LogListClear() override { shown_.LogListClear(); }
  void LogListShowAgain(const std::vector<std::string>& lines) override { shown_.LogListShowAgain(lines); }
  void RunWarningDialog(WarningDialogModel& dialog) override { shown_.RunWarningDialog(dialog); }
  void RunSelectDeviceDialog(SelectDeviceModel& dialog) override { shown_.RunSelectDeviceDialog(dialog); }
  std::string ChooseFile(const std::string& filter, const std::string& initialFolder) override {
    return shown_.ChooseFile(filter, initialFolder);
  }
  void SetTimer(int timerId, int ms) override { shown_.SetTimer(timerId, ms); }
  void KillTimer(int timerId) override { shown_.KillTimer(timerId); }
  void SetTitle(const std::string& title) override { shown_.SetTitle(title); }
  void SetProgressRange(int low, int high, int step) override { shown_.SetProgressRange(low, high, step); }

 private:
  Display& shown_;
  const std::vector<upgrade::RunObserver*>& observers_;
};

}  // namespace ramtune
