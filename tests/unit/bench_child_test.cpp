// A bench's child: the command line the bench writes, read back by both
// front ends' parsers, and what the child tells the bench when a stop comes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/bench/child_channel.h"
#include "support/bench_fake.h"
#include "app/console/options.h"
#include "app/win32/options.h"

namespace ramtune::bench {
namespace {

TEST(BenchChildCommandLine, WhatTheBenchWritesBothFrontEndsReadBack) {
  struct Case {
    const char* name;
    BenchChildRequest request;
  };
  BenchChildRequest search;
  search.link = "eth1";
  search.search = true;
  BenchChildRequest upgrade;
  upgrade.link = "eth2";
  upgrade.unit = "00112233aabb";
  upgrade.acceptWarning = true;
  upgrade.yesNo = 0;
  upgrade.ledger = "/var/lib/a b/ledger.sqlite3";
  BenchChildRequest backup = upgrade;
  backup.yesNo = 1;
  backup.backup = true;
  BenchChildRequest restore = upgrade;
  restore.restore = "C:\\logs\\a b_Data_1.txt";
  BenchChildRequest check = upgrade;
  check.yesNo = -1;
  check.verify = true;
  check.verifyFile = "C:\\logs\\a b_Data_1.txt";
  for (const Case& c : {Case{"search", search}, Case{"upgrade", upgrade}, Case{"backup", backup}, Case{"restore", restore},
                        Case{"check", check}}) {
    const BenchChildRequest& r = c.request;
    const std::vector<std::string> args = BenchChildArguments(r, "120:124");
    const console::ParsedOptions console = console::ParseOptions(args);
    ASSERT_EQ(console.error, "") << c.name;
    const console::Options& o = console.options;
    EXPECT_EQ(o.benchChild.channel, "120:124") << c.name;
    EXPECT_EQ(o.benchChild.search, r.search) << c.name;
    EXPECT_EQ(o.benchChild.unit, r.search ? "" : "00112233AABB") << c.name;
    EXPECT_EQ(o.interfaceChoice, r.link) << c.name;
    EXPECT_EQ(o.acceptWarning, r.acceptWarning) << c.name;
    EXPECT_EQ(o.yesNo, r.yesNo) << c.name;
    EXPECT_EQ(o.backup, r.backup) << c.name;
    EXPECT_EQ(o.verify, r.verify) << c.name;
    EXPECT_EQ(o.verifyFile, r.verifyFile) << c.name;
    EXPECT_EQ(o.ledger, r.ledger) << c.name;
    // A restore on a station's slot goes into the unit there, without the identity question.
    EXPECT_EQ(o.restoreFile, r.restore) << c.name;
    EXPECT_EQ(o.intoMac, r.restore.empty() ? "" : "00112233AABB") << c.name;

    // Ramtune.exe reads the same words, its station's answers with them.
    const win32::ParsedOptions windows = win32::ParseOptions(args);
    ASSERT_EQ(windows.error, "") << c.name;
    EXPECT_EQ(windows.options.acceptWarning, r.acceptWarning) << c.name;
    EXPECT_EQ(windows.options.yesNo, r.yesNo) << c.name;
    EXPECT_EQ(windows.options.benchChild.channel, "120:124") << c.name;
    EXPECT_EQ(windows.options.benchChild.unit, o.benchChild.unit) << c.name;
    EXPECT_EQ(windows.options.backup, r.backup) << c.name;
    EXPECT_EQ(windows.options.verifyPath, r.verifyFile) << c.name;
    EXPECT_EQ(windows.options.ledger, r.ledger) << c.name;
    EXPECT_EQ(windows.options.restorePath, r.restore) << c.name;
    EXPECT_EQ(windows.options.intoMac, o.intoMac) << c.name;
  }
  // A check that lost its Data log is refused by the child, never run as an upgrade.
  BenchChildRequest lost = check;
  lost.verifyFile.clear();
  EXPECT_NE(console::ParseOptions(BenchChildArguments(lost, "3")).error, "");
  // The station's answers belong to its runs only.
  EXPECT_NE(win32::ParseOptions({"--yes"}).error, "");
}

// The first step of a stop, whether the bench asked it or a service
// manager's SIGTERM did: a run that has not changed its unit ends; a changed
// one goes on to finish its write-back and says so once.
TEST(BenchChildChannel, AStopEndsAnUnchangedRunAndLeavesAChangedOneToFinish) {
  struct Case {
    bool changed;
    bool stop;
    bool endsNow;
    const char* sent;
  };
  for (const Case& c : {Case{false, false, false, ""}, Case{false, true, true, ""}, Case{true, false, false, "changed\n"},
                        Case{true, true, false, "changed\ndeferred\n"}}) {
    RecordedLink link;
    BenchChannel channel(link);
    if (c.changed) channel.UnitChanged(upgrade::ChangedUnit{true, "D.txt", "", {}});
    link.stop = c.stop;
    EXPECT_EQ(channel.Poll(), c.endsNow) << c.changed << c.stop;
    EXPECT_EQ(channel.Poll(), c.endsNow) << c.changed << c.stop;
    EXPECT_EQ(link.sent, c.sent) << c.changed << c.stop;
  }
}

// What a run's ending says reaches the bench's record and report as it is:
// no Data log the run did not write, the one that restores a changed unit,
// and a unit left changed counted as changed, whoever changed it.
TEST(BenchChildChannel, TheRunsEndingWinsOverTheNamesGivenAtItsStart) {
  using upgrade::RunOutcome;
  struct Case {
    bool flashed;  // the run changed the unit itself
    RunOutcome outcome;
    bool unitChanged;
    const char* dataLog;
    const char* restoreLog;
    int status;
    const char* ending;
    bool reportedChanged;
  };
  for (const Case& c : {Case{true, RunOutcome::Completed, false, "/w/D1.txt", "", 0, "PASS", true},
                        Case{false, RunOutcome::Failed, false, "", "", 2, "FAIL (2)", false},  // before its backup
                        Case{false, RunOutcome::Unfinished, true, "", "/w/D0.txt", 6, "unfinished (6)", true},
                        Case{false, RunOutcome::Unfinished, false, "", "", 6, "unfinished (6)", true}}) {
    RecordedLink link;
    BenchChannel channel(link);
    channel.LogsNamed("/w/P1.txt", "/w/D1.txt");
    if (c.flashed) channel.UnitChanged(upgrade::ChangedUnit{true, "/w/D1.txt", "", {}});
    upgrade::RunResult result;
    result.outcome = c.outcome;
    result.unitChanged = c.unitChanged;
    result.dataLog = c.dataLog;
    result.restoreLog = c.restoreLog;
    channel.Ended(result);
    channel.Finish(c.status);
    UnitRecord record;
    record.life = UnitLife::Ended;
    for (size_t start = 0, end; (end = link.sent.find('\n', start)) != std::string::npos; start = end + 1) {
      Event event;
      ASSERT_TRUE(DecodeEvent(link.sent.substr(start, end - start), &event));
      ApplyEvent(event, &record, 0);
    }
    const std::string what = upgrade::OutcomeWords(c.outcome) + std::string(c.unitChanged ? " changed" : "");
    EXPECT_EQ(EndingText(record), c.ending) << what;
    const nlohmann::json unit = nlohmann::json::parse(ReportJson({record}, {}, "s", "e", c.status))["units"][0];
    EXPECT_EQ(unit["process_log"], "/w/P1.txt") << what;
    EXPECT_EQ(unit["data_log"], c.dataLog) << what;
    EXPECT_EQ(unit["restore_log"], c.restoreLog) << what;
    EXPECT_EQ(unit["unit_changed"], c.reportedChanged) << what;
    EXPECT_TRUE(unit["ledger_state"].is_null()) << what;
  }
}

}  // namespace
}  // namespace ramtune::bench
