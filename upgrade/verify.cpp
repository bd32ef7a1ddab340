// Verification after the reboot: every value the run wrote is read back and
// compared, board settings from the running system first, then the identity
// and calibration values from the boot partition, the model id and last the
// bootloader version. A mismatch on the first pass repeats the write-back,
// reboot and verification once; a mismatch on the second pass ends the run.
#include "core/text.h"
#include "upgrade/restore_verify_tables.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

UpgradeRun::Verdict UpgradeRun::Verify() {
  EnterPhase(RunPhase::Verifying, 0);
  for (const VerifyRow& row : kVerifyRows) {
    if (row.bannerBefore != nullptr) Banner(row.bannerBefore);
    if (row.statusBefore != nullptr) Log(row.statusBefore);

    std::string expected;
    switch (row.expect) {
      case Expect::Text: expected = row.text; break;
      case Expect::Kept: expected = state_.Values[row.item]; break;
      case Expect::ModelName: expected = modelName_; break;
      case Expect::ImageVersion: expected = kBootImageVersion; break;
    }

    const bool passed = Retry(row.attempts, 1000, RetryVariant::CountingDown, [&] {
      std::string value;
      switch (row.read) {
        case ReadFrom::Running:
          value = Ask(std::string("nvram get ") + row.key, 1000);
          break;
        case ReadFrom::Partition:
          s_.link.commands.QueryMtd0Value(state_.Unit, row.key);
          value = s_.link.commands.ResponseText();
          break;
        case ReadFrom::ModelName:
          // The whole reply: the model name may be anywhere in it.
          Send(kModelNameQuery, 1000);
          value = s_.link.commands.ResponseText();
          Log(FillIn(row.logFormat, value));
          return !expected.empty() && Contains(value, expected);
      }
      Log(FillIn(row.logFormat, value));
      if (row.removeBlanks) value = RemoveChar(value, ' ');
      return value == expected;
    });

    if (!passed) {
      if (state_.PassFlag) {
        state_.PassFlag = false;
        return Verdict::SecondPass;
      }
      // The bootloader row fails like every other row: a run whose flashed
      // version cannot be confirmed is never reported as completed.
      EndRun(row.read == ReadFrom::ModelName ? kPicturePause : kPictureFail, kDataError,
             std::string(">>Compare ") + row.name + " Fail!!");
      return Verdict::Failed;
    }
    Log(std::string(">>Compare ") + row.name + " OK!!");
    if (row.progressAfter != 0) SetProgress(row.progressAfter);
  }

  s_.display.SetProgress(20);
  s_.display.SetPicture(kPicturePass);
  Log("Complete");
  Log("[System]-Upgrade completed");
  if (mode_.IsRestore()) Log("[System]-Restore: the values of the Data log " + mode_.source.path + " are back in the unit");
  s_.display.EnableButton(kButtonRetry, false);
  s_.display.EnableButton(kButtonExit, true);
  return Verdict::Completed;
}

}  // namespace ramtune::upgrade
