// Retry once a run has changed its unit: a new upgrade would find the new
// bootloader and call the unit up to date, so Retry writes the unit's values
// back from that run's Data log, read from the disk. (The fault table runs
// Retry after faults all along a run.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "support/rig.h"

namespace ramtune::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::stringstream all;
  all << std::ifstream(path, std::ios::binary).rdbuf();
  return all.str();
}

TEST(RetryAfterAChange, RestoresTheRunsDataLogAndKeepsItsHintInTheList) {
  for (const bool dataLogKept : {true, false}) {
    Rig rig;
    rig.dlg->settings.MemberMode = true;  // which skips an upgrade's version gate
    // Back from both reboots with a wrong calibration value and country code.
    rig.router().afterReboot = [](RouterModel& router, int reboot) {
      if (reboot <= 2) router.SetMtd0("0:pa2ga0", "0xff00,0xff00,0xff00"), router.SetMtd0("0:ccode", "DB");
    };
    rig.display.SetTimer(kStartTimer, 100);
    EXPECT_EQ(rig.RunMessages(), -1);
    const std::string dataLog = rig.dlg->logs.DataLogPath, processLog = rig.dlg->logs.ProcessLogPath;
    const std::string dataLogText = ReadAll(dataLog);
    const std::vector<std::string> hint = rig.dlg->LastResult().hint;
    ASSERT_EQ(hint.size(), 2u);
    EXPECT_EQ(hint[1], "[System]-Do not start a new upgrade of this unit: it would be reported as up to date.");
    if (!dataLogKept) std::remove(dataLog.c_str());
    rig.clock.timeStamp = "20261208093500";
    rig.display.events.clear();
    rig.display.boxes.clear();
    rig.dlg->OnRetry();
    EXPECT_EQ(rig.RunMessages(), -1);
    const std::vector<std::string>& e = rig.display.events;
    if (!dataLogKept) {  // nothing starts; Retry stays
      EXPECT_EQ(rig.display.boxes.at(0).rfind("This Data log cannot be restored: " + dataLog, 0), 0u);
      EXPECT_EQ(e, std::vector<std::string>{"box " + rig.display.boxes[0]});
      continue;
    }
    EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
    EXPECT_EQ(rig.router().Mtd0("0:ccode"), "US");
    EXPECT_TRUE(rig.display.boxes.empty());
    EXPECT_EQ(rig.ProcessLog().back(), "[System]-Restore: the values of the Data log " + dataLog + " are back in the unit");
    EXPECT_EQ(ReadAll(dataLog), dataLogText);
    // Retry's clear and the search attempt's: the hint is shown again after
    // each, and the first run's Process log holds it once.
    size_t clears = 0;
    for (auto at = e.begin(); (at = std::find(at, e.end(), "list-clear")) != e.end() && e.end() - at > 2; ++at, ++clears) {
      EXPECT_EQ(std::vector<std::string>(at + 1, at + 3), (std::vector<std::string>{"list " + hint[0], "list " + hint[1]}));
    }
    EXPECT_EQ(clears, 2u);
    const std::vector<std::string> firstLog = Rig::FileLines(processLog);
    EXPECT_EQ(std::count(firstLog.begin(), firstLog.end(), hint[0]), 1);
    EXPECT_FALSE(rig.dlg->UnitChanged());  // until a run completes
  }
}

// Once a run has changed its unit, every ending of the session that is not a
// completed restore is status 6: the unit still needs its values back.
TEST(RetryAfterAChange, EveryLaterEndingOfTheSessionIsStatusSix) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> before;  // what the Retry meets
    int ownStatus;                     // the ending's status on its own
  };
  for (const Case& c : std::vector<Case>{
           {"the search finds nothing", [](Rig& rig) { rig.router().answersDiscovery = false; }, 3},
           {"the router choice is closed",
            [](Rig& rig) {
              RouterModel second = HealthyRouter();
              second.ip = "10.77.0.3";
              second.mac[5] = 0x01;
              rig.network.routers.push_back(second);
              rig.display.selectIndex = -1;
            },
            10},
       }) {
    Rig rig;
    // Both verifications fail: the unit is changed and not restored.
    rig.router().afterReboot = [](RouterModel& router, int) { router.SetMtd0("0:ccode", "DB"); };
    rig.display.SetTimer(kStartTimer, 100);
    EXPECT_EQ(rig.RunMessages(), -1) << c.name;
    ASSERT_TRUE(rig.dlg->UnitChanged()) << c.name;
    c.before(rig);
    rig.dlg->OnRetry();
    rig.RunMessages();
    ASSERT_TRUE(rig.dlg->LastEnding().has_value()) << c.name;
    const Ending& ending = *rig.dlg->LastEnding();
    EXPECT_EQ(upgrade::ExitStatusOf(ending.outcome), c.ownStatus) << c.name;
    EXPECT_TRUE(rig.dlg->UnitChanged()) << c.name;
    EXPECT_EQ(ending.ExitStatus(), 6) << c.name;
  }
}

// The unit swapped for the next one between the change and its restore: the
// first unit's values go into another after a Retry only when a person says
// so; on the command line --yes answers, or --into names the unit. The first
// unit's open change stays until a restore of it completes.
TEST(RetryAfterAChange, AnotherUnitTakesTheValuesOnlyWhenAPersonOrIntoSaysSo) {
  struct Case {
    const char* name;
    bool retry;          // Retry in the session; else the command line's --restore of that Data log
    bool inPerson;       // the person's answer
    const char* into;    // --into
    bool written;
  };
  for (const Case& c : std::vector<Case>{{"Retry, --yes only", true, false, "", false},
                                         {"Retry, the person says yes", true, true, "", true},
                                         {"--restore, --yes answers", false, false, "", true},
                                         {"--restore --into the unit", false, false, "009999000001", true},
                                         {"--restore --into another", false, true, "009999000002", false}}) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.router().afterReboot = [](RouterModel& router, int) { router.SetMtd0("0:ccode", "DB"); };
    rig.display.SetTimer(kStartTimer, 100);
    EXPECT_EQ(rig.RunMessages(), -1);
    ASSERT_TRUE(rig.dlg->UnitChanged());
    const std::string dataLog = rig.dlg->logs.DataLogPath;
    // The next unit at the same address.
    RouterModel next = HealthyRouter();
    next.mac = {0x00, 0x99, 0x99, 0x00, 0x00, 0x01};
    next.pendingAte = {{"mac2g", "00:99:99:00:00:01"}};
    next.SetMtd0("et0macaddr", "00:99:99:00:00:01");
    rig.router() = next;
    rig.display.yesNoAnswer = true;
    rig.display.inPersonAnswer = c.inPerson;
    rig.clock.timeStamp = "20261208093500";
    Rig* session = &rig;
    Rig fresh;
    if (c.retry) {
      rig.dlg->OnRetry();
    } else {
      fresh.dlg->settings.LedgerPath = rig.dlg->settings.LedgerPath;
      fresh.router() = next;
      fresh.display.inPersonAnswer = c.inPerson;
      upgrade::RunMode mode = upgrade::RunMode::RestoreFrom(dataLog);
      mode.intoMac = c.into;
      fresh.dlg->Request(mode);
      fresh.display.SetTimer(kStartTimer, 100);
      session = &fresh;
    }
    session->RunMessages();
    const std::vector<std::string>& sent = session->router().commands;
    const bool wrote = std::any_of(sent.begin(), sent.end(), [](const std::string& s) { return s.rfind("ATE Set_", 0) == 0; });
    EXPECT_EQ(wrote, c.written);
    upgrade::Ledger ledger;
    std::vector<upgrade::LedgerChange> open;
    ASSERT_TRUE(ledger.Open(rig.dlg->settings.LedgerPath) && ledger.OpenChanges(&open));
    EXPECT_EQ(open.size(), c.written ? 0u : 1u);  // closed only by the restore that took it up
  }
}

}  // namespace
}  // namespace ramtune::test
