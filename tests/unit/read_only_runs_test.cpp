// The runs that only read, in virtual time against the scripted router: a
// backup and a check send no write, no upload and no reboot; a backup's Data
// log restores what the unit holds (from the boot partition on an upgraded
// unit); a check names what differs and ends the way the front ends report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/console/options.h"
#include "support/lines.h"
#include "support/rig.h"
#include "upgrade/data_log_reader.h"
#include "upgrade/run_mark.h"

namespace ramtune::test {
namespace {

using ::testing::HasSubstr;


class ReadOnlyRunTest : public ::testing::Test {
 protected:
  // Starts the program in `mode` and runs it until it is idle or ends.
  int Start(upgrade::RunKind kind, const std::string& path = "") {
    rig.router().commands.clear();
    rig.display.events.clear();
    rig.display.boxes.clear();
    if (kind == upgrade::RunKind::Backup) rig.dlg->Request(upgrade::RunMode::Backup());
    if (kind == upgrade::RunKind::Check) rig.dlg->Request(upgrade::RunMode::CheckAgainst(path));
    rig.display.SetTimer(kStartTimer, 100);
    return rig.RunMessages();
  }
  // A backup of the unit as it stands; its Data log's path.
  std::string Backup() {
    EXPECT_EQ(Start(upgrade::RunKind::Backup), -1);
    EXPECT_EQ(rig.dlg->LastResult().outcome, upgrade::RunOutcome::BackedUp);
    rig.clock.timeStamp = "20261208093100";  // the next run's logs a minute later
    return rig.dlg->LastResult().dataLog;
  }
  // Every command after the search that changes something on the router.
  std::vector<std::string> Changes() {
    std::vector<std::string> out;
    for (const std::string& c : rig.Commands()) {
      if (c.find("Set_") != std::string::npos || StartsWith(c, "nvram set") || StartsWith(c, "nvram commit") ||
          c == "reboot" || c.find("mtd-write") != std::string::npos || c.find("/mnt/cfe") != std::string::npos) {
        out.push_back(c);
      }
    }
    return out;
  }
  std::vector<std::string> Log() const { return rig.ProcessLog(); }

  Rig rig;
};

TEST_F(ReadOnlyRunTest, NeitherModeWritesUploadsOrReboots) {
  const std::string dataLog = Backup();
  // The Data log of a unit whose 5 GHz calibration was changed since.
  upgrade::DataLogValues changed;
  upgrade::DataLogDefect defect;
  ASSERT_TRUE(upgrade::ReadDataLog(dataLog, &changed, &defect));
  changed.Values[upgrade::kPa2ga0] = "0x1111,0x2222,0x3333";
  const std::string changedLog = rig.folder + "/changed_Data_20261208093000.txt";
  for (const std::string& line : upgrade::DataLogLines(changed)) AppendLogLine(changedLog, line);

  struct Case {
    const char* name;
    upgrade::RunKind kind;
    std::string path;
    upgrade::RunOutcome outcome;
    upgrade::RunOutcome ending;
    int status;
    int picture;
    std::string lastLine;
  } cases[] = {
      {"backup", upgrade::RunKind::Backup, "", upgrade::RunOutcome::BackedUp, upgrade::RunOutcome::BackedUp, 0, kPictureLogo,
       "[System]-Backup: the values of this unit are in the Data log "},
      {"check, same", upgrade::RunKind::Check, dataLog, upgrade::RunOutcome::CheckSame, upgrade::RunOutcome::CheckSame, 0,
       kPictureLogo, "[System]-Check: the unit holds the values of the Data log " + dataLog},
      {"check, one differs", upgrade::RunKind::Check, changedLog, upgrade::RunOutcome::CheckDiffers,
       upgrade::RunOutcome::CheckDiffers, 8, kPictureFail,
       "[System]-Check: The unit differs from the Data log " + changedLog + " in 0:pa2ga0; nothing"},
  };
  for (const Case& c : cases) {
    const int flashes = rig.router().flashes;
    const int reboots = rig.router().reboots;
    rig.processes.captured.clear();
    rig.processes.hidden.clear();
    EXPECT_EQ(Start(c.kind, c.path), -1) << c.name;
    const upgrade::RunResult& result = rig.dlg->LastResult();
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(rig.dlg->LastEnding()->outcome, c.ending) << c.name;
    EXPECT_EQ(rig.dlg->LastEnding()->ExitStatus(), c.status) << c.name;
    EXPECT_EQ(rig.display.picture, c.picture) << c.name;
    EXPECT_THAT(Changes(), ::testing::IsEmpty()) << c.name;
    EXPECT_EQ(rig.router().flashes, flashes) << c.name;
    EXPECT_EQ(rig.router().reboots, reboots) << c.name;
    EXPECT_TRUE(rig.processes.captured.empty()) << c.name;  // no upload
    // The SSID tool's /GET as in a run; the versions of both bootloaders read.
    EXPECT_TRUE(std::any_of(rig.processes.hidden.begin(), rig.processes.hidden.end(),
                            [](const auto& run) { return run.first.find("/GET") != std::string::npos; }))
        << c.name;
    EXPECT_THAT(rig.Commands(), ::testing::Contains(upgrade::kBootPartitionVersionQuery)) << c.name;
    ASSERT_FALSE(Log().empty()) << c.name;
    EXPECT_TRUE(StartsWith(Log().back(), c.lastLine)) << c.name << ": " << Log().back();
    EXPECT_THAT(Log().back(), HasSubstr("nothing has been changed on the router")) << c.name;
    // A backup writes a restorable Data log; a check writes none.
    if (c.kind == upgrade::RunKind::Backup) {
      upgrade::DataLogValues read;
      EXPECT_TRUE(upgrade::ReadDataLog(result.dataLog, &read, &defect)) << c.name;
    } else {
      EXPECT_EQ(result.dataLog, "") << c.name;
    }
    rig.clock.timeStamp = std::to_string(std::stoll(rig.clock.timeStamp) + 1);
  }
  EXPECT_THAT(rig.dlg->LastResult().differing, ::testing::ElementsAre("0:pa2ga0"));
  EXPECT_EQ(rig.display.boxes.size(), 1u);  // the difference is said in a box too
}

// The Data log of a run that did not finish is the unit's true copy: a
// backup would read what the interrupted run left, and a check that finds
// the unit "the same" would call an unfinished unit done. Both end
// unfinished (6); the open change here is a mark an earlier version left in
// the working folder, taken into the ledger by the run.
TEST_F(ReadOnlyRunTest, AUnitWithAnUnfinishedRunEndsUnfinished) {
  const std::string dataLog = Backup();
  std::ofstream(upgrade::MarkPath(rig.folder + "/", "001122AABBCC"), std::ios::binary)
      << upgrade::MarkText({"", "001122AABBCC", dataLog, "20261208090000"});
  for (upgrade::RunKind kind : {upgrade::RunKind::Backup, upgrade::RunKind::Check}) {
    const bool backup = kind == upgrade::RunKind::Backup;
    EXPECT_EQ(Start(kind, dataLog), -1);
    EXPECT_EQ(rig.dlg->LastResult().outcome, upgrade::RunOutcome::Unfinished);
    EXPECT_EQ(upgrade::ExitStatusOf(rig.dlg->LastEnding()->outcome), 6);
    if (backup) {
      EXPECT_THAT(Log(), ::testing::Contains(HasSubstr("Taken into the unit ledger")));
      EXPECT_THAT(Log().back(), HasSubstr("Backup refused: the last run on this unit did not finish"));
    }
    if (backup) {
      EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "nvram get wlopmode"), 0);
    }
    EXPECT_TRUE(Changes().empty());
    rig.clock.timeStamp = std::to_string(std::stoll(rig.clock.timeStamp) + 100);
  }
}

// A Data log the ledger knows, changed since its run wrote it: said before
// anything is sent, and again as nothing at all for the file as written.
TEST_F(ReadOnlyRunTest, ADataLogChangedSinceItWasWrittenIsSaidBeforeTheCheck) {
  const std::string dataLog = Backup();
  for (const bool edited : {false, true}) {
    if (edited) std::ofstream(dataLog, std::ios::app | std::ios::binary) << "\r\n";
    Start(upgrade::RunKind::Check, dataLog);
    const bool said = !rig.display.boxes.empty() &&
                      rig.display.boxes.front().find("with other contents") != std::string::npos;
    EXPECT_EQ(said, edited);
    rig.clock.timeStamp = std::to_string(std::stoll(rig.clock.timeStamp) + 100);
  }
}

// No model or bootloader gate: a newer bootloader is backed up as well.

TEST_F(ReadOnlyRunTest, ABackupReadsAnyBootloaderAndShowsBothVersions) {
  rig.router().Set("bl_version", "1.0.1.7");
  Backup();
  EXPECT_THAT(Log(), ::testing::Contains("[System]-Backup: bootloader running 1.0.1.7, boot partition 1.0.1.5"));
  EXPECT_EQ(rig.dlg->LastResult().bootloaderBefore, "1.0.1.7");
  EXPECT_EQ(Rig::FileLines(rig.dlg->LastResult().dataLog).size(), 30u);
}

// On a unit whose boot partition already holds the image's bootloader, the
// running variables and the boot partition may differ: the backup keeps the
// boot partition's, and a check of that unit against the backup is the same.
TEST_F(ReadOnlyRunTest, AnUpgradedUnitIsBackedUpFromItsBootPartition) {
  UpgradeInPlace(rig.router());
  const std::string kept = rig.router().Mtd0("0:pa2ga1");
  rig.router().Set("0:pa2ga1", "0xffff,0xffff,0xffff");
  const std::string dataLog = Backup();
  EXPECT_THAT(Log(), ::testing::Contains(HasSubstr("the boot partition holds 1.0.1.6: each value is read from")));
  EXPECT_THAT(Rig::FileLines(dataLog), ::testing::Contains("0:pa2ga1=" + kept));
  EXPECT_THAT(rig.Commands(), ::testing::Not(::testing::Contains("nvram get 0:pa2ga1")));
  EXPECT_EQ(Start(upgrade::RunKind::Check, dataLog), -1);
  EXPECT_EQ(rig.dlg->LastResult().outcome, upgrade::RunOutcome::CheckSame);
  EXPECT_THAT(Changes(), ::testing::IsEmpty());
}

TEST_F(ReadOnlyRunTest, AnotherOrAWipedUnitDiffersAndItsMacIsSaidFirst) {
  const std::string dataLog = Backup();
  WipeToFactory(rig.router(), false);
  EXPECT_EQ(Start(upgrade::RunKind::Check, dataLog), -1);
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::CheckDiffers);
  const std::vector<std::string> log = Log();
  const auto mac = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return StartsWith(l, "[System]-Check: this unit's 2.4 GHz MAC is 00904C000001");
  });
  const auto table = std::find_if(log.begin(), log.end(), [](const std::string& l) { return StartsWith(l, "[System]-  item"); });
  ASSERT_NE(mac, log.end());
  EXPECT_LT(mac, table);
  EXPECT_GE(rig.dlg->LastResult().differing.size(), 20u);
  EXPECT_THAT(Changes(), ::testing::IsEmpty());
}

TEST_F(ReadOnlyRunTest, ADataLogTheRestoreReaderRefusesIsNotCheckedAgainst) {
  const std::string bad = rig.folder + "/bad_Data_1.txt";
  AppendLogLine(bad, "MacAddr_2G nonsense");
  EXPECT_EQ(Start(upgrade::RunKind::Check, bad), 0);
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::DataLogRefused);
  EXPECT_THAT(rig.display.boxes, ::testing::ElementsAre(HasSubstr("This Data log cannot be checked against: ")));
  EXPECT_TRUE(rig.Commands().empty());
}

}  // namespace
}  // namespace ramtune::test
