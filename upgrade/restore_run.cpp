// The restore run: writes a unit's values back from a Data log that an
// earlier run wrote. It reuses the run's phases: identification as in a run,
// the backup's reads (kept in a log of their own, so that nothing the unit
// held is lost), the flash only when the unit's bootloader is older than the
// image, then write-back, reboot and verification against the Data log.
#include "core/text.h"
#include "upgrade/unit_check.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
std::string BeforeRestoreLogPath(const std::string& dataLogPath) {
  const size_t slash = dataLogPath.find_last_of("/\\");
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  return dataLogPath.substr(0, name) + ReplaceAll(dataLogPath.substr(name), "_Data_", kBeforeRestoreLogKind);
}

RunOutcome UpgradeRun::ExecuteRestore() {
  if (!ModelGate()) return RunOutcome::Failed;
  const BootloaderGate gate = RestoreBootloaderGate();
  if (gate == BootloaderGate::Refused) return RunOutcome::Failed;
  const bool flash = gate == BootloaderGate::FlashFirst;

  // What the unit holds now goes to a log of its own before anything is
  // written; it need not be restorable (it may miss what could not be read).
  DataLogFile before{BeforeRestoreLogPath(s_.logs.DataLogPath), "", false};
  const std::string& beforeLog = before.path;
  BackupValues(before);
  if (!DataLogIsDurable(before, DataLogValues{state_.Values, modelName_})) return RunOutcome::DataLogNotWritten;
  Log("[System]-Restore: the values this unit holds now are kept in " + beforeLog);

  if (!IdentityGuard(beforeLog)) return RunOutcome::Failed;

  // From here on the run works with the Data log's values; the operating
  // mode, which no Data log holds, is the one just read.
  const DataLogValues& values = mode_.source.values;
  state_.Values = values.Values;
  modelName_ = values.ModelName;
  DataLogFile dataLog = RunDataLog();
  for (size_t i = 0; i < kCalibrationItemCount; ++i) AppendDataLog(dataLog, WriteCommand(i, state_.Values[i]));
  AppendDataLog(dataLog, ModelWriteCommand(modelName_));
  if (!DataLogIsDurable(dataLog, values)) return RunOutcome::DataLogNotWritten;

  Log(flash ? "[System]-Restore: the bootloader is older than " + std::string(kBootImageVersion) + ": it is updated first"
            : "[System]-Restore: the bootloader is up to date: no flash");
  if (flash) {
    if (PhaseEnd end = TransferAndFlash()) return *end;
  }
  return WriteRebootVerify();
}

bool UpgradeRun::IdentityGuard(const std::string& beforeRestoreLog) {
  const std::string& model = mode_.source.values.ModelName;
  const std::string unitModel = state_.Unit.model;
  if ((model == "LM-7210A" || model == "LM-7210B") && !Contains(unitModel, model)) {
    const std::string text = "The Data log holds the values of an " + model + ", but this unit is an " + unitModel +
                             ". Nothing has been written to the router.";
    EndRun(kPicturePause, text, text);
    return false;
  }
  // The MAC the unit reported, or the one it answered the search under.
  std::string unitMac = NormalMac(state_.Values[kMac2G]);
  if (unitMac.empty()) unitMac = state_.Unit.macText;
  const std::string logMac = NormalMac(mode_.source.values.Values[kMac2G]);
  if (unitMac == logMac) return true;
  // An unfinished run is taken up on the unit that answers the search under
  // the MAC of its mark and Data log: after an interrupted flash its 2.4 GHz
  // MAC may read as the image's default.
  const bool resumed = mode_.origin == RestoreOrigin::Resumed;
  if (resumed && NormalMac(state_.Unit.macText) == logMac) {
    Log("[System]-Restore: this unit answers under the Data log's MAC " + logMac + "; its 2.4 GHz MAC reads " +
        unitMac + " until the values are written back.");
    return true;
  }
  // The person named the unit that takes the values.
  if (!mode_.intoMac.empty()) {
    if (mode_.intoMac == unitMac || mode_.intoMac == NormalMac(state_.Unit.macText)) {
      Log("[System]-Restore: the values of " + logMac + " are written into " + unitMac + ", as --into names it");
      if (changed_.identityLog.empty() && unitMac != logMac) changed_.identityLog = beforeRestoreLog;
      if (changed_.changed) observer_.UnitChanged(changed_);
      return true;
    }
    const std::string text = "The restore is for the unit " + mode_.intoMac + " (--into), but this unit is " + unitMac +
                             ". Nothing has been written to the router.";
    EndRun(kPicturePause, text, "[System]-" + text);
    return false;
  }
  const std::string question = "This unit's 2.4 GHz MAC is " + unitMac + ", but the Data log holds the values of the unit " +
                               logMac + ".\nWriting one unit's values into another gives two routers the same MAC.\n"
                               "A unit whose values were wiped shows a factory MAC in place of its own.\n"
                               "Write the Data log's values into this unit anyway?";
  // Only a restore the person asked for on the command line lets --yes
  // answer: after a change in this session, or an unfinished run taken up,
  // the values are this unit's own only when a person says so.
  const bool inPerson = mode_.origin != RestoreOrigin::CommandLine;
  if (inPerson ? s_.display.AskYesNoInPerson(question) : s_.display.AskYesNo(question)) {
    Log("[System]-Restore: the values of " + logMac + " are written into " + unitMac + " as asked");
    // From the first write on, that log is the only copy of this unit's own values.
    if (changed_.identityLog.empty()) changed_.identityLog = beforeRestoreLog;
    if (changed_.changed) observer_.UnitChanged(changed_);
    return true;
  }
  EndRun(kPicturePause, "", "[System]-Restore cancelled: nothing has been written to the router.");
  return false;
}

}  // namespace ramtune::upgrade
