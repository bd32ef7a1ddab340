// Backup of every per-unit value before anything is written to the router.
// A value is accepted under the one rule for per-unit values (ValueDefect),
// so that the Data log restores what the run wrote. Each accepted value goes
// to the Data log at once, as its write-back command.
#include "core/text.h"
#include "upgrade/data_log.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

void UpgradeRun::BackupBanner() {
  EnterPhase(RunPhase::BackingUp, 0);
  Banner("Backup data from DUT");
  Log("[System]-Backing up data");
}

bool UpgradeRun::BackupValues(DataLogFile& file) {
  // A restore records what the unit holds, whatever it can read.
  const bool lenient = mode_.IsRestore();
  const bool modeSeven = Retry(5, 500, RetryVariant::CountingDown, [&] {
    const std::string line = Ask("nvram get wlopmode", 500);
    Log(line);
    return Contains(line, "7");
  });
  state_.OperatingMode = modeSeven ? "7" : "";

  for (size_t i = 0; i < kCalibrationItemCount; ++i) {
    const CalibrationItem& item = kCalibrationItems[i];
    const std::string command =
        item.readCommand[0] != '\0' ? item.readCommand : std::string(kBootPartitionGrep) + item.key;
    std::string& value = state_.Values[i];
    std::string defect;
    const bool accepted = Retry(8, 1000, RetryVariant::CountingDown, [&] {
      value = Ask(command, 500);
      if (item.prefix[0] != '\0') value = ReplaceAll(value, item.prefix, "");
      Log(FillIn(item.logFormat, value));
      defect = ValueDefect(i, value);
      return defect.empty();
    });
    if (!accepted) Log(std::string(item.key) + " refused: " + defect);
    if (!accepted && lenient) {
      Log(item.failureMessage);
      value.clear();
    } else if (!accepted) {
      EndRun(kPicturePause, item.failureMessage, item.failureMessage);
      return false;
    }
    AppendDataLog(file, WriteCommand(i, value));
    if (i + 1 == kRpcal2g) SetProgress(2);
  }

  const bool named = Retry(8, 1000, RetryVariant::CountingDown, [&] {
    s_.link.SendCommand(kModelNameQuery, 1000);
    const std::string reply = s_.link.ResponseText();
    for (const char* name : kModelNames) {
      if (Contains(reply, name)) {
        modelName_ = name;
        return true;
      }
    }
    return false;
  });
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
