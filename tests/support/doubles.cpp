#include "support/doubles.h"

#include "core/text.h"

namespace ramtune::test {

void RecordingDisplay::SetProgress(int position) {
  progress = position;
  events.push_back(Format("progress %d", position));
}

void RecordingDisplay::SetPhase(RunPhase phase, int countdownMs) {
  events.push_back(std::string("phase ") + RunPhaseWords(phase) + (countdownMs != 0 ? Format(" %d", countdownMs) : ""));
}

void RecordingDisplay::SetPicture(int resourceId) {
  picture = resourceId;
  events.push_back(Format("picture %d", resourceId));
}

void RecordingDisplay::SetLabel(int controlId, const std::string& text) {
  labels[controlId] = text;
  events.push_back(Format("label %d ", controlId) + text);
}

void RecordingDisplay::EnableButton(int controlId, bool on) {
  enabled[controlId] = on;
  events.push_back(Format("enable %d %s", controlId, on ? "on" : "off"));
}

bool RecordingDisplay::ReadIpAddress(std::string* dotted) {
  *dotted = ipComplete ? "192.168.1.1" : "";
  return ipComplete;
}

void RecordingDisplay::SetIpAddress(uint32_t address) {
  events.push_back(Format("ip %u", address));
}

void RecordingDisplay::MessageBox(const std::string& text) {
  boxes.push_back(text);
  events.push_back("box " + text);
  if (onMessageBox) onMessageBox(text);
}

bool RecordingDisplay::AskYesNo(const std::string& question) {
  events.push_back("ask " + question);
  return yesNoAnswer;
}

bool RecordingDisplay::AskYesNoInPerson(const std::string& question) {
  events.push_back("ask in person " + question);
  return inPersonAnswer;
}

void RecordingDisplay::LogListAdd(const std::string& line) {
  listLines.push_back(line);
  events.push_back("list " + line);
}

void RecordingDisplay::LogListClear() {
  listLines.clear();
  events.push_back("list-clear");
}

void RecordingDisplay::RunWarningDialog(WarningDialogModel& dialog) {
  events.push_back("warning");
  if (acceptWarning) dialog.OnYes(); else dialog.OnNo();
}

void RecordingDisplay::RunSelectDeviceDialog(SelectDeviceModel& dialog) {
  std::string items;
  for (const std::string& item : dialog.Items()) items += (items.empty() ? "" : ";") + item;
  events.push_back("select " + items);
  if (selectIndex >= 0) dialog.OnOk(selectIndex);
}

std::string RecordingDisplay::ChooseFile(const std::string& filter, const std::string& initialFolder) {
  events.push_back("choose-file " + filter + "|" + initialFolder);
  return chosenFile;
}

void RecordingDisplay::SetTimer(int timerId, int ms) {
  events.push_back(Format("timer %d %d", timerId, ms));
  auto armed = timers_.find(timerId);
  if (armed != timers_.end()) clock_.Cancel(armed->second);
  timers_[timerId] = clock_.Schedule(static_cast<int64_t>(ms) * 1000, [this, timerId] {
    timers_.erase(timerId);
    clock_.Post([this, timerId] {
      if (onTimer) onTimer(timerId);
    });
  });
}

void RecordingDisplay::KillTimer(int timerId) {
  events.push_back(Format("kill %d", timerId));
  auto it = timers_.find(timerId);
  if (it == timers_.end()) return;
  clock_.Cancel(it->second);
  timers_.erase(it);
}

std::vector<std::string> RecordingDisplay::Of(const std::string& kind) const {
  std::vector<std::string> out;
  const std::string prefix = kind + " ";
  for (const std::string& event : events) {
    if (event.rfind(prefix, 0) == 0) out.push_back(event.substr(prefix.size()));
  }
  return out;
}

platform::CapturedRun FakeProcesses::RunCaptured(const std::string& application,
                                                 const std::string& commandLine, int limitMs,
                                                 size_t maxBytes) {
  captured.push_back({application, commandLine, limitMs, maxBytes});
  if (capturedAnswer) return capturedAnswer(captured.back());
  platform::CapturedRun run;
  run.status = platform::CapturedRun::Status::Ok;
  run.exitCode = 0;
  run.output = "  % Total    % Received\n100  4096    0     0  4096      0 --:--:--\n";
  return run;
}

platform::HiddenRun FakeProcesses::RunHidden(const std::string& application,
                                             const std::string& commandLine, int limitMs) {
  hidden.emplace_back(commandLine, limitMs);
  hiddenApplications.push_back(application);
  return hiddenAnswer;
}

}  // namespace ramtune::test
