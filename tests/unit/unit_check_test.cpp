// A unit's values read where they are and compared with a Data log's, in
// virtual time against the scripted router: where each value is read on an
// older unit and on one that already has the image's bootloader, lenient
// reads, and the table a check shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/rig.h"
#include "upgrade/unit_check.h"

namespace ramtune::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using upgrade::kModelItem;

// The values a Data log written from `r` before anything changed holds.
upgrade::DataLogValues LogOf(const RouterModel& r) {
  upgrade::DataLogValues log;
  const char* const identity[] = {"et0macaddr", "1:macaddr", "0:ccode", "0:regrev", "1:ccode", "1:regrev", "secret_code"};
  for (size_t i = 0; i < upgrade::kCalibrationItemCount; ++i) {
    log.Values[i] = i < upgrade::kPa2ga0 ? r.Mtd0(identity[i]) : r.Get(upgrade::kCalibrationItems[i].key);
  }
  log.ModelName = r.Mtd0("odmpid");
  return log;
}

class UnitCheckTest : public ::testing::Test {
 protected:
  UnitCheckTest() { log = LogOf(rig.router()); }

  upgrade::UnitCheck Check() {
    EXPECT_TRUE(rig.dlg->link.discovery.SearchRouter(rig.dlg->Unit()));
    const link::Target unit = link::Target::Chosen(rig.dlg->link.discovery.LastFound());
    upgrade::UnitReader reader(rig.dlg->link.commands, unit, rig.dlg->waits, [this](const std::string& l) { logged.push_back(l); });
    const upgrade::UnitReader::Versions versions = reader.ReadVersions();
    return upgrade::ReadForCheck(reader, log, versions, unit.macText);
  }
  // The commands after the search that read something else than a value.
  std::vector<std::string> Writes() {
    std::vector<std::string> out;
    for (const std::string& c : rig.Commands()) {
      if (c.find("Set_") != std::string::npos || c.rfind("nvram set", 0) == 0 || c == "reboot" ||
          c.find("mtd-write") != std::string::npos || c.find("/mnt/cfe") != std::string::npos) {
        out.push_back(c);
      }
    }
    return out;
  }
  static const upgrade::CheckedValue* Row(const upgrade::UnitCheck& check, size_t item) {
    for (const upgrade::CheckedValue& v : check.values) {
      if (v.item == item) return &v;
    }
    return nullptr;
  }

  Rig rig;
  upgrade::DataLogValues log;
  std::vector<std::string> logged;
};

TEST(ReadPlaces, OlderUnitsAreReadLikeTheBackupUpgradedOnesInTheBootPartition) {
  using upgrade::DescribePlace;
  using upgrade::ReadPlaces;
  struct Case {
    size_t item;
    bool fromBootPartition;
    std::vector<std::string> places;
  } cases[] = {
      {upgrade::kMac2G, false, {"ATE Get_MacAddr_2G"}},
      {upgrade::kMac2G, true, {"boot partition et0macaddr", "boot partition 0:macaddr"}},
      {upgrade::kMac5G, true, {"boot partition 1:macaddr"}},
      {upgrade::kCcode2G, false, {"cat /dev/mtd0 | grep 0:ccode"}},
      {upgrade::kWpsPin, true, {"boot partition secret_code"}},
      {upgrade::kPa2ga0, false, {"nvram get 0:pa2ga0"}},
      {upgrade::kPa2ga0, true, {"boot partition 0:pa2ga0"}},
      {28, true, {"boot partition 1:rpcal5gb3"}},
      {kModelItem, false, {"cat /dev/mtd0 |grep odmpid"}},
      {kModelItem, true, {"cat /dev/mtd0 |grep odmpid"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> places;
    for (const upgrade::ReadPlace& p : ReadPlaces(c.item, c.fromBootPartition)) places.push_back(DescribePlace(p));
    EXPECT_EQ(places, c.places) << upgrade::ItemName(c.item) << " " << c.fromBootPartition;
  }
  size_t reads = 0;
  for (size_t item = 0; item <= kModelItem; ++item) reads += ReadPlaces(item, true).size();
  EXPECT_EQ(reads, 31u);  // the verification's rows 7 to 37
}

TEST_F(UnitCheckTest, AnUntouchedUnitIsTheDataLogsAndNothingIsWritten) {
  const upgrade::UnitCheck check = Check();
  EXPECT_FALSE(check.versions.imageInBootPartition);
  EXPECT_EQ(check.versions.running, "1.0.1.5");
  EXPECT_EQ(check.values.size(), 30u);
  EXPECT_TRUE(check.DifferingItems().empty());
  EXPECT_FALSE(check.OtherUnit());
  EXPECT_TRUE(Writes().empty());
  const std::vector<std::string> lines = upgrade::CheckLines(check, "x_Data_1.txt");
  EXPECT_THAT(lines[1], HasSubstr("bootloader running 1.0.1.5, boot partition 1.0.1.5"));
  EXPECT_EQ(lines[2], "[System]-Check: all 29 items and the model id are the Data log's");
  for (const std::string& line : lines) EXPECT_THAT(line, HasSubstr("[System]"));  // shown in normal mode
}

TEST_F(UnitCheckTest, OneDifferingValueIsNamedAndLeadsTheTable) {
  rig.router().Set("1:rpcal5gb1", "0x3457");
  const upgrade::UnitCheck check = Check();
  EXPECT_THAT(check.DifferingItems(), ElementsAre("1:rpcal5gb1"));
  EXPECT_FALSE(check.OtherUnit());
  const std::vector<std::string> lines = upgrade::CheckLines(check, "x_Data_1.txt");
  EXPECT_EQ(lines[2], "[System]-Check: 1 of 30 values differ: 1:rpcal5gb1");
  EXPECT_THAT(lines[3], HasSubstr("item"));
  EXPECT_THAT(lines[4], ::testing::MatchesRegex(
                            R"(\[System\]-  1:rpcal5gb1 +nvram get 1:rpcal5gb1 +0x3456 +0x3457 +DIFFERENT)"));
  EXPECT_THAT(lines[5], ::testing::EndsWith("same"));
}

TEST_F(UnitCheckTest, AnotherUnitsMacIsSaidFirstAndTheComparisonStillShown) {
  log.Values[upgrade::kMac2G] = "00:11:22:AA:BB:CE";
  const upgrade::UnitCheck check = Check();
  EXPECT_TRUE(check.OtherUnit());
  const std::vector<std::string> lines = upgrade::CheckLines(check, "x_Data_1.txt");
  EXPECT_EQ(lines[2],
            "[System]-Check: this unit's 2.4 GHz MAC is 001122AABBCC, the Data log holds the values of the unit "
            "001122AABBCE (another unit, or one whose values were wiped)");
  EXPECT_EQ(lines[3], "[System]-Check: 1 of 30 values differ: 2.4 GHz MAC");
  EXPECT_EQ(lines.size(), 4u + 1u + 30u);
}

TEST_F(UnitCheckTest, AWipedUnitIsReadToTheEndAndEveryWipedValueDiffers) {
  WipeToFactory(rig.router(), false);
  rig.router().Set("0:pa2ga0", "");  // nothing to read: the rule refuses it, the reads go on
  const upgrade::UnitCheck check = Check();
  EXPECT_EQ(check.values.size(), 30u);
  EXPECT_TRUE(check.OtherUnit());
  const upgrade::CheckedValue* pa = Row(check, upgrade::kPa2ga0);
  ASSERT_NE(pa, nullptr);
  EXPECT_FALSE(pa->unit.accepted());
  EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "nvram get 0:pa2ga0"), 8);
  const std::vector<std::string> differing = check.DifferingItems();
  EXPECT_EQ(differing.size(), 27u) << ::testing::PrintToString(differing);  // all but both regrevs and the model
  EXPECT_THAT(upgrade::CheckLines(check, "x"),
              ::testing::Contains(HasSubstr("(empty) [0 characters, the backup accepts exactly 20]")));
  EXPECT_TRUE(Writes().empty());
}

TEST_F(UnitCheckTest, AnUpgradedUnitIsReadFromTheBootPartitionNotTheRunningVariables) {
  UpgradeInPlace(rig.router());
  rig.router().Set("0:pa2ga1", "0xffff,0xffff,0xffff");  // running differs, boot partition holds the Data log's
  rig.router().SetMtd0("1:pa5ga2", std::string(83, '1'));  // boot partition differs, running holds the Data log's
  const upgrade::UnitCheck check = Check();
  EXPECT_TRUE(check.versions.imageInBootPartition);
  EXPECT_EQ(check.values.size(), 31u);
  EXPECT_THAT(check.DifferingItems(), ElementsAre("1:pa5ga2"));
  EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "nvram get 0:pa2ga1"), 0);
  const std::vector<std::string> lines = upgrade::CheckLines(check, "x");
  EXPECT_THAT(lines[1], HasSubstr("boot partition 1.0.1.6: the values are read from the boot partition"));
  // GoogleTest's simple regular expressions (the Windows build) have no {n}.
  EXPECT_THAT(lines[4], ::testing::MatchesRegex(R"(\[System\]-  1:pa5ga2 +boot partition 1:pa5ga2 +0xff6d.* +1+ +DIFFERENT)"));
  EXPECT_THAT(lines[4], HasSubstr(" " + std::string(83, '1') + " "));
  EXPECT_THAT(lines.back(), HasSubstr("for information, boot partition bl_version: 1.0.1.6"));
  EXPECT_THAT(lines[lines.size() - 7], HasSubstr("for information, nvram get clkfreq: 800,666 (the image's 800,666)"));
  EXPECT_TRUE(Writes().empty());
}

TEST_F(UnitCheckTest, TheTwoBootPartitionMacsAreBothCompared) {
  UpgradeInPlace(rig.router());
  rig.router().SetMtd0("0:macaddr", "00:11:22:AA:BB:CF");
  const upgrade::UnitCheck check = Check();
  EXPECT_THAT(check.DifferingItems(), ElementsAre("2.4 GHz MAC"));
  EXPECT_FALSE(check.OtherUnit());  // et0macaddr is the Data log's
}

}  // namespace
}  // namespace ramtune::test
