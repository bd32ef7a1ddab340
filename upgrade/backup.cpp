// Backup of every per-unit value before anything is written to the router.
// A value is accepted under the one rule for per-unit values (ValueDefect),
// so that the Data log restores what the run wrote. Each accepted value goes
// to the Data log at once, as its write-back command. Where each value is
// read, and the read itself, are the unit reader's (unit_reads.h).
#include "core/text.h"
#include "upgrade/data_log.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

void UpgradeRun::BackupBanner() {
  EnterPhase(RunPhase::BackingUp, 0);
  Banner("Backup data from DUT");
  Log("[System]-Backing up data");
}

bool UpgradeRun::BackupValues(DataLogFile& file, bool fromBootPartition) {
  // A restore records what the unit holds, whatever it can read.
  const bool lenient = mode_.IsRestore();
  const bool modeSeven = Retry(5, 500, RetryVariant::CountingDown, [&] {
    const std::string line = Ask("nvram get wlopmode", 500);
    Log(line);
    return Contains(line, "7");
  });
  state_.OperatingMode = modeSeven ? "7" : "";

  UnitReader reader = Reader();
  for (size_t i = 0; i < kCalibrationItemCount; ++i) {
    const CalibrationItem& item = kCalibrationItems[i];
    const ReadValue read = reader.Read(i, ReadPlaces(i, fromBootPartition).front());
    std::string& value = state_.Values[i];
    value = read.value;
    if (!read.accepted()) Log(std::string(item.key) + " refused: " + read.defect);
    if (!read.accepted() && lenient) {
      Log(item.failureMessage);
      value.clear();
    } else if (!read.accepted()) {
      EndRun(kPicturePause, item.failureMessage, item.failureMessage);
      return false;
    }
    AppendDataLog(file, WriteCommand(i, value));
    if (i + 1 == kRpcal2g) SetProgress(2);
  }

  const ReadValue model = reader.Read(kModelItem, ReadPlaces(kModelItem, fromBootPartition).front());
  const bool named = model.accepted();
  modelName_ = model.value;
  if (!named && lenient) {
    Log("Retrieve ModelName Fail!!");
    modelName_.clear();
  } else if (!named) {
    EndRun(kPicturePause, "Retrieve ModelName Fail!!", "Retrieve ModelName Fail!!");
    return false;
  }
  Log("MODELNAME: " + modelName_);
  AppendDataLog(file, ModelWriteCommand(modelName_));
  return true;
}

}  // namespace ramtune::upgrade
