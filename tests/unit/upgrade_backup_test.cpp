// The backup of every per-unit value: the reads, their checks, the Data log
// and the way a failed item ends the run.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/text.h"
#include "support/rig.h"
#include "upgrade/calibration_items.h"

namespace ramtune::test {
namespace {

using Lines = std::vector<std::string>;

class BackupTest : public ::testing::Test {
 protected:
  BackupTest() {
    rig.dlg->settings.EngineeringMode = true;
    rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
  }
  // The n-th and later answers to `command` are `good`, the earlier ones `bad`.
  void AnswerLater(const std::string& command, const std::string& bad, const std::string& good, int n) {
    auto count = std::make_shared<int>(0);
    rig.router().script = [=](const std::string& c, Reply& r) {
      if (c != command) return false;
      r.text = ++*count >= n ? good : bad;
      return true;
    };
  }
  long Count(const Lines& lines, const std::string& line) { return std::count(lines.begin(), lines.end(), line); }
  Rig rig;
};

TEST_F(BackupTest, DataLogHoldsThirtyWriteBackLinesInTableOrder) {
  rig.SearchAndRun();
  const Lines data = rig.DataLog();
  ASSERT_EQ(data.size(), 30u);
  const RouterModel& r = rig.router();
  EXPECT_EQ(data[0], "MacAddr_2G 00:11:22:AA:BB:CC");
  EXPECT_EQ(data[1], "MacAddr_5G 00:11:22:AA:BB:CD");
  EXPECT_EQ(data[2], "RegulationDomain_2G US");
  EXPECT_EQ(data[3], "Regrev_2G 12");
  EXPECT_EQ(data[4], "RegulationDomain_5G US");
  EXPECT_EQ(data[5], "Regrev_5G 0");
  EXPECT_EQ(data[6], "PINCode 12345670");
  for (size_t i = upgrade::kPa2ga0; i < upgrade::kCalibrationItemCount; ++i) {
    const std::string key = upgrade::kCalibrationItems[i].key;
    EXPECT_EQ(data[i], key + "=" + r.Get(key));
  }
  EXPECT_EQ(data[29], "odmpid=LM-7210A");
  EXPECT_EQ(rig.dlg->LastResult().modelName, "LM-7210A");
  EXPECT_EQ(rig.dlg->LastResult().operatingMode, "7");
}

TEST_F(BackupTest, ReadsGoInOrderWithProgressTwoBeforeTheBeamformingItems) {
  rig.SearchAndRun();
  const Lines& list = rig.display.listLines;
  const auto at = [&](const std::string& line) { return std::find(list.begin(), list.end(), line) - list.begin(); };
  EXPECT_LT(at("[System]-Backing up data"), at("CurBlVer:1015"));
  EXPECT_LT(at("CurBlVer:1015"), at("7"));
  EXPECT_LT(at("7"), at("2G MAC: 00:11:22:AA:BB:CC"));
  EXPECT_LT(at("1MCSBW805GHPO: 0xccccccc3"), at("SetPos(2)"));
  EXPECT_LT(at("SetPos(2)"), at("TXBF2G: 0x1234"));
  EXPECT_LT(at("TXBF5GB3: 0x5678"), at("MODELNAME: LM-7210A"));
  const auto& commands = rig.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "cat /dev/mtd0 | grep 1:regrev"), commands.end());
  EXPECT_NE(std::find(commands.begin(), commands.end(), "cat /dev/mtd0 |grep odmpid"), commands.end());
}

TEST_F(BackupTest, CarriageReturnBeforeTheLineFeedFailsAMacAfterEightAttempts) {
  AnswerLater("ATE Get_MacAddr_2G", "00:11:22:AA:BB:CC\r\n", "", 100);
  rig.SearchAndRun();
  EXPECT_EQ(Count(rig.Commands(), "ATE Get_MacAddr_2G"), 8);
  const Lines tail(rig.display.events.end() - 5, rig.display.events.end());
  EXPECT_EQ(tail, (Lines{"picture 132", "box Retrieve 2.4G MAC Fail!!", "list Retrieve 2.4G MAC Fail!!",
                         "enable 1 on", "enable 2 on"}));
  EXPECT_TRUE(rig.DataLog().empty());
}

// A value outside the rule for per-unit values is read again like a value of
// the wrong length, and after the eighth attempt ends the run with its own
// item's failure before anything is written to the router.
TEST(BackupRule, AValueOutsideTheRuleEndsTheRunWithItsItemsFailure) {
  const struct {
    size_t item;
    std::string reply;
  } rows[] = {
      {upgrade::kMac2G, "01:00:5E:00:00:01\n"},                          // multicast
      {upgrade::kRegrev5G, "1:regrev=" + std::string(403, '1') + "\n"},  // write-back over the field
      {upgrade::kWpsPin, "-2345670\n"},                                  // taken for an option
      {upgrade::kCalibrationItemCount - 1, "0x567\r\n"},                // six characters with the CR
  };
  for (const auto& row : rows) {
    const upgrade::CalibrationItem& item = upgrade::kCalibrationItems[row.item];
    SCOPED_TRACE(item.key);
    const std::string command =
        item.readCommand[0] != '\0' ? item.readCommand : std::string(upgrade::kBootPartitionGrep) + item.key;
    Rig rig;
    rig.dlg->settings.EngineeringMode = true;
    rig.router().script = [&](const std::string& c, Reply& r) {
      if (c != command) return false;
      r.text = row.reply;
      return true;
    };
    rig.SearchAndRun();
    EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), command), 8);
    EXPECT_EQ(Lines(rig.display.events.end() - 5, rig.display.events.end()),
              (Lines{"picture 132", std::string("box ") + item.failureMessage,
                     std::string("list ") + item.failureMessage, "enable 1 on", "enable 2 on"}));
    EXPECT_EQ(rig.DataLog().size(), row.item);
    EXPECT_TRUE(std::none_of(rig.Commands().begin(), rig.Commands().end(), [](const std::string& c) {
      return c.rfind("ATE Set_", 0) == 0 || c.rfind("nvram set", 0) == 0 || c.rfind("mkdir", 0) == 0;
    }));
    EXPECT_TRUE(Contains(rig.display.listLines.at(rig.display.listLines.size() - 2), " refused: "));
  }
}

TEST_F(BackupTest, AnItemAcceptedOnItsEighthAttemptLogsEightLines) {
  AnswerLater("nvram get 0:pa2ga1", "short\n", "0xff2b,0x1b2f,0xfcb5\n", 8);
  rig.SearchAndRun();
  EXPECT_EQ(Count(rig.display.listLines, "PA-2G-A1: short"), 7);
  EXPECT_EQ(Count(rig.display.listLines, "PA-2G-A1: 0xff2b,0x1b2f,0xfcb5"), 1);
  EXPECT_EQ(rig.DataLog().size(), 30u);
}

TEST_F(BackupTest, AFailureAfterProgressTwoKeepsTheLinesAcceptedSoFar) {
  AnswerLater("nvram get 1:rpcal5gb0", "0x23456\n", "", 100);
  rig.SearchAndRun();
  EXPECT_EQ(rig.display.progress, 2);
  EXPECT_EQ(rig.display.boxes.back(), "Retrieve TXBF5GB0 Fail!!");
  EXPECT_EQ(rig.DataLog().size(), 25u);
}

TEST_F(BackupTest, BootPartitionPrefixIsRemovedAndAnEmptyValueRetried) {
  AnswerLater("cat /dev/mtd0 | grep 0:ccode", "0:ccode=\n", "0:ccode=DE\n", 3);
  rig.SearchAndRun();
  EXPECT_EQ(Count(rig.display.listLines, "2G REG: "), 2);
  EXPECT_EQ(rig.DataLog().at(2), "RegulationDomain_2G DE");
}

TEST_F(BackupTest, OperatingModeWithoutSevenIsAskedFiveTimesAndLeftEmpty) {
  AnswerLater("nvram get wlopmode", "0\n", "0\n", 1);
  rig.SearchAndRun();
  EXPECT_EQ(Count(rig.Commands(), "nvram get wlopmode"), 5);
  EXPECT_EQ(rig.dlg->LastResult().operatingMode, "");
  EXPECT_EQ(rig.DataLog().size(), 30u);

  Rig seventeen;
  seventeen.processes.capturedAnswer = rig.processes.capturedAnswer;
  seventeen.router().Set("wlopmode", "17");
  seventeen.SearchAndRun();
  EXPECT_EQ(seventeen.dlg->LastResult().operatingMode, "7");
}

TEST_F(BackupTest, ModelNameIsSearchedInTheWholeReply) {
  const std::pair<std::string, std::string> cases[] = {
      {"odmpid=QARV LM-7210A\n", "QARV"},
      {"odmpid=LM-7210B", "LM-7210B"},  // no line feed, still found
      {"x\nodmpid=LM-7210A\n", "LM-7210A"},
  };
  for (const auto& [reply, name] : cases) {
    Rig rig;
    rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
    rig.router().script = [reply = reply](const std::string& c, Reply& r) {
      if (c != "cat /dev/mtd0 |grep odmpid") return false;
      r.text = reply;
      return true;
    };
    rig.SearchAndRun();
    EXPECT_EQ(rig.dlg->LastResult().modelName, name) << reply;
    EXPECT_EQ(rig.DataLog().back(), "odmpid=" + name);
  }
}

TEST_F(BackupTest, ModelNameThatCannotBeReadEndsTheRun) {
  AnswerLater("cat /dev/mtd0 |grep odmpid", "odmpid=XR-500\n", "", 100);
  rig.SearchAndRun();
  EXPECT_EQ(Count(rig.Commands(), "cat /dev/mtd0 |grep odmpid"), 8);
  EXPECT_EQ(rig.display.boxes.back(), "Retrieve ModelName Fail!!");
  EXPECT_EQ(rig.display.listLines.back(), "Retrieve ModelName Fail!!");
  EXPECT_EQ(rig.DataLog().size(), 29u);
}

TEST_F(BackupTest, HostileRepliesNeverCrashAndNeverPass) {
  const std::string replies[] = {std::string(420, 'A'), std::string("\0\0\0\n", 4), std::string(1, '\xff'),
                                 "%s%n%s\n", ""};
  for (const std::string& reply : replies) {
    Rig rig;
    rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
    rig.router().script = [reply](const std::string& c, Reply& r) {
      if (c.rfind("ATE Get_FwReady", 0) == 0) return false;
      r.text = reply;
      return true;
    };
    EXPECT_EQ(rig.SearchAndRun(), -1);
    EXPECT_NE(rig.display.picture, kPicturePass);
  }
}

}  // namespace
}  // namespace ramtune::test
