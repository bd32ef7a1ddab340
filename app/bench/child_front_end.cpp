#include "app/bench/child_front_end.h"

#include <algorithm>
#include <optional>

#include "app/upgrade_tool_dlg.h"
#include "core/dialogs.h"
#include "platform/platform.h"

namespace ramtune::bench {

ChildFrontEnd::ChildFrontEnd(Clock& time, BenchChannel& channel, ChildAnswers answers, Output output, Exit exit)
    : time_(time), channel_(channel), answers_(answers), output_(std::move(output)), exit_(std::move(exit)) {}

// ---- the loop ----------------------------------------------------------------------------

bool ChildFrontEnd::DispatchOneMessage() {
  if (dlg_ != nullptr && channel_.Poll()) {
    output_("[System]-Stopped by the station before anything was changed on this unit.");
    Finish(dlg_->Stop(upgrade::RunOutcome::Failed));
  }
  // The time source's own messages first (none for the system's time).
  if (time_.DispatchOneMessage()) return true;
  int id = 0;
  if (!timers_.TakeDue(time_.ProcessClockMs(), &id)) return false;
  if (dlg_ != nullptr) {
    const std::optional<Ending> ending = dlg_->OnTimer(id);
    if (ending && ending->final) Finish(*ending);
  }
  return true;
}

void ChildFrontEnd::WaitForMessage(int ms) {
  int waitMs = std::min(ms, kStopLookMs);
  const int toTimer = timers_.MsToNext(time_.ProcessClockMs());
  if (toTimer >= 0) waitMs = std::min(waitMs, toTimer);
  time_.WaitForMessage(waitMs);
}

void ChildFrontEnd::Run() {
  for (;;) {
    if (DispatchOneMessage()) continue;
    // Idle: the run or the search series has ended, and nobody is there to
    // press Retry or Exit.
    if (timers_.Empty() && dlg_ != nullptr) Finish(dlg_->OnCancel());
    WaitForMessage(kStopLookMs);
  }
}

void ChildFrontEnd::Finish(const Ending& ending) {
  const int status = ending.ExitStatus();
  if (ending.outcome == upgrade::RunOutcome::DataLogRefused) output_(ending.detail);
  channel_.Finish(status);
  if (!processLog_.empty() && platform::FileExists(processLog_)) output_("Process log: " + processLog_);
  if (!dataLog_.empty() && platform::FileExists(dataLog_)) output_("Data log: " + dataLog_);
  const char* summary = status == upgrade::ExitStatusOf(ending.outcome) ? upgrade::Row(ending.outcome).summary
                                                                         : upgrade::StatusSummary(status);
  output_("exit status " + std::to_string(status) + ": " + summary);
  exit_(status);
  platform::ExitProcess(status);
}

void ChildFrontEnd::FailAndExit(const std::string& message, upgrade::RunOutcome outcome) {
  output_(message);
  Finish(dlg_ != nullptr ? dlg_->Stop(outcome) : Ending{outcome, false, true, ""});
}

void ChildFrontEnd::SetTimer(int timerId, int ms) { timers_.Set(timerId, ms, time_.ProcessClockMs()); }

// ---- what a window would show ------------------------------------------------------------------

void ChildFrontEnd::Block(const std::string& heading, const std::string& text) {
  output_("+-- " + heading);
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    output_("| " + text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

void ChildFrontEnd::SetPicture(int resourceId) { output_(std::string("Status: ") + PictureName(resourceId)); }

void ChildFrontEnd::SetLabel(int, const std::string& text) { output_(text); }

bool ChildFrontEnd::ReadIpAddress(std::string* dotted) {
  if (!ipSet_) return false;
  *dotted = std::to_string(ipAddress_ >> 24) + "." + std::to_string((ipAddress_ >> 16) & 0xFF) + "." +
            std::to_string((ipAddress_ >> 8) & 0xFF) + "." + std::to_string(ipAddress_ & 0xFF);
  return true;
}

void ChildFrontEnd::SetIpAddress(uint32_t address) {
  ipAddress_ = address;
  ipSet_ = true;
}

void ChildFrontEnd::MessageBox(const std::string& text) {
  Block("Message", text);
  output_("  (OK)");
}

bool ChildFrontEnd::AskYesNo(const std::string& question) {
  Block("Question", question);
  if (answers_.yesNo < 0) {
    output_("  answered No (the station gives no answer to this question)");
    return false;
  }
  output_(answers_.yesNo == 1 ? "  answered Yes (the station's answer)" : "  answered No (the station's answer)");
  return answers_.yesNo == 1;
}

// Only a person may answer these, and no person sits at a station's unit:
// No, and the run ends as it ends without the answer.
bool ChildFrontEnd::AskYesNoInPerson(const std::string& question) {
  Block("Question", question);
  output_("  answered No (only a person may answer this; the station asks in its window)");
  return false;
}

void ChildFrontEnd::RunWarningDialog(WarningDialogModel& dialog) {
  output_("+-- Warning: " + std::string(WarningDialogModel::Prompt()));
  if (answers_.acceptWarning) {
    dialog.OnYes();
    output_("  answered Yes (the station's answer)");
  } else {
    dialog.OnNo();
    output_("  answered No (the station did not accept the warning)");
  }
}

void ChildFrontEnd::RunSelectDeviceDialog(SelectDeviceModel& dialog) {
  // The bench plans each child's unit: the run takes it from the list.
  output_("  the router list closed without a choice (the station chooses the unit)");
  (void)dialog;
}

std::string ChildFrontEnd::ChooseFile(const std::string&, const std::string&) {
  output_("  no file chosen (the station names its files on the command line)");
  return "";
}

void ChildFrontEnd::LogsNamed(const std::string& processLog, const std::string& dataLog) {
  processLog_ = processLog;
  dataLog_ = dataLog;
}

}  // namespace ramtune::bench
