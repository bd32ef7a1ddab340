// The main dialog's run control: warning, search series, Retry and Exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/text.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

bool Has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

TEST(RunControl, RefusedWarningEndsTheProgramWithCodeZero) {
  Rig rig;
  rig.display.acceptWarning = false;
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), 0);
  EXPECT_TRUE(Has(rig.display.events, "warning"));
  EXPECT_TRUE(rig.network.destinations.empty());
}

TEST(RunControl, AcceptedWarningStartsASeriesWhoseFirstAttemptStartsTheRun) {
  Rig rig;
  rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), -1);
  const auto& e = rig.display.events;
  const auto warning = std::find(e.begin(), e.end(), "warning");
  ASSERT_NE(warning, e.end());
  EXPECT_EQ(*std::next(warning), "timer 100 300");
  // The run began inside the first attempt: the identification line follows
  // the search line without a second attempt.
  EXPECT_EQ(std::count(e.begin(), e.end(), "list [System]-Searching for LM-7210A/LM-7210B..."), 1);
  EXPECT_TRUE(Has(e, "list [System]-Initializing......"));
  EXPECT_TRUE(Has(e, "list [System]-Backing up data"));
}

TEST(RunControl, SeriesWithoutRouterEndsAfterMoreThanTwentyWholeSeconds) {
  Rig rig;
  rig.dlg->settings.EngineeringMode = true;
  rig.router().answersDiscovery = false;
  rig.display.EnableButton(kButtonRetry, false);
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), -1);
  // One attempt takes about 24.5 s: the first one already ends the series.
  EXPECT_EQ(rig.display.boxes, (std::vector<std::string>{"No Devices found, please try again."}));
  // The lines of the series end as they always did; what was tried and
  // what to check follows them, each line carrying "[System]".
  const std::vector<std::string>& lines = rig.display.listLines;
  const auto ending = std::find(lines.begin(), lines.end(), "No Devices found, please try again.");
  ASSERT_NE(ending, lines.end());
  EXPECT_GT(rig.dlg->LastSearchSeconds, 20.0);
  EXPECT_EQ(*std::prev(ending), Format("Search Time: %.1f s", rig.dlg->LastSearchSeconds));
  const std::vector<std::string> hints(std::next(ending), lines.end());
  EXPECT_EQ(hints, rig.dlg->link.discovery.NothingFoundHints());
  ASSERT_FALSE(hints.empty());
  EXPECT_EQ(hints.front(), "[System]-Searched on eth0 10.77.0.1/255.255.255.0, link up");
  EXPECT_TRUE(rig.display.enabled[kButtonRetry]);
}

// Everything an observer of the session hears, in the words of the
// recording display, so that it can be compared with what was shown.
class HeardReport : public upgrade::RunObserver {
 public:
  void Started() override { heard.push_back("started"); }
  void LogsNamed(const std::string& processLog, const std::string&) override { heard.push_back("logs " + processLog); }
  void UnitChanged(const upgrade::ChangedUnit& unit) override { heard.push_back("changed " + unit.dataLog); }
  void Phase(RunPhase phase, int countdownMs) override {
    heard.push_back(std::string("phase ") + RunPhaseWords(phase) + (countdownMs > 0 ? " " + std::to_string(countdownMs) : ""));
  }
  void Progress(int position) override { heard.push_back("progress " + std::to_string(position)); }
  void Picture(int resourceId) override { heard.push_back("picture " + std::to_string(resourceId)); }
  void LogLine(const std::string& line) override { heard.push_back("list " + line); }
  void Ended(const upgrade::RunResult& result) override { heard.push_back(std::string("ended ") + OutcomeWords(result.outcome)); }
  // The events of the kinds the display records too, in order.
  std::vector<std::string> Shown() const {
    std::vector<std::string> shown;
    for (const std::string& e : heard) {
      for (const char* kind : {"phase ", "progress ", "picture ", "list "}) {
        if (e.rfind(kind, 0) == 0) shown.push_back(e);
      }
    }
    return shown;
  }
  std::vector<std::string> heard;
};

// One channel: what an observer hears is what the display showed, phase,
// progress, picture and every log line, and a restore after a change hears
// that the unit is changed before anything else of the run.
TEST(RunControl, ObserversHearWhatIsShownAndTheChangedUnitFromTheStart) {
  Rig rig;
  HeardReport report;
  rig.dlg->Observe(report);
  rig.router().afterReboot = [](RouterModel& router, int) { router.SetMtd0("0:ccode", "DB"); };
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), -1);
  std::vector<std::string> shown;
  for (const std::string& e : rig.display.events) {
    for (const char* kind : {"phase ", "progress ", "picture ", "list "}) {
      if (e.rfind(kind, 0) == 0) shown.push_back(e);
    }
  }
  EXPECT_EQ(report.Shown(), shown);
  EXPECT_GT(std::count(shown.begin(), shown.end(), "phase rebooting 65000"), 0);
  const std::string dataLog = rig.dlg->LastResult().restoreLog;
  ASSERT_FALSE(dataLog.empty());
  EXPECT_EQ(report.heard.back(), "ended failed");

  report.heard.clear();
  rig.router().afterReboot = nullptr;
  rig.dlg->OnRetry();
  EXPECT_EQ(rig.RunMessages(), -1);
  const auto started = std::find(report.heard.begin(), report.heard.end(), "started");
  ASSERT_NE(started, report.heard.end());
  EXPECT_EQ(*(started + 1), "changed " + dataLog);
  EXPECT_EQ(report.heard.back(), "ended completed");
}

TEST(RunControl, LastEndingTellsHowTheLastRunOrSeriesEnded) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
    upgrade::RunOutcome expected;
  };
  for (const Case& c : std::vector<Case>{
           {"complete run", [](Rig&) {}, upgrade::RunOutcome::Completed},
           {"upload fails",
            [](Rig& rig) {
              rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
            },
            upgrade::RunOutcome::Failed},
           {"no router", [](Rig& rig) { rig.router().answersDiscovery = false; }, upgrade::RunOutcome::NoRouter},
           {"verification fails on both passes after the flash",
            [](Rig& rig) {
              rig.router().afterReboot = [](RouterModel& router, int) {
                router.SetMtd0("0:pa2ga0", "0xff2a,0x1b2e,0xfcb0");
              };
            },
            upgrade::RunOutcome::UnitChanged},
       }) {
    Rig rig;
    c.setUp(rig);
    EXPECT_FALSE(rig.dlg->LastEnding().has_value()) << c.name;
    rig.display.SetTimer(kSearchTimer, 300);
    EXPECT_EQ(rig.RunMessages(), -1) << c.name;
    EXPECT_EQ(rig.dlg->LastEnding()->outcome, c.expected) << c.name;
  }
}

TEST(RunControl, ASeriesOf20Point9SecondsCountsAsTwentyAndTriesAgain) {
  Rig probe;
  probe.router().answersDiscovery = false;
  const int64_t before = probe.clock.NowMs();
  probe.dlg->OnTimer(kSearchTimer);
  // The attempt up to its measurement; the "Search Time" line, the "No
  // Devices found" line and the hints (100 ms each) follow it.
  const int64_t attempt =
      probe.clock.NowMs() - before - 200 - 100 * static_cast<int64_t>(probe.dlg->link.discovery.NothingFoundHints().size());

  Rig rig;
  rig.router().answersDiscovery = false;
  rig.dlg->SearchStartTime = rig.clock.NowMs() + attempt - 20900;
  rig.dlg->OnTimer(kSearchTimer);
  EXPECT_EQ(rig.dlg->LastSearchSeconds, 20.0);
  EXPECT_TRUE(rig.display.boxes.empty());
  EXPECT_EQ(rig.display.events.back(), "timer 100 300");

  Rig over;
  over.router().answersDiscovery = false;
  over.dlg->SearchStartTime = over.clock.NowMs() + attempt - 21000;
  over.dlg->OnTimer(kSearchTimer);
  EXPECT_EQ(over.dlg->LastSearchSeconds, 21.0);
  EXPECT_EQ(over.display.boxes.size(), 1u);
}

TEST(RunControl, RetryClearsTheListAndStartsANewSeriesFromThePress) {
  Rig rig;
  rig.router().answersDiscovery = false;
  rig.display.LogListAdd("old line");
  rig.clock.Sleep(5000);
  rig.dlg->OnRetry();
  EXPECT_TRUE(rig.display.listLines.empty());
  EXPECT_FALSE(rig.display.enabled[kButtonRetry]);
  EXPECT_EQ(rig.dlg->SearchStartTime, rig.clock.NowMs());
  EXPECT_EQ(rig.display.events.back(), "timer 100 300");
}

TEST(RunControl, ExitKillsTimersCleansUpAndEndsWithCodeOne) {
  Rig rig;
  rig.display.SetTimer(kSearchTimer, 300);
  const Ending ending = rig.dlg->OnCancel();
  EXPECT_TRUE(ending.final);
  EXPECT_EQ(ending.outcome, upgrade::RunOutcome::ExitPressed);
  EXPECT_EQ(ending.ProgramCode(), 1);
  EXPECT_EQ(ending.ExitStatus(), 11);
  EXPECT_TRUE(Has(rig.display.events, "kill 1"));
  EXPECT_TRUE(Has(rig.display.events, "kill 100"));
  EXPECT_EQ(rig.network.cleanups, 1);
  EXPECT_EQ(rig.RunMessages(), -1);  // no timer left to fire
  EXPECT_TRUE(rig.network.destinations.empty());
}

TEST(RunControl, ExitPressedDuringASearchSeriesEndsTheProgram) {
  Rig rig;
  rig.router().answersDiscovery = false;
  rig.display.SetTimer(kStartTimer, 100);
  rig.clock.Schedule(3000 * 1000, [&] { rig.clock.Post([&] { Rig::EndIfFinal(rig.dlg->OnCancel()); }); });
  EXPECT_EQ(rig.RunMessages(), 1);
  EXPECT_LT(rig.clock.NowMs(), 4000);
}

}  // namespace
}  // namespace ramtune::test

namespace ramtune::test {
namespace {

TEST(RunControl, RetryAfterARunFindsTheSameRouterAgain) {
  Rig rig;
  rig.router().Set("bl_version", "x");  // any value that passes the gate
  rig.router().script = [](const std::string& c, Reply& r) {
    if (c != "ATE Get_MacAddr_2G") return false;
    r.text = "bad\n";  // the run ends in the backup
    return true;
  };
  ASSERT_EQ(rig.SearchAndRun(), -1);
  ASSERT_TRUE(rig.display.enabled[kButtonRetry]);
  rig.display.boxes.clear();
  const size_t before = rig.network.destinations.size();
  rig.dlg->OnRetry();
  EXPECT_EQ(rig.RunMessages(), -1);
  // The second series found the router at once and ran again. Its search
  // still asks the unit the last run chose; the run's own starts broadcast.
  EXPECT_EQ(rig.display.boxes, (std::vector<std::string>{"Retrieve 2.4G MAC Fail!!"}));
  ASSERT_GT(rig.network.destinations.size(), before + 2);
  EXPECT_EQ(rig.network.destinations[before], "10.77.0.2");
  EXPECT_EQ(rig.network.destinations[before + 1], "255.255.255.255");
}

}  // namespace
}  // namespace ramtune::test
