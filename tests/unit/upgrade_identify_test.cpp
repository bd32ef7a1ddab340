// Start checks, identification, router choice and the two gates: every way
// the first phases end, in the order the user sees it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using Events = std::vector<std::string>;


class IdentifyTest : public ::testing::Test {
 protected:
  IdentifyTest() {
    rig.dlg->settings.EngineeringMode = true;
    // The run stops at the upload, so these tests see only the first phases.
    rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
  }
  // The router answers `command` with `reply` from now on.
  void Answer(const std::string& command, const std::string& reply, size_t router = 0) {
    auto previous = rig.router(router).script;
    rig.router(router).script = [=](const std::string& c, Reply& r) {
      if (c == command) {
        r.text = reply;
        return true;
      }
      return previous ? previous(c, r) : false;
    };
  }
  bool Sent(const std::string& command) {
    return std::count(rig.Commands().begin(), rig.Commands().end(), command) > 0;
  }
  Rig rig;
};

TEST_F(IdentifyTest, MissingToolFileShowsOnlyTheFirstAndChangesNothingElse) {
  for (const char* name : {platform::kUploaderName, kBootImageFile}) {
    std::remove((rig.dlg->settings.ToolFolderPath + platform::kPathSeparator + name).c_str());
  }
  rig.display.events.clear();
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(Tail(rig.display.events, 3),
            (Events{"progress 0", "progress 1",
                    "box Loss file:\n" + rig.dlg->settings.ToolFolderPath + platform::kPathSeparator +
                        platform::kUploaderName}));
}

// A run of a bench works on the unit the bench planned on its link: another
// one that answers there is neither read nor written.
TEST_F(IdentifyTest, ARunForAPlannedUnitTouchesNoOtherUnit) {
  for (const char* planned : {"0011220ABBCC", "001122AABBCD"}) {
    Rig other;
    other.dlg->PlanUnit(planned);
    EXPECT_EQ(other.SearchAndRun(), -1) << planned;
    EXPECT_EQ(other.dlg->LastResult().outcome, upgrade::RunOutcome::OtherUnit) << planned;
    EXPECT_EQ(other.ProcessLog().back(), std::string("[System]-This run is for the unit ") + planned +
                                             ", but the unit 001122AABBCC answered on its link. Nothing has "
                                             "been read from or written to it.");
    for (const std::string& command : other.Commands()) EXPECT_EQ(command.rfind("nvram", 0), std::string::npos);
  }
  rig.dlg->PlanUnit("001122AABBCC");
  rig.SearchAndRun();
  EXPECT_NE(rig.dlg->LastResult().outcome, upgrade::RunOutcome::OtherUnit);
  EXPECT_TRUE(Sent("nvram get wlopmode"));
}

TEST_F(IdentifyTest, IncompleteIpFieldEndsWithBothButtons) {
  rig.display.ipComplete = false;
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(Tail(rig.display.events, 3),
            (Events{"box Device IP Address Field is EMPTY!!", "enable 1 on", "enable 2 on"}));
  EXPECT_EQ(rig.display.picture, kPictureLogo);
}

TEST_F(IdentifyTest, RouterGoneBeforeTheRunsSearch) {
  ASSERT_TRUE(rig.dlg->link.discovery.SearchRouter(rig.dlg->Unit()));
  rig.router().answersDiscovery = false;
  rig.dlg->RunUpgrade();
  EXPECT_EQ(Tail(rig.display.events, 5),
            (Events{"picture 132", "box Unable to connect to the LM-7210A/LM-7210B!!", "list Complete",
                    "enable 1 on", "enable 2 on"}));
}

TEST_F(IdentifyTest, FirmwareVersionOfSixCharactersIsRetriedFiveTimes) {
  Answer("ATE Get_FWVersion", "1.2.34\n");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "ATE Get_FWVersion"), 5);
  EXPECT_EQ(Tail(rig.display.events, 4),
            (Events{"picture 132",
                    "box Unable to retrieve LM-7210A/LM-7210B info!! Please check if the LM-7210A/LM-7210B "
                    "has been connected to your PC properly.",
                    "enable 1 on", "enable 2 on"}));
  Rig seven;
  seven.processes.capturedAnswer = rig.processes.capturedAnswer;
  seven.router().script = [](const std::string& c, Reply& r) {
    if (c != "ATE Get_FWVersion") return false;
    r.text = "1.2.345\n";
    return true;
  };
  seven.SearchAndRun();
  EXPECT_EQ(seven.display.labels[kLabelFirmware], "Firmware Version:  [1.2.345]");
}

TEST_F(IdentifyTest, NeverReadyEndsThroughTheInfoReportAfterThirtyAnswers) {
  Answer("ATE Get_FwReadyStatus", "0\n");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  // Five probes, then thirty waits, each followed by its pause.
  EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "ATE Get_FwReadyStatus"), 35);
  // ... plus one search cycle each for the timer's search and the run's.
  EXPECT_EQ(std::count(rig.clock.pauses.begin(), rig.clock.pauses.end(), 1000), 35 + 2);
  EXPECT_EQ(Tail(rig.display.events, 4),
            (Events{"picture 132",
                    "box Unable to retrieve LM-7210A/LM-7210B info! Please check if the LM-7210A/LM-7210B "
                    "has been connected to your PC properly.",
                    "enable 1 on", "enable 2 on"}));
  EXPECT_TRUE(rig.processes.hidden.empty());
}

TEST_F(IdentifyTest, ReadyRouterGetsTheSsidToolOnceAndTheLogNames) {
  rig.processes.hiddenAnswer = platform::HiddenRun::NotStarted;
  EXPECT_EQ(rig.SearchAndRun(), -1);
  ASSERT_EQ(rig.processes.hidden.size(), 1u);
  EXPECT_EQ(rig.processes.hidden[0], std::make_pair(std::string("QARV_SSID.exe /GET"), 5000));
  const auto log = rig.ProcessLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "SetPos(1)");  // the lines before the names exist are in the list only
  EXPECT_NE(std::find(log.begin(), log.end(), "Exec QARV_SSID GET Fail"), log.end());
  EXPECT_EQ(rig.dlg->logs.ProcessLogPath,
            rig.dlg->settings.ToolFolderPath + "001122AABBCC_Process_20261208093000.txt");
  EXPECT_EQ(rig.display.labels[kLabelModel], "Model:  [LM-7210A]");
  EXPECT_EQ(rig.display.labels[kLabelMac], "MAC Address:  [001122AABBCC]");
}

TEST_F(IdentifyTest, NormalModeProcessLogStartsWithTheBackupBanner) {
  rig.dlg->settings.EngineeringMode = false;
  rig.SearchAndRun();
  const auto log = rig.ProcessLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "[System]-Backing up data");
  for (const std::string& line : log) EXPECT_NE(line.find("[System]"), std::string::npos) << line;
}

TEST_F(IdentifyTest, UnsupportedModelIsRefused) {
  rig.router().model = "XR-500";
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(Tail(rig.display.events, 5), (Events{"picture 132", "box Incompatible device XR-500",
                                                 "list Unsupport product XR-500", "enable 1 on", "enable 2 on"}));
  EXPECT_FALSE(rig.dlg->LastResult().unit.unicast);
}

TEST_F(IdentifyTest, AModelThatOnlyStartsWithTheFamilyNamePassesTheGate) {
  rig.router().model = "LM-7210C";
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_TRUE(Sent("nvram get bl_version"));
  EXPECT_FALSE(rig.dlg->LastResult().unit.unicast);
}

TEST_F(IdentifyTest, VersionGate) {
  struct Case {
    const char* reply;
    bool passes;
    const char* logged;
  } cases[] = {{"1.0.1.5\n", true, "CurBlVer:1015"},   {"1.0.1.6\n", false, "CurBlVer:1016"},
               {"1.0.2.0\n", false, "CurBlVer:1020"},  {"1.0.1.10\n", false, "CurBlVer:10110"},
               {"\n", true, "CurBlVer:"},               {"1.0.1.5", true, "CurBlVer:"},
               {"99999999999\n", false, "CurBlVer:99999999999"}};
  for (const Case& c : cases) {
    Rig rig;
    rig.dlg->settings.EngineeringMode = true;
    rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
    rig.router().script = [&](const std::string& command, Reply& r) {
      if (command != "nvram get bl_version") return false;
      r.text = c.reply;
      return true;
    };
    const int code = rig.SearchAndRun();
    const auto& list = rig.display.listLines;
    EXPECT_NE(std::find(list.begin(), list.end(), c.logged), list.end()) << c.reply;
    EXPECT_NE(std::find(list.begin(), list.end(), "LimitBlVer:1016"), list.end());
    if (c.passes) {
      EXPECT_EQ(code, -1) << c.reply;
      EXPECT_NE(std::find(list.begin(), list.end(), "2G MAC: 00:11:22:AA:BB:CC"), list.end()) << c.reply;
    } else {
      const char* latest = "Your LM-7210A/LM-7210B already has the latest available DDR configuration update.";
      EXPECT_EQ(code, 1) << c.reply;
      EXPECT_EQ(std::count(rig.Commands().begin(), rig.Commands().end(), "nvram get bl_version"), 3);
      EXPECT_EQ(Tail(rig.display.events, 6),
                (Events{"picture 130", "progress 20", std::string("box ") + latest, std::string("list ") + latest,
                        "enable 1 on", "enable 2 on"}));
    }
  }
}

TEST_F(IdentifyTest, MemberModeSkipsTheVersionGate) {
  rig.dlg->settings.MemberMode = true;
  rig.router().Set("bl_version", "1.0.1.6");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_FALSE(Sent("nvram get bl_version"));
  EXPECT_TRUE(Sent("ATE Get_MacAddr_2G"));
}

class TwoRouters : public IdentifyTest {
 protected:
  TwoRouters() {
    RouterModel second = HealthyRouter();
    second.ip = "10.77.0.3";
    second.mac = {0x00, 0x11, 0x22, 0xAA, 0xBB, 0x01};
    second.model = "LM-7210B";
    second.discoveryDelayMs = 40;
    rig.network.routers.push_back(second);
  }
};

TEST_F(TwoRouters, ChoosingTheFirstRouterAddressesEveryCommandToIt) {
  rig.display.selectIndex = 0;
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_NE(std::find(rig.display.events.begin(), rig.display.events.end(), "select 10.77.0.2;10.77.0.3"),
            rig.display.events.end());
  // The second router answered last, but the chosen one names the labels,
  // the logs and every command.
  EXPECT_EQ(rig.display.labels[kLabelMac], "MAC Address:  [001122AABBCC]");
  EXPECT_EQ(rig.display.labels[kLabelModel], "Model:  [LM-7210A]");
  EXPECT_NE(rig.dlg->logs.DataLogPath.find("001122AABBCC_Data_"), std::string::npos);
  EXPECT_EQ(rig.dlg->LastResult().unit.ip, "10.77.0.2");
  EXPECT_EQ(rig.network.destinations.back(), "10.77.0.2");
  const size_t before = rig.router(1).commands.size();
  EXPECT_EQ(rig.dlg->LastResult().unit.mac, rig.router(0).mac);
  EXPECT_TRUE(Sent("ATE Get_MacAddr_2G"));
  EXPECT_EQ(rig.router(1).commands.size(), before);
  const auto data = rig.DataLog();
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data[0], "MacAddr_2G 00:11:22:AA:BB:CC");
}

TEST_F(TwoRouters, ChoosingTheSecondMakesItTheTargetAndItsModelCurrent) {
  rig.display.selectIndex = 1;
  rig.router(1).Set("0:pa2ga0", "0x0000,0x0000,0x0001");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.dlg->LastResult().unit.model, "LM-7210B");
  EXPECT_EQ(rig.dlg->LastResult().unit.ip, "10.77.0.3");
  EXPECT_EQ(rig.network.destinations.back(), "10.77.0.3");
  const auto data = rig.DataLog();
  ASSERT_GT(data.size(), 7u);
  EXPECT_EQ(data[7], "0:pa2ga0=0x0000,0x0000,0x0001");
  EXPECT_NE(rig.dlg->logs.DataLogPath.find("001122AABB01_Data_"), std::string::npos);
}

TEST_F(TwoRouters, ClosingTheChoiceEndsTheProgramWithCodeZero) {
  rig.display.selectIndex = -1;
  EXPECT_EQ(rig.SearchAndRun(), 0);
  EXPECT_TRUE(rig.dlg->logs.ProcessLogPath.empty());
}

}  // namespace
}  // namespace ramtune::test
