// Reboot, countdown and reconnection, in virtual time: the 65 s schedule and
// its lines, the readiness polls and the SSID fallback, the search with its
// single re-scan, and the two endings of the step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>

#include "core/text.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const char* const kReady = "ATE Get_FwReadyStatus";
const char* const kWifiBox =
    "Unable to connect to the LM-7210A/LM-7210B!!\nIf you updated the bootloader wirelessly, please manually "
    "connect to LM-7210A/LM-7210B WiFi network now.";


// A healthy run whose readiness answers after the reboot a test can change.
struct Scenario {
  Scenario() {
    rig.dlg->settings.EngineeringMode = true;
    rig.router().script = [this](const std::string& command, Reply& reply) {
      if (command == "reboot" && rebootPause == SIZE_MAX) rebootPause = rig.clock.pauses.size();
      if (rig.router().reboots == 0 || command != kReady) return false;
      if (readyAfterReboot(++pollsAfterReboot)) return false;
      reply = notReady;
      return true;
    };
  }
  // Pauses from the reboot command on.
  std::vector<int> PausesAfterReboot() const {
    return {rig.clock.pauses.begin() + static_cast<long>(rebootPause), rig.clock.pauses.end()};
  }
  // The log list from the last occurrence of `line` on.
  std::vector<std::string> LinesAfter(const std::string& line) const {
    const auto& list = rig.display.listLines;
    return {std::find(list.rbegin(), list.rend(), line).base() - 1, list.end()};
  }

  Rig rig;
  size_t rebootPause = SIZE_MAX;
  int pollsAfterReboot = 0;
  std::function<bool(int poll)> readyAfterReboot = [](int) { return true; };
  Reply notReady{"0\n"};
};

class RebootTest : public ::testing::Test, protected Scenario {};

TEST_F(RebootTest, CountdownTakesSixtyFiveSecondsAndPollAAnsweringSkipsTheSsidTool) {
  EXPECT_EQ(rig.SearchAndRun(), -1);
  const std::vector<int> countdown = {5500, 5500, 5500, 3500, 3000, 6000, 6000, 5000, 5000, 5000, 5000, 5000, 5000};
  EXPECT_EQ(std::accumulate(countdown.begin(), countdown.end(), 0), 65000);
  std::vector<int> pauses = PausesAfterReboot();
  pauses.resize(countdown.size());
  EXPECT_THAT(pauses, ElementsAreArray(countdown));

  std::vector<std::string> lines = LinesAfter(">> Reboot Device...Please Wait...");
  lines.resize(32);
  EXPECT_THAT(lines, ElementsAreArray(std::vector<std::string>{
                         ">> Reboot Device...Please Wait...", "[System]-Rebooting LM-7210A/LM-7210B...",
                         "SetPos(6)", "[System]-Please wait...1", "SetPos(7)", "[System]-Please wait...2",
                         "SetPos(8)", "[System]-Please wait...3", "SetPos(9)", "SetPos(10)",
                         "[System]-Please wait...4", "[System]-Please wait...5", "[System]-Please wait...6",
                         "SetPos(11)", "[System]-Please wait...7", "[System]-Please wait...8",
                         "[System]-Please wait...9", "SetPos(12)", "[System]-Please wait...10",
                         "[System]-Please wait...11", "[System]-Please wait...12", "SetPos(13)", "SetPos(14)",
                         "FwReadyStatus:1", "Ping Success", "Search Device, Waiting a few seconds...",
                         "Search Model:LM-7210A......OK!", "1", "800,666", ">>Compare clkfreq OK!!", "255",
                         ">>Compare 0:tempthresh OK!!"}));
  EXPECT_EQ(pollsAfterReboot, 2);  // poll A and poll C
  ASSERT_EQ(rig.processes.hidden.size(), 1u);
  EXPECT_EQ(rig.processes.hidden[0].first, "QARV_SSID.exe /GET");
  EXPECT_THAT(rig.display.Of("progress"),
              ElementsAre("0", "1", "1", "2", "3", "4", "6", "7", "8", "9", "10", "11", "12", "13", "14", "16",
                          "19", "20"));
}

// The run holds its unit: a stray router that answers the search after the
// reboot (though it was not asked) moves neither the requests nor the unit
// the run names, whose mark it closes.
TEST_F(RebootTest, AStrayAnswerAfterTheRebootIsNotTheUnit) {
  RouterModel stray = HealthyRouter();
  stray.ip = "10.9.9.9";
  stray.mac = {0x02, 0, 0, 0, 0, 0x99};
  stray.model = stray.label = "XR-500";
  stray.answersEveryDiscovery = true;
  stray.discoveryDelayMs = 40;  // after the unit's answer
  rig.network.routers.push_back(stray);
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.display.picture, kPicturePass);
  // Before the choice it answered last and was asked (the router the search
  // found); after the reboot the search found the unit.
  std::vector<std::string> found;
  for (const std::string& line : rig.display.listLines) {
    if (line.rfind("Search Model:", 0) == 0) found.push_back(line);
  }
  EXPECT_THAT(found, ElementsAre("Search Model:XR-500......OK!", "Search Model:XR-500......OK!",
                                 "Search Model:LM-7210A......OK!"));
  for (const std::string& command : rig.router(1).commands) {
    EXPECT_TRUE(command == "ATE Get_FwReadyStatus" || command == "ATE Get_FWVersion") << command;
  }
  const link::Target& unit = rig.dlg->LastResult().unit;
  EXPECT_EQ(unit.ip, "10.77.0.2");
  EXPECT_EQ(unit.mac, rig.router(0).mac);
  EXPECT_EQ(unit.macText, "001122AABBCC");
}

TEST(RebootPolls, SsidFallbackAndPollBRunOnlyWhenPollAFails) {
  struct Case {
    int notReadyPolls;  // readiness answers "0" this many times after the reboot
    platform::HiddenRun ssid;
    std::vector<int> pollPauses;  // after the countdown, up to the first search round's 1000
    bool timeoutLine;
  };
  const Case cases[] = {
      {5, platform::HiddenRun::Ended, {1000, 1000, 1000, 1000, 1000, 2000, 1000}, false},
      {15, platform::HiddenRun::TimedOut, {1000, 1000, 1000, 1000, 1000, 2000, 1000, 1000, 1000, 1000, 1000,
                                           1000, 1000, 1000, 1000, 1000, 1000}, true},
  };
  for (const Case& c : cases) {
    Scenario fresh;
    fresh.readyAfterReboot = [&](int poll) { return poll > c.notReadyPolls; };
    fresh.rig.processes.hiddenAnswer = c.ssid;
    EXPECT_EQ(fresh.rig.SearchAndRun(), -1);
    std::vector<int> pauses = fresh.PausesAfterReboot();
    EXPECT_THAT(std::vector<int>(pauses.begin() + 13, pauses.end()), ElementsAreArray(c.pollPauses));
    ASSERT_EQ(fresh.rig.processes.hidden.size(), 2u);
    EXPECT_EQ(fresh.rig.processes.hidden[1], std::make_pair(std::string("QARV_SSID.exe /SET"), 5000));
    const auto lines = fresh.LinesAfter("SetPos(14)");
    EXPECT_EQ(Count(lines, "FwReadyStatus:0"), c.notReadyPolls);
    EXPECT_EQ(Count(lines, c.ssid == platform::HiddenRun::Ended ? "Exec QARV_SSID SET Success"
                                                                : "Exec QARV_SSID SET Fail"),
              1);
    EXPECT_EQ(Count(lines, "After SSID setting,GetFwReadyStatus timeout"), c.timeoutLine ? 1 : 0);
    EXPECT_EQ(fresh.rig.display.picture, kPicturePass);  // poll C decides
  }
}

TEST_F(RebootTest, FirstFailedSearchShowsTheWifiBoxAndOneReScanFollows) {
  rig.router().afterReboot = [](RouterModel& router, int) { router.answersDiscovery = false; };
  rig.display.onMessageBox = [&](const std::string& text) {
    if (text == kWifiBox) rig.router().answersDiscovery = true;  // the user joins the Wi-Fi
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(rig.display.boxes, ElementsAre(kWifiBox));
  const auto lines = LinesAfter("SetPos(14)");
  EXPECT_EQ(Count(lines, "Ping Success"), 2);
  EXPECT_EQ(Count(lines, "Re-Scan devices again...."), 1);
  EXPECT_EQ(Count(lines, "Search Model:LM-7210A......OK!"), 1);
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

TEST_F(RebootTest, RouterNotFoundAgainEndsWithFailAndNoSecondBox) {
  rig.router().afterReboot = [](RouterModel& router, int) { router.answersDiscovery = false; };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(rig.EventsBeforeRecoveryHint(4), ElementsAre("picture 131", "list Complete", "enable 1 on", "enable 2 on"));
  EXPECT_THAT(rig.display.boxes, ElementsAre(kWifiBox));
  const auto lines = LinesAfter("SetPos(14)");
  EXPECT_EQ(Count(lines, "Ping Success"), 2);
  EXPECT_EQ(Count(lines, "Re-Scan devices again...."), 1);
  EXPECT_EQ(pollsAfterReboot, 1);  // poll A only
}

TEST(RebootPolls, RouterNeverReadyAfterTheSearchEndsWithTheInfoFailure) {
  for (const Reply& notReady : {Reply{"0\n"}, Reply{"1"}, Reply{"", true}}) {
    Scenario fresh;
    fresh.readyAfterReboot = [](int) { return false; };
    fresh.notReady = notReady;
    EXPECT_EQ(fresh.rig.SearchAndRun(), -1);
    EXPECT_THAT(fresh.rig.EventsBeforeRecoveryHint(4),
                ElementsAre("picture 132",
                            "box Unable to retrieve LM-7210A/LM-7210B info! Please check if the LM-7210A/LM-7210B "
                            "has been connected to your PC properly.",
                            "enable 1 on", "enable 2 on"));
    EXPECT_EQ(fresh.pollsAfterReboot, 5 + 10 + 30);
    const std::vector<int> pauses = fresh.PausesAfterReboot();
    EXPECT_THAT(std::vector<int>(pauses.end() - 30, pauses.end()), ElementsAreArray(std::vector<int>(30, 1000)));
    // Poll C logs the line alone.
    const auto lines = fresh.LinesAfter("Search Model:LM-7210A......OK!");
    EXPECT_EQ(Count(lines, FirstLine(notReady.text)), 30);
  }
}

}  // namespace
}  // namespace ramtune::test
