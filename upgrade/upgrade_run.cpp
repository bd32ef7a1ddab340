#include "upgrade/upgrade_run.h"

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune::upgrade {

UpgradeRun::UpgradeRun(const RunServices& services, const RunMode& mode, RunObserver& observer)
    : s_(services), mode_(mode), observer_(observer) {
  if (mode_.UnitChangedBefore()) {
    changed_.changed = true;
    changed_.dataLog = mode_.source.path;
    changed_.identityLog = mode_.ownValuesLog;
  }
}

// A run ended by the process's end (or a test's) lets go of its unit.
UpgradeRun::~UpgradeRun() { platform::ReleaseFileLock(claim_); }

RunResult UpgradeRun::Execute() {
  observer_.Started();
  // A restore after a change works on a unit that is changed from its start.
  if (changed_.changed) observer_.UnitChanged(changed_);
  const RunOutcome outcome = Run();
  FinishInLedger(outcome);
  if (outcome == RunOutcome::Completed) {
    changed_ = ChangedUnit{};
  } else if (changed_.changed && outcome != RunOutcome::SelectionClosed) {
    // The choice closed ends the program at once: nothing more is shown.
    RecoveryHint();
  }
  const RunResult result = Result(outcome);
  observer_.Ended(result);
  return result;
}

RunResult UpgradeRun::Result(RunOutcome outcome) const {
  RunResult result;
  result.outcome = outcome;
  result.unitChanged = changed_.changed;
  result.bootloaderBefore = state_.BootloaderBefore;
  result.bootloaderAfter = state_.BootloaderAfter;
  result.unit = state_.Unit;
  result.modelName = modelName_;
  result.operatingMode = state_.OperatingMode;
  result.processLog = s_.logs.ProcessLogPath;
  // A run that ended before its backup names no Data log.
  result.dataLog = platform::FileExists(s_.logs.DataLogPath) ? s_.logs.DataLogPath : "";
  result.restoreLog = changed_.dataLog;
  result.ownValuesLog = changed_.identityLog;
  result.hint = changed_.hint;
  result.differing = differing_;
  return result;
}

RunOutcome UpgradeRun::Run() {
  if (!StartChecks()) return RunOutcome::Failed;
  if (PhaseEnd end = Identify()) return *end;
  // A check writes its Process log and no Data log.
  if (mode_.kind == RunKind::Check) s_.logs.DataLogPath.clear();
  observer_.LogsNamed(s_.logs.ProcessLogPath, s_.logs.DataLogPath);
  if (!IsPlannedUnit()) return RunOutcome::OtherUnit;
  if (PhaseEnd end = AskLedger()) return *end;
  if (!WaitReadyAndStartSsidTool()) return RunOutcome::Failed;
  if (mode_.kind == RunKind::Check) return ExecuteCheck();
  BackupBanner();
  if (mode_.kind == RunKind::Restore) return ExecuteRestore();
  if (mode_.kind == RunKind::Backup) return ExecuteBackup();
  DataLogFile dataLog = RunDataLog();
  if (PhaseEnd end = ModelAndVersionGates()) return *end;
  if (!BackupValues(dataLog)) return RunOutcome::Failed;
  if (!DataLogIsDurable(dataLog, DataLogValues{state_.Values, modelName_})) return RunOutcome::DataLogNotWritten;
  if (PhaseEnd end = RecordBackup(dataLog)) return *end;
  if (PhaseEnd end = TransferAndFlash()) return *end;
  return WriteRebootVerify();
}

bool UpgradeRun::IsPlannedUnit() {
  if (mode_.plannedMac.empty()) return true;
  link::MacAddress mac{};
  const std::string found = state_.Unit.macText;
  const std::string digits = link::ParseMacText(found, &mac) ? link::MacDigits(mac) : found;
  if (digits == mode_.plannedMac) return true;
  EndRun(kPicturePause, "",
         "[System]-This run is for the unit " + mode_.plannedMac + ", but the unit " + digits +
             " answered on its link. Nothing has been read from or written to it.");
  return false;
}

void UpgradeRun::AppendDataLog(DataLogFile& file, const std::string& writeCommand) {
  std::string error;
  if (!AppendLogLine(file.path, DataLogLineOf(writeCommand), &error) && file.error.empty()) file.error = error;
}

RunOutcome UpgradeRun::WriteRebootVerify() {
  for (;;) {
    if (PhaseEnd end = RestoreAndCommit()) return *end;
    if (!RebootAndReconnect()) return RunOutcome::Failed;
    const Verdict verdict = Verify();
    if (verdict == Verdict::Completed) return RunOutcome::Completed;
    if (verdict == Verdict::Failed) return RunOutcome::Failed;
  }
}

std::string RestoreInterfaceArg(const Settings& settings, const link::Route& route) {
  if (route.SystemRouting()) return "";
  return settings.RestoreCommand.interfaceByAddress ? route.localAddress : route.name;
}

void UpgradeRun::RecoveryHint() {
  changed_.hint = RecoveryHintLines(s_.settings, changed_, RestoreInterfaceArg());
  // The Data log cannot be read: a restore of it would fail; the next start
  // of an upgrade writes back the ledger's copy.
  if (!dataLogOutOfReach_.empty()) changed_.hint = {dataLogOutOfReach_};
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

void UpgradeRun::Send(const std::string& command, int limitMs) {
  s_.link.commands.SendCommand(state_.Unit, command, limitMs);
}

std::string UpgradeRun::Ask(const std::string& command, int limitMs) {
  Send(command, limitMs);
  return FirstLine(s_.link.commands.ResponseText());
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
