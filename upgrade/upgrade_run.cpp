#include "upgrade/upgrade_run.h"

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune::upgrade {

RunOutcome UpgradeRun::Execute() {
  const RunOutcome outcome = Run();
  if (outcome == RunOutcome::Completed) {
    changed_ = ChangedUnit{};
  } else if (changed_.changed) {
    RecoveryHint();
  }
  return outcome;
}

RunOutcome UpgradeRun::Run() {
  if (!StartChecks() || !Identify() || !WaitReadyAndStartSsidTool()) return RunOutcome::Failed;
  BackupBanner();
  if (restore_ != nullptr) return ExecuteRestore();
  if (!ModelAndVersionGates() || !BackupValues()) return RunOutcome::Failed;
  if (!DataLogIsDurable(DataLogValues{state_.Values, modelName_})) return RunOutcome::DataLogNotWritten;
  if (!TransferAndFlash()) return RunOutcome::Failed;
  return WriteRebootVerify();
}

RunOutcome UpgradeRun::WriteRebootVerify() {
  for (;;) {
    if (!RestoreAndCommit() || !RebootAndReconnect()) return RunOutcome::Failed;
    const Verdict verdict = Verify();
    if (verdict == Verdict::Completed) return RunOutcome::Completed;
    if (verdict == Verdict::Failed) return RunOutcome::Failed;
  }
}

void UpgradeRun::MarkUnitChanged() {
  state_.UnitChanged = true;
  if (changed_.changed) return;
  changed_.changed = true;
  changed_.dataLog = restore_ != nullptr ? restore_->path : s_.logs.DataLogPath;
}

void UpgradeRun::RecoveryHint() {
  std::string interfaceArg;
  const link::Route route = s_.link.TargetRoute();
  if (!route.SystemRouting()) {
    interfaceArg = s_.settings.RestoreCommand.interfaceByAddress ? route.localAddress : route.name;
  }
  changed_.hint = RecoveryHintLines(s_.settings, changed_, interfaceArg);
  for (const std::string& line : changed_.hint) Log(line);
}

bool UpgradeRun::StartChecks() {
  s_.display.SetProgress(0);
  s_.display.SetProgress(1);
  const std::string folder = s_.settings.ToolFolderPath + platform::kPathSeparator;
  for (const std::string& name : {std::string(platform::kUploaderName), std::string(kFlashToolFile),
                                  std::string(kBootImageFile)}) {
    if (!platform::FileExists(folder + name)) {
      s_.display.MessageBox("Loss file:\n" + folder + name);
      return false;
    }
  }
  s_.display.SetPicture(kPictureLogo);
  s_.display.EnableButton(kButtonRetry, false);
  s_.display.EnableButton(kButtonExit, false);
  s_.display.SetLabel(kLabelModel, "Model:");
  s_.display.SetLabel(kLabelMac, "MAC Address:");
  s_.display.SetLabel(kLabelFirmware, "Firmware Version:");

  state_ = RunState{};
  modelName_.clear();
  s_.logs.ProcessLogPath.clear();
  s_.logs.DataLogPath.clear();
  s_.logs.DataLogError.clear();

  std::string address;
  if (!s_.display.ReadIpAddress(&address)) {
    EndRun(0, "Device IP Address Field is EMPTY!!", "");
    return false;
  }
  return true;
}

std::string UpgradeRun::Ask(const std::string& command, int limitMs) {
  s_.link.SendCommand(command, limitMs);
  return FirstLine(s_.link.ResponseText());
}

bool UpgradeRun::Retry(int attempts, int pauseMs, RetryVariant variant,
                       const std::function<bool()>& attempt) {
  return RetryAttempts(s_.waits, attempts, pauseMs, variant, attempt);
}

bool UpgradeRun::WaitUntilReady(int attempts, const char* logPrefix) {
  return Retry(attempts, 1000, RetryVariant::CountingUp, [&] {
    const std::string line = Ask("ATE Get_FwReadyStatus", 1000);
    Log(logPrefix + line);
    return Contains(line, "1");
  });
}

void UpgradeRun::Banner(const char* title) {
  Log(kBannerLine);
  Log(title);
  Log(kBannerLine);
}

void UpgradeRun::SetProgress(int position) {
  s_.display.SetProgress(position);
  Log(Format("SetPos(%d)", position));
}

void UpgradeRun::EndRun(int picture, const std::string& message, const std::string& logLine) {
  if (picture != 0) s_.display.SetPicture(picture);
  if (!message.empty()) s_.display.MessageBox(message);
  if (!logLine.empty()) Log(logLine);
  s_.display.EnableButton(kButtonRetry, true);
  s_.display.EnableButton(kButtonExit, true);
}

void UpgradeRun::ReportInfoFailure() {
  EndRun(kPicturePause,
         "Unable to retrieve LM-7210A/LM-7210B info! Please check if the LM-7210A/LM-7210B has "
         "been connected to your PC properly.",
         "");
}

}  // namespace ramtune::upgrade
