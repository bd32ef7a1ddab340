// The restore run in virtual time: a unit's values written back from the
// Data log of an earlier run, the unit's own values kept first, the flash
// only for an old bootloader, the identity guard, and the hint that a run
// which fails after changing the router prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "link/packets.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

const char* const kOtherMac = "00:90:4C:00:00:01";

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }
bool Has(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); });
}
size_t IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(
      std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }) -
      lines.begin());
}
std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}
std::string Ate(const RouterModel& router, const std::string& key) {
  for (const auto& [k, v] : router.pendingAte) {
    if (k == key) return v;
  }
  return "";
}
link::MacAddress MacOf(const std::string& text) {
  link::MacAddress mac{};
  EXPECT_TRUE(link::ParseMacText(text, &mac)) << text;
  return mac;
}

class RestoreRunTest : public ::testing::Test {
 protected:
  RestoreRunTest() {
    rig.dlg->settings.EngineeringMode = true;
    // A complete run: its Data log holds the unit's own values.
    EXPECT_EQ(rig.SearchAndRun(), -1);
    EXPECT_EQ(rig.display.picture, kPicturePass);
    dataLog = rig.dlg->logs.DataLogPath;
    original = rig.DataLog();
    unit = rig.router();
    // The restore starts a minute later, with a fresh screen.
    rig.clock.timeStamp = "20261208093100";
    rig.router().commands.clear();
    rig.display.events.clear();
    rig.display.boxes.clear();
  }

  // What a run that failed after the flash may leave: factory values.
  void FactoryValues(bool keepMac) {
    RouterModel& r = rig.router();
    for (auto& [key, value] : r.nvram) {
      if (!StartsWith(value, "0x")) continue;
      std::replace_if(
          value.begin() + 2, value.end(), [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; },
          '0');
    }
    for (const char* key : {"0:ccode", "1:ccode"}) r.SetMtd0(key, "DB");
    r.SetMtd0("secret_code", "00000000");
    r.pendingAte = {{"mac2g", keepMac ? "00:11:22:AA:BB:CC" : kOtherMac}, {"mac5g", "00:90:4C:00:00:02"},
                    {"pin", "00000000"}, {"0:ccode", "DB"}, {"0:regrev", "0"}, {"1:ccode", "DB"}, {"1:regrev", "0"}};
    if (!keepMac) r.mac = MacOf(kOtherMac);
  }

  // Starts the program in restore mode and runs it until it is idle or ends.
  int Restore(const std::string& path) {
    rig.dlg->RequestRestore(path);
    rig.display.SetTimer(kStartTimer, 100);
    return rig.RunMessages();
  }

  std::vector<std::string> Log() const { return rig.ProcessLog(); }
  std::string BeforeRestoreLog() const { return ReplaceAll(rig.dlg->logs.DataLogPath, "_Data_", "_BeforeRestore_"); }

  Rig rig;
  std::string dataLog;
  std::vector<std::string> original;
  RouterModel unit;  // the unit as the complete run left it
};

TEST_F(RestoreRunTest, WritesTheDataLogsValuesAndVerifiesThem) {
  FactoryValues(true);
  std::vector<std::string> beforeAtFirstWrite;
  rig.router().script = [&](const std::string& command, Reply&) {
    if (StartsWith(command, "ATE Set_") && beforeAtFirstWrite.empty()) {
      beforeAtFirstWrite = Rig::FileLines(BeforeRestoreLog());
    }
    return false;
  };
  EXPECT_EQ(Restore(dataLog), -1);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed);
  EXPECT_EQ(rig.display.picture, kPicturePass);
  // Every value is the unit's own again.
  EXPECT_EQ(rig.router().pendingAte, unit.pendingAte);
  for (const auto& [key, value] : unit.nvram) {
    if (StartsWith(value, "0x")) {
      EXPECT_EQ(rig.router().Mtd0(key), value) << key;
    }
  }
  EXPECT_EQ(rig.router().Mtd0("0:ccode"), "US");
  // The unit's values were on the disk before the first write.
  ASSERT_EQ(beforeAtFirstWrite.size(), 30u);
  EXPECT_EQ(beforeAtFirstWrite[2], "RegulationDomain_2G DB");
  // The restore's own Data log holds exactly what it wrote.
  EXPECT_NE(rig.dlg->logs.DataLogPath, dataLog);
  EXPECT_EQ(rig.DataLog(), original);
  // Bootloader already new: no flash; the same MAC: no question.
  EXPECT_EQ(rig.router().flashes, 1);  // the complete run's
  EXPECT_THAT(rig.display.Of("phase"), ::testing::ElementsAre("searching", "searching", "backing up",
                                                              "writing back", "rebooting 65000", "verifying"));
  EXPECT_TRUE(std::none_of(rig.display.events.begin(), rig.display.events.end(),
                           [](const std::string& e) { return StartsWith(e, "ask "); }));
}

TEST_F(RestoreRunTest, AnOldBootloaderIsFlashedBeforeTheValuesAreWritten) {
  FactoryValues(true);
  rig.router().Set("bl_version", "1.0.1.5");
  EXPECT_EQ(Restore(dataLog), -1);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed);
  EXPECT_EQ(rig.router().flashes, 2);
  const std::vector<std::string>& c = rig.Commands();
  EXPECT_LT(IndexOf(c, "/mnt/cfe/mtd-write"), IndexOf(c, "ATE Set_MacAddr_2G"));
}

TEST_F(RestoreRunTest, AnotherUnitsValuesAreWrittenOnlyAfterAYes) {
  for (const bool yes : {true, false}) {
    Rig& r = rig;
    FactoryValues(false);
    r.display.yesNoAnswer = yes;
    // The unit answers under the MAC written to it once it has rebooted.
    r.router().afterReboot = [](RouterModel& router, int) { router.mac = MacOf(Ate(router, "mac2g")); };
    r.router().commands.clear();
    r.display.events.clear();
    EXPECT_EQ(Restore(dataLog), -1);
    const auto ask = std::find_if(r.display.events.begin(), r.display.events.end(),
                                  [](const std::string& e) { return StartsWith(e, "ask "); });
    ASSERT_NE(ask, r.display.events.end());
    EXPECT_TRUE(Contains(*ask, "00904C000001")) << *ask;
    EXPECT_TRUE(Contains(*ask, "001122AABBCC")) << *ask;
    if (yes) {
      EXPECT_EQ(r.dlg->LastEnding().kind, Ending::Completed);
      EXPECT_EQ(Ate(r.router(), "mac2g"), "00:11:22:AA:BB:CC");
      EXPECT_TRUE(Has(Log(), "[System]-Restore: the unit is addressed under the restored MAC 001122AABBCC"));
    } else {
      EXPECT_EQ(r.dlg->LastEnding().kind, Ending::RunFailed);
      EXPECT_FALSE(Has(r.Commands(), "ATE Set_"));
      EXPECT_EQ(r.display.picture, kPicturePause);
    }
  }
}

TEST_F(RestoreRunTest, AUnitOfTheOtherModelIsRefusedWithoutAQuestion) {
  const std::string otherModel = ReplaceAll(ReadAll(dataLog), "odmpid=LM-7210A", "odmpid=LM-7210B");
  const std::string path = ReplaceAll(dataLog, ".txt", "-b.txt");
  std::ofstream(path, std::ios::binary) << otherModel;
  EXPECT_EQ(Restore(path), -1);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::RunFailed);
  EXPECT_FALSE(Has(rig.Commands(), "ATE Set_"));
  ASSERT_EQ(rig.display.boxes.size(), 1u);
  EXPECT_TRUE(Contains(rig.display.boxes[0], "LM-7210B")) << rig.display.boxes[0];
}

TEST_F(RestoreRunTest, ARefusedDataLogEndsTheProgramBeforeAnythingIsSent) {
  const std::string path = ReplaceAll(dataLog, ".txt", "-bad.txt");
  std::ofstream(path, std::ios::binary) << ReplaceAll(ReadAll(dataLog), "MacAddr_5G 00:11:22:AA:BB:CD",
                                                      "MacAddr_5G 00:11:22:AA:BB:CD;reboot");
  const size_t sent = rig.network.requests.size();
  EXPECT_EQ(Restore(path), 0);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::DataLogRefused);
  ASSERT_EQ(rig.display.boxes.size(), 1u);
  EXPECT_TRUE(Contains(rig.display.boxes[0], path + ", line 2:")) << rig.display.boxes[0];
  EXPECT_EQ(rig.network.requests.size(), sent);
}

// After the router has been changed, a failure says where the unit's values
// are and how to write them back; before, it says nothing of the kind.
TEST(RecoveryHint, FollowsAFailureOnlyOnceTheRouterHasBeenChanged) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> fault;
    bool hint;
  };
  for (const Case& c : std::vector<Case>{
           {"identity write refused after the flash",
            [](Rig& rig) {
              rig.router().script = [](const std::string& command, Reply& reply) {
                if (!StartsWith(command, "ATE Set_MacAddr_2G")) return false;
                reply.text = "0\n";
                return true;
              };
            },
            true},
           {"upload fails before the flash",
            [](Rig& rig) {
              rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
            },
            false},
       }) {
    Rig rig;
    c.fault(rig);
    rig.dlg->settings.RestoreCommand = "Ramtune.exe /restore";
    EXPECT_EQ(rig.SearchAndRun(), -1) << c.name;
    const std::string hint = "[System]-This unit's values are kept in the Data log " + rig.dlg->logs.DataLogPath +
                             ". To write them back, run: Ramtune.exe /restore \"" + rig.dlg->logs.DataLogPath + "\"";
    EXPECT_EQ(!rig.display.listLines.empty() && rig.display.listLines.back() == hint, c.hint) << c.name;
    EXPECT_EQ(Has(rig.ProcessLog(), hint), c.hint) << c.name;
  }
}

}  // namespace
}  // namespace ramtune::test
