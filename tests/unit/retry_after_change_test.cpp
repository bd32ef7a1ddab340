// Retry once a run has changed its unit: a new upgrade would find the new
// bootloader and call the unit up to date, so Retry writes the unit's values
// back from that run's Data log, read from the disk, until a run completes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/text.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}
bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The unit comes back from the run's two reboots with a wrong calibration
// value and country code: both verifications fail, after the flash.
void WrongValuesAfterTwoReboots(Rig& rig) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    if (reboot > 2) return;
    router.SetMtd0("0:pa2ga0", "0xff00,0xff00,0xff00");
    router.SetMtd0("0:ccode", "DB");
  };
}

// The warning, the search and the run, as the program starts them.
void StartProgram(Rig& rig) {
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), -1);
}

// Retry, a minute later, until the program is idle again.
void PressRetry(Rig& rig) {
  rig.clock.timeStamp = "20261208093100";
  rig.display.events.clear();
  rig.display.boxes.clear();
  rig.dlg->OnRetry();
  EXPECT_EQ(rig.RunMessages(), -1);
}

TEST(RetryAfterAChange, WritesTheChangedRunsDataLogBackAndKeepsItsHintInTheList) {
  for (const bool member : {false, true}) {  // the member marker skips the version gate of an upgrade
    Rig rig;
    rig.dlg->settings.MemberMode = member;
    WrongValuesAfterTwoReboots(rig);
    const RouterModel unit = rig.router();
    StartProgram(rig);
    ASSERT_EQ(rig.dlg->LastEnding().kind, Ending::RunFailed);
    const std::string dataLog = rig.dlg->logs.DataLogPath;
    const std::string processLog = rig.dlg->logs.ProcessLogPath;
    const std::string dataLogText = ReadAll(dataLog);
    const std::vector<std::string> hint = rig.dlg->changedUnit.hint;
    ASSERT_EQ(hint.size(), 2u);
    EXPECT_EQ(hint[1], "[System]-Do not start a new upgrade of this unit: it would be reported as up to date.");

    PressRetry(rig);
    EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed) << member;
    EXPECT_EQ(rig.display.picture, kPicturePass);
    EXPECT_EQ(rig.router().Mtd0("0:pa2ga0"), unit.Get("0:pa2ga0"));
    EXPECT_EQ(rig.router().Mtd0("0:ccode"), "US");
    EXPECT_TRUE(rig.display.boxes.empty());  // no "latest available" notice
    // A restore of the first run's Data log, which nothing wrote to.
    EXPECT_TRUE(Has(rig.ProcessLog(), "[System]-Restore: the values of the Data log " + dataLog + " are back in the unit"));
    EXPECT_TRUE(platform::FileExists(upgrade::BeforeRestoreLogPath(rig.dlg->logs.DataLogPath)));
    EXPECT_NE(rig.dlg->logs.DataLogPath, dataLog);
    EXPECT_EQ(ReadAll(dataLog), dataLogText);
    EXPECT_EQ(rig.router().flashes, 1);  // the bootloader is new already
    // Each clear of the list in the search series shows the hint again; the
    // first run's Process log has it once.
    const std::vector<std::string>& e = rig.display.events;
    size_t clears = 0;
    for (size_t i = 0; i < e.size(); ++i) {
      if (e[i] != "list-clear") continue;
      ++clears;
      ASSERT_LT(i + 2, e.size());
      EXPECT_EQ(e[i + 1], "list " + hint[0]);
      EXPECT_EQ(e[i + 2], "list " + hint[1]);
    }
    EXPECT_EQ(clears, 2u);  // Retry's and the search attempt's
    const std::vector<std::string> firstLog = Rig::FileLines(processLog);
    EXPECT_EQ(std::count(firstLog.begin(), firstLog.end(), hint[0]), 1);
    EXPECT_FALSE(Has(rig.ProcessLog(), hint[0]));
    // Completed: the next Retry would be an upgrade again.
    EXPECT_FALSE(rig.dlg->changedUnit.changed);
  }
}

// Until a run completes, every Retry restores the first run's Data log, and
// every ending carries the hint, also one before anything was written.
TEST(RetryAfterAChange, LastsUntilARunCompletes) {
  Rig rig;
  WrongValuesAfterTwoReboots(rig);
  StartProgram(rig);
  const std::string dataLog = rig.dlg->logs.DataLogPath;
  rig.router().answersDiscovery = false;  // the restore finds nobody...
  PressRetry(rig);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::NoRouter);
  rig.router().answersDiscovery = true;
  rig.router().script = [](const std::string& command, Reply& reply) {
    reply.drop = command == "nvram get bl_version";  // ...then cannot read its bootloader version
    return reply.drop;
  };
  PressRetry(rig);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::RunFailed);
  EXPECT_EQ(rig.display.listLines.back(), rig.dlg->changedUnit.hint.back());
  EXPECT_TRUE(Contains(rig.dlg->changedUnit.hint.front(), "Data log " + dataLog + ". "));
  rig.router().script = nullptr;
  PressRetry(rig);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed);
  EXPECT_TRUE(Has(rig.ProcessLog(), "[System]-Restore: the values of the Data log " + dataLog + " are back in the unit"));
}

TEST(RetryAfterAChange, OtherwiseRetryStartsANewSearchSeries) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> fault;    // before the first run
    std::function<void(Rig&)> between;  // before Retry
    bool searches;                      // Retry starts a series
  };
  for (const Case& c : std::vector<Case>{
           {"failed before the flash: a new upgrade",
            [](Rig& rig) {
              rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
            },
            [](Rig& rig) { rig.processes.capturedAnswer = nullptr; }, true},
           {"changed, and its Data log is gone: nothing starts",
            WrongValuesAfterTwoReboots,
            [](Rig& rig) { std::remove(rig.dlg->logs.DataLogPath.c_str()); }, false},
       }) {
    Rig rig;
    c.fault(rig);
    StartProgram(rig);
    c.between(rig);
    const std::string dataLog = rig.dlg->logs.DataLogPath;
    PressRetry(rig);
    EXPECT_EQ(Has(rig.display.events, "timer 100 300"), c.searches) << c.name;
    EXPECT_FALSE(Has(rig.ProcessLog(), "[System]-Restore: the bootloader is up to date: no flash")) << c.name;
    if (c.searches) {
      EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed) << c.name;
      EXPECT_EQ(rig.router().flashes, 1) << c.name;
    } else {
      ASSERT_EQ(rig.display.boxes.size(), 1u) << c.name;
      EXPECT_EQ(rig.display.boxes[0].rfind("This Data log cannot be restored: " + dataLog, 0), 0u) << rig.display.boxes[0];
      EXPECT_TRUE(rig.display.enabled[kButtonRetry]) << c.name;
    }
  }
}

}  // namespace
}  // namespace ramtune::test
