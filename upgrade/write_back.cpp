// Write-back after the flash: identity values through the factory test
// commands (checked), calibration values as hand-over variables that the
// firmware carries into the new bootloader's configuration (unchecked), the
// board settings of the new bootloader, and the commit. Runs once per pass.
#include "core/text.h"
#include "upgrade/data_log.h"
#include "upgrade/restore_verify_tables.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

PhaseEnd UpgradeRun::RestoreAndCommit() {
  EnterPhase(RunPhase::WritingBack, 0);
  if (!state_.PassFlag) Log("============= RETRY ==============");
  Banner("Write data to DUT");
  Log("[System]-Writing data");
  if (PhaseEnd end = MarkUnitChanged()) return end;

  // The router echoes the value it has set; anything else is sent again.
  for (const IdentityWrite& write : kIdentityWrites) {
    const std::string& value = state_.Values[write.item];
    const std::string command = WriteCommand(write.item, value);
    const bool written = Retry(8, 1000, RetryVariant::CountingDown, [&] {
      const std::string line = Ask(command, 1000);
      Log(line);
      return line == value;
    });
    if (!written) {
      EndRun(kPictureFail, write.failureMessage, write.failureMessage);
      return RunOutcome::Failed;
    }
  }

  auto writeUnchecked = [&](const std::string& command, int pauseMs) {
    Log(command);
    Send(command, 1000);
    s_.waits.PumpingDelay(pauseMs);
  };
  for (size_t i = kPa2ga0; i < kCalibrationItemCount; ++i) {
    writeUnchecked(WriteCommand(i, state_.Values[i]), 100);
  }
  writeUnchecked(ModelWriteCommand(modelName_), 100);
  writeUnchecked(kTestModeWrite, 100);

  // The operating mode is logged after its reply, unlike the other writes.
  if (state_.OperatingMode == "7") {
    const std::string command = kOperatingModeWrite + state_.OperatingMode;
    Send(command, 1000);
    Log(command);
    s_.waits.PumpingDelay(100);
    Send(kCommit, 1000);
    Log(kCommit);
    s_.waits.PumpingDelay(1000);
  }

  for (const char* setting : kBoardSettings) writeUnchecked(FillIn(setting, kBootImageVersion), 500);

  // A confirmation that comes after the reply limit still counts, so the
  // reply is looked at again without sending the commit a second time. A
  // commit that is never confirmed does not stop the run.
  Log(kCommit);
  Send(kCommit, 1000);
  for (int check = 1; check <= 10; ++check) {
    const std::string line = FirstLine(s_.link.commands.ResponseText());
    if (Contains(line, "1")) {
      Log(line);
      break;
    }
    s_.waits.PumpingDelay(1000);
  }
  return kGoOn;
}

}  // namespace ramtune::upgrade
