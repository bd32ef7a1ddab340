// Transfer of the new bootloader and the flash tool, the flash and the checks
// on either side of it. This is the step that changes the router: the flash
// command is sent once per run, and nothing here repeats an upload or a flash.
#include "core/text.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

// Switches on the router's FTP service; replies are not looked at.
const char* const kFtpPreparation[] = {
    "mkdir /tmp/mnt/cfe",
    "nvram set enable_ftp=1",
    "nvram set st_ftp_mode=1",
    "rc rc_service restart_ftpd",
};

const char* const kImageCheck = "cat /mnt/cfe/cfe_lm-7210a_%s.bin |grep bl_version";
const char* const kMakeToolExecutable = "chmod 777 /mnt/cfe/mtd-write";
const char* const kFlash = "/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_%s.bin boot";
const char* const kFlashCheck = "cat /dev/mtd0 |grep bl_version";

}  // namespace

PhaseEnd UpgradeRun::TransferAndFlash() {
  EnterPhase(RunPhase::Uploading, 0);
  Banner("Update bootloader");
  Log("[System]-Upgrading DDR configuration...Please wait...");

  for (const char* command : kFtpPreparation) {
    Log(command);
    Send(command, 3000);
    s_.waits.PumpingDelay(200);
  }

  if (!s_.runner.UploadBootImage(Addressed())) {
    EndRun(0, "", "Run Bat_Bin fail");
    return RunOutcome::Failed;
  }
  Log("Run Bat_Bin OK");
  if (!s_.runner.UploadFlashTool(Addressed())) {
    EndRun(0, "", "Run Bat_Mtd fail");
    return RunOutcome::Failed;
  }
  Log("Run Bat_Mtd OK");
  s_.waits.PumpingDelay(1000);

  // Only the router can tell whether the image arrived whole.
  const std::string imageCheck = FillIn(kImageCheck, kBootImageVersion);
  const bool imageFound = Retry(5, 1000, RetryVariant::CountingDown, [&] {
    const std::string line = Ask(imageCheck, 15000);
    Log(imageCheck);
    Log(line);
    return Contains(line, kBootImageVersion);
  });
  if (!imageFound) {
    EndRun(kPicturePause, "Unable to check bootloader file", "");
    return RunOutcome::Failed;
  }
  SetProgress(3);
  EnterPhase(RunPhase::Flashing, 0);
  Log("");
  Log("<<<<<  Start to update bootloader...Please Wait... >>>>>");

  Log(kMakeToolExecutable);
  Send(kMakeToolExecutable, 3000);
  s_.waits.PumpingDelay(500);

  // The write goes on after the reply limit; the pause and the checks below
  // cover its time.
  const std::string flash = FillIn(kFlash, kBootImageVersion);
  if (PhaseEnd end = MarkUnitChanged()) return end;
  Log(flash);
  Send(flash, 3000);
  s_.waits.PumpingDelay(5000);

  const bool flashed = Retry(8, 1000, RetryVariant::CountingDown, [&] {
    const std::string line = Ask(kFlashCheck, 15000);
    Log(line);
    Log("");
    return Contains(line, kBootImageVersion);
  });
  if (!flashed) {
    EndRun(kPictureFail, "Unable to upload bootloader...", "");
    return RunOutcome::Failed;
  }
  state_.BootloaderAfter = kBootImageVersion;
  SetProgress(4);
  return kGoOn;
}

}  // namespace ramtune::upgrade
