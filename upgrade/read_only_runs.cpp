// The runs that only read the unit: a backup, which writes its values to a
// Data log as a run's backup does and stops there, and a check, which reads
// them where they are and compares them with a Data log. Neither sends a
// write, an upload, a commit or a reboot, and neither has a model or
// bootloader gate: any bootloader is read, and both versions are shown.
#include "core/text.h"
#include "upgrade/unit_check.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

const char* const kNothingChanged = "nothing has been changed on the router.";

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

RunOutcome UpgradeRun::ExecuteBackup() {
  const UnitReader::Versions versions = Reader().ReadVersions();
  state_.BootloaderBefore = versions.running;
  Log("[System]-Backup: bootloader running " + ShowText(versions.running) + ", boot partition " +
      ShowText(versions.bootPartition));
  // The running variables of a unit whose boot partition already holds the
  // image's bootloader need not be what that bootloader keeps.
  if (versions.imageInBootPartition) {
    Log(std::string("[System]-Backup: the boot partition holds ") + kBootImageVersion +
        ": each value is read from the boot partition, where the verification reads it");
  }
  DataLogFile dataLog = RunDataLog();
  if (!BackupValues(dataLog, versions.imageInBootPartition)) return RunOutcome::Failed;
  if (!DataLogIsDurable(dataLog, DataLogValues{state_.Values, modelName_})) return RunOutcome::DataLogNotWritten;
  if (PhaseEnd end = RecordBackup(dataLog)) return *end;
  s_.display.SetProgress(20);
  EndRun(kPictureLogo, "", "[System]-Backup: the values of this unit are in the Data log " + dataLog.path + "; " +
                               kNothingChanged);
  return RunOutcome::BackedUp;
}

RunOutcome UpgradeRun::ExecuteCheck() {
  EnterPhase(RunPhase::Verifying, 0);
  Banner("Check DUT against its Data log");
  UnitReader reader = Reader();
  const UnitReader::Versions versions = reader.ReadVersions();
  state_.BootloaderBefore = versions.running;
  const UnitCheck check = ReadForCheck(reader, mode_.source.values, versions, state_.Unit.macText);
  for (const std::string& line : CheckLines(check, mode_.source.path)) Log(line);
  s_.display.SetProgress(20);
  const std::vector<std::string> differing = check.DifferingItems();
  differing_ = differing;
  // Whatever a check finds, a unit whose change is open is not finished.
  const RunOutcome openEnding = RunOutcome::Unfinished;
  if (differing.empty()) {
    EndRun(kPictureLogo, "", "[System]-Check: the unit holds the values of the Data log " + mode_.source.path + "; " +
                                 kNothingChanged);
    return checkOfOpenChange_ ? openEnding : RunOutcome::CheckSame;
  }
  const std::string text = "The unit differs from the Data log " + mode_.source.path + " in " + Joined(differing) +
                           "; " + kNothingChanged;
  EndRun(kPictureFail, text, "[System]-Check: " + text);
  return checkOfOpenChange_ ? openEnding : RunOutcome::CheckDiffers;
}

}  // namespace ramtune::upgrade
