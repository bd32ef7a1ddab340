// The restore run: writes a unit's values back from a Data log that an
// earlier run wrote. It reuses the run's phases: identification as in a run,
// the backup's reads (kept in a log of their own, so that nothing the unit
// held is lost), the flash only when the unit's bootloader is older than the
// image, then write-back, reboot and verification against the Data log.
#include "core/text.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

// Twelve upper-case hex digits, or empty when `text` is not a MAC.
std::string NormalMac(const std::string& text) {
  link::MacAddress mac{};
  return link::ParseMacText(text, &mac) ? link::MacDigits(mac) : std::string();
}

}  // namespace

RunOutcome UpgradeRun::ExecuteRestore() {
  if (!ModelGate()) return RunOutcome::Failed;
  const bool flash = BootloaderIsOlder();

  // What the unit holds now goes to a log of its own before anything is written.
  const std::string dataLog = s_.logs.DataLogPath;
  s_.logs.DataLogPath = ReplaceAll(dataLog, "_Data_", kBeforeRestoreLogKind);
  s_.logs.DataLogError.clear();
  BackupValues(true);
  const DataLogValues found{state_.Values, modelName_};
  if (!DataLogIsDurable(found, false)) return RunOutcome::DataLogNotWritten;
  s_.logs.DataLogPath = dataLog;
  s_.logs.DataLogError.clear();

  if (!IdentityGuard()) return RunOutcome::Failed;

  // From here on the run works with the Data log's values; the operating
  // mode, which no Data log holds, is the one just read.
  state_.Values = restore_->Values;
  modelName_ = restore_->ModelName;
  for (size_t i = 0; i < kCalibrationItemCount; ++i) s_.logs.AppendDataLog(WriteCommand(i, state_.Values[i]));
  s_.logs.AppendDataLog(ModelWriteCommand(modelName_));
  if (!DataLogIsDurable(*restore_)) return RunOutcome::DataLogNotWritten;

  Log(flash ? "[System]-Restore: the bootloader is older than " + std::string(kBootImageVersion) + ": it is updated first"
            : "[System]-Restore: the bootloader is up to date: no flash");
  if (flash && !TransferAndFlash()) return RunOutcome::Failed;
  return WriteRebootVerify();
}

bool UpgradeRun::IdentityGuard() {
  const std::string& model = restore_->ModelName;
  const std::string unitModel = s_.link.Current().CurrentModel;
  if ((model == "LM-7210A" || model == "LM-7210B") && !Contains(unitModel, model)) {
    const std::string text = "The Data log holds the values of an " + model + ", but this unit is an " + unitModel +
                             ". Nothing has been written to the router.";
    EndRun(kPicturePause, text, text);
    return false;
  }
  // The MAC the unit reported, or the one it answered the search under.
  std::string unitMac = NormalMac(state_.Values[kMac2G]);
  if (unitMac.empty()) unitMac = s_.link.Current().CurrentMacText;
  const std::string logMac = NormalMac(restore_->Values[kMac2G]);
  if (unitMac == logMac) return true;
  const std::string question = "This unit's 2.4 GHz MAC is " + unitMac + ", but the Data log holds the values of the unit " +
                               logMac + ".\nWriting one unit's values into another gives two routers the same MAC.\n"
                               "Write the Data log's values into this unit anyway?";
  if (s_.display.AskYesNo(question)) {
    Log("[System]-Restore: the values of " + logMac + " are written into " + unitMac + " as asked");
    return true;
  }
  EndRun(kPicturePause, "", "[System]-Restore cancelled: nothing has been written to the router.");
  return false;
}

}  // namespace ramtune::upgrade
