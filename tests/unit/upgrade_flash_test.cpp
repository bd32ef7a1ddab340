// Transfer, flash and the checks around it, in virtual time: command order
// and pauses, the single flash of a run, and every ending of the step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cstdint>

#include "core/text.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kImageCheck = "cat /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin |grep bl_version";
const std::string kChmod = "chmod 777 /mnt/cfe/mtd-write";
const std::string kFlashCommand = "/mnt/cfe/mtd-write /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin boot";
const std::string kFlashCheck = "cat /dev/mtd0 |grep bl_version";

std::vector<int> PausesFrom(const Rig& rig, size_t from) {
  return {rig.clock.pauses.begin() + static_cast<long>(from), rig.clock.pauses.end()};
}

class TransferFlashTest : public ::testing::Test {
 protected:
  TransferFlashTest() { rig.dlg->settings.EngineeringMode = true; }
  Rig rig;
};

TEST_F(TransferFlashTest, HealthyStepSendsInOrderWithItsPausesAndLines) {
  rig.router().imageLine = "# bl_version=1.0.1.6 (new)";  // the version anywhere in the line will do
  std::vector<std::string> timeline;  // router commands and uploads
  size_t firstPause = 0, lastPause = 0;
  rig.router().script = [&](const std::string& command, Reply&) {
    if (command == "mkdir /tmp/mnt/cfe") firstPause = rig.clock.pauses.size();
    if (Contains(command, "ATE Set_MacAddr_2G") && lastPause == 0) lastPause = rig.clock.pauses.size();
    timeline.push_back(command);
    return false;
  };
  rig.processes.capturedAnswer = [&](const FakeProcesses::Captured& c) {
    timeline.push_back(Contains(c.commandLine, kBootImageFile) ? "upload image" : "upload tool");
    platform::CapturedRun run;
    run.status = platform::CapturedRun::Status::Ok;
    run.exitCode = 0;
    run.output = "100\n";
    return run;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);

  const auto from = std::find(timeline.begin(), timeline.end(), "mkdir /tmp/mnt/cfe");
  EXPECT_THAT(std::vector<std::string>(from, from + 10),
              ElementsAre("mkdir /tmp/mnt/cfe", "nvram set enable_ftp=1", "nvram set st_ftp_mode=1",
                          "rc rc_service restart_ftpd", "upload image", "upload tool", kImageCheck, kChmod,
                          kFlashCommand, kFlashCheck));
  // The two 500 ms pauses are the uploader's own, after each transfer.
  EXPECT_THAT(std::vector<int>(rig.clock.pauses.begin() + static_cast<long>(firstPause),
                               rig.clock.pauses.begin() + static_cast<long>(lastPause)),
              ElementsAre(200, 200, 200, 200, 500, 500, 1000, 500, 5000));

  const auto& list = rig.display.listLines;
  const auto begin = std::find(list.begin(), list.end(), "Update bootloader");
  const auto end = std::find(begin, list.end(), "SetPos(4)");
  ASSERT_TRUE(begin != list.begin() && end != list.end());
  EXPECT_THAT(std::vector<std::string>(begin - 1, end),
              ElementsAre("############################", "Update bootloader", "############################",
                          "[System]-Upgrading DDR configuration...Please wait...", "mkdir /tmp/mnt/cfe",
                          "nvram set enable_ftp=1", "nvram set st_ftp_mode=1", "rc rc_service restart_ftpd",
                          "ExecuteConsoleCommand_Bin ok!", "Run Bat_Bin OK", "ExecuteConsoleCommand_Mtd ok!",
                          "Run Bat_Mtd OK", kImageCheck, "# bl_version=1.0.1.6 (new)", "SetPos(3)", "",
                          "<<<<<  Start to update bootloader...Please Wait... >>>>>", kChmod, kFlashCommand,
                          "bl_version=1.0.1.6", ""));
}

// An upload counts only when the uploader ended in time with status 0: a
// cut transfer ends the run before the image check and the flash, in
// normal mode with a line that says so.
TEST_F(TransferFlashTest, UploadFailuresEndBeforeTheFlashWithoutPictureOrBox) {
  struct Case {
    const char* name;
    platform::CapturedRun::Status status;
    int exitCode;
    std::string output;
    std::string why;
  };
  const std::string cut = "  % Total\r  4 4419 0 0 100 192\ncurl: (55) Send failure: Connection reset by peer\n"
                          "curl: (25) Upload failed\n";
  const Case cases[] = {
      {"timed out", platform::CapturedRun::Status::TimedOut, -1, "", "Create process timeout!"},
      {"cut, 426", platform::CapturedRun::Status::Ok, 55, cut,
       "curl status 55: curl: (55) Send failure: Connection reset by peer"},
      {"refused, no error line", platform::CapturedRun::Status::Ok, 25, "  0 4419\n", "curl status 25:   0 4419"},
      {"printed nothing", platform::CapturedRun::Status::ReadFailed, 0, "", "curl status 0, Retrieve data error!"},
  };
  for (const Case& c : cases) {
    for (int failing : {1, 2, -1, -2}) {
      Rig rig;
      // Negative: the same in engineering mode.
      rig.dlg->settings.EngineeringMode = failing < 0;
      failing = std::abs(failing);
      int uploads = 0;
      rig.processes.capturedAnswer = [&](const FakeProcesses::Captured&) {
        platform::CapturedRun run;
        const bool fails = ++uploads == failing;
        run.status = fails ? c.status : platform::CapturedRun::Status::Ok;
        run.exitCode = fails ? c.exitCode : 0;
        run.output = fails ? c.output : "100\n";
        return run;
      };
      EXPECT_EQ(rig.SearchAndRun(), -1);
      const std::string file = failing == 1 ? kBootImageFile : kFlashToolFile;
      const std::string line = failing == 1 ? "Run Bat_Bin fail" : "Run Bat_Mtd fail";
      // Shown in normal mode too.
      std::vector<std::string> ending{"list [System]-The upload of " + file + " did not complete (" + c.why +
                                          "). Nothing has been changed on the router. Check the connection to "
                                          "the router, then press Retry.",
                                      "enable 1 on", "enable 2 on"};
      if (rig.dlg->settings.EngineeringMode) ending.insert(ending.begin() + 1, "list " + line);
      EXPECT_EQ(Tail(rig.display.events, ending.size()), ending) << c.name;
      EXPECT_EQ(rig.display.Of("picture").back(), "133");
      EXPECT_TRUE(rig.display.boxes.empty());
      EXPECT_EQ(Count(rig.Commands(), kImageCheck), 0) << c.name;
      EXPECT_EQ(Count(rig.Commands(), kFlashCommand), 0) << c.name;
      EXPECT_FALSE(rig.dlg->LastResult().unitChanged);
    }
  }
}

// Every kind of bad reply makes a check fail with its own ending.
struct BadReply {
  const char* name;
  std::string text;
  bool drop;
  int delayMs;
};
const BadReply kBadReplies[] = {
    {"Wrong", "bl_version=1.0.1.5\n", false, 5},
    {"NoLineFeed", "bl_version=1.0.1.6", false, 5},
    {"VersionOnSecondLine", "grep: error\nbl_version=1.0.1.6\n", false, 5},
    {"Oversized", std::string(600, 'x') + " bl_version=1.0.1.6\n", false, 5},
    {"Late", "bl_version=1.0.1.6\n", false, 16000},
    {"None", "", true, 5},
};
void PrintTo(const BadReply& bad, std::ostream* os) { *os << bad.name; }

class CheckRejects : public ::testing::TestWithParam<std::tuple<bool, BadReply>> {};

TEST_P(CheckRejects, EndsTheRunWithTheCheckFailure) {
  const bool flashCheck = std::get<0>(GetParam());
  const BadReply& bad = std::get<1>(GetParam());
  const std::string checked = flashCheck ? kFlashCheck : kImageCheck;
  Rig rig;
  size_t firstPause = SIZE_MAX;  // pauses made before the flash, or before the first image check
  rig.router().script = [&](const std::string& command, Reply& reply) {
    if (command == (flashCheck ? kFlashCommand : kImageCheck) && firstPause == SIZE_MAX) {
      firstPause = rig.clock.pauses.size();
    }
    if (command != checked) return false;
    reply.text = bad.text;
    reply.drop = bad.drop;
    reply.delayMs = bad.delayMs;
    return true;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);

  if (flashCheck) {
    EXPECT_THAT(rig.EventsBeforeRecoveryHint(4), ElementsAre("picture 131", "box Unable to upload bootloader...",
                                                         "enable 1 on", "enable 2 on"));
    EXPECT_EQ(Count(rig.Commands(), kFlashCheck), 8);
    EXPECT_THAT(PausesFrom(rig, firstPause), ElementsAre(5000, 1000, 1000, 1000, 1000, 1000, 1000, 1000));
  } else {
    EXPECT_THAT(Tail(rig.display.events, 4), ElementsAre("picture 132", "box Unable to check bootloader file",
                                                         "enable 1 on", "enable 2 on"));
    EXPECT_EQ(Count(rig.Commands(), kImageCheck), 5);
    EXPECT_THAT(PausesFrom(rig, firstPause), ElementsAre(1000, 1000, 1000, 1000));
  }
  EXPECT_EQ(rig.router().flashes, flashCheck ? 1 : 0);
  EXPECT_EQ(Count(rig.Commands(), kChmod), flashCheck ? 1 : 0);
  EXPECT_EQ(rig.display.boxes.size(), 1u);
  EXPECT_EQ(rig.router().reboots, 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, CheckRejects, ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kBadReplies)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "FlashCheck" : "ImageCheck") +
                                  std::get<1>(info.param).name;
                         });

TEST_F(TransferFlashTest, SecondPassNeitherUploadsNorFlashesAgain) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    if (reboot == 1) router.SetMtd0("0:pa2ga0", "0xff2a,0x1b2e,0xfcb0");
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.router().reboots, 2);
  EXPECT_EQ(rig.router().flashes, 1);
  for (const std::string& once : {std::string("mkdir /tmp/mnt/cfe"), kImageCheck, kChmod, kFlashCommand, kFlashCheck}) {
    EXPECT_EQ(Count(rig.Commands(), once), 1) << once;
  }
  EXPECT_EQ(rig.processes.captured.size(), 2u);
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

// Nothing of the transfer step goes out unless the Data log on the disk holds
// the run's values and a restore reads them back from it: a line that could
// not be written, a file changed behind the run's back, or one the restore
// reader refuses or reads other values from, ends the run before the flash.
TEST(DurableDataLog, ARunWhoseDataLogIsNotOnTheDiskEndsBeforeTheTransfer) {
  struct Case {
    const char* name;
    const char* when;  // the backup read at which the file is spoiled
    std::function<void(const std::string& path)> spoil;
    const char* why;  // in the ending's parentheses
  };
  // The file as it stands with every item's line, but one value changed.
  const auto changeValue = [](const std::string& path) {
    std::vector<std::string> lines = Rig::FileLines(path);
    lines.at(upgrade::kPa2ga0) = upgrade::DataLogLine(upgrade::kPa2ga0, "0xff2a,0x1b2e,0xfcb0");
    std::filesystem::remove(path);
    for (const std::string& line : lines) platform::AppendToFile(path, line + "\r\n");
  };
  for (const Case& c : std::vector<Case>{
           {"cannot be written", "ATE Get_MacAddr_2G",
            [](const std::string& path) { std::filesystem::create_directory(path); }, ""},
           {"changed behind the run", "cat /dev/mtd0 |grep odmpid",
            [](const std::string& path) { platform::AppendToFile(path, "MacAddr_2G 00:00:00:00:00:01\r\n"); },
            "a restore would refuse it, line 31: missing key MacAddr_5G"},
           // The run's own 30 lines are the file's last: only the reader sees the fault.
           {"a line before the run that a restore refuses", "ATE Get_MacAddr_2G",
            [](const std::string& path) { platform::AppendToFile(path, "hello\r\n"); },
            "a restore would refuse it, line 1: unknown key hello"},
           {"a value changed behind the run", "cat /dev/mtd0 |grep odmpid", changeValue,
            "a restore would read other values from it than this run read"},
       }) {
    Rig rig;
    rig.dlg->settings.EngineeringMode = true;
    bool spoiled = false;
    rig.router().script = [&](const std::string& command, Reply&) {
      if (command == c.when && !spoiled) {
        spoiled = true;
        c.spoil(rig.dlg->logs.DataLogPath);
      }
      return false;
    };
    ASSERT_TRUE(rig.dlg->link.discovery.SearchRouter(rig.dlg->Unit()));
    EXPECT_EQ(rig.dlg->RunUpgrade()->outcome, upgrade::RunOutcome::DataLogNotWritten) << c.name;
    EXPECT_EQ(Count(rig.Commands(), "mkdir /tmp/mnt/cfe"), 0) << c.name;
    EXPECT_TRUE(rig.processes.captured.empty()) << c.name;
    const std::string& path = rig.dlg->logs.DataLogPath;
    ASSERT_EQ(rig.display.boxes.size(), 1u) << c.name;
    const std::string& box = rig.display.boxes[0];
    EXPECT_TRUE(Contains(box, "The Data log " + path + " could not be written (" + c.why)) << box;
    EXPECT_TRUE(Contains(box, "Nothing has been changed on the router.")) << box;
    EXPECT_THAT(Tail(rig.display.events, 5),
                ElementsAre("picture 132", "box " + box, "list " + box, "enable 1 on", "enable 2 on"))
        << c.name;
  }
}

TEST(DurableDataLog, TwoRunsInOneSecondShareTheFileAndBothFlash) {
  Rig rig;
  const std::string oldBootloader = rig.router().Get("bl_version");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.display.picture, kPicturePass);
  const size_t linesOfOneRun = rig.DataLog().size();
  // The same unit again, in the same second, with its old bootloader back.
  rig.router().Set("bl_version", oldBootloader);
  ASSERT_TRUE(rig.dlg->link.discovery.SearchRouter(rig.dlg->Unit()));
  EXPECT_EQ(rig.dlg->RunUpgrade()->outcome, upgrade::RunOutcome::Completed);
  EXPECT_EQ(rig.DataLog().size(), 2 * linesOfOneRun);
  EXPECT_EQ(Count(rig.Commands(), kFlashCommand), 2);
}

}  // namespace
}  // namespace ramtune::test
