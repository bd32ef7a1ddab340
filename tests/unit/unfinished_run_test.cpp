// The unit ledger's rules in runs: the open change recorded before the unit
// is changed and closed with the run that completes it, what the next start
// (from any folder) does with one left behind, a unit that looks left
// mid-run by another unit's change, and a ledger that cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/text.h"
#include "platform/platform.h"
#include "support/rig.h"
#include "upgrade/ledger.h"
#include "upgrade/run_mark.h"

namespace ramtune::test {
namespace {

namespace fs = std::filesystem;
const char* const kUnitMac = "001122AABBCC";
const char* const kMtdWrite = "/mnt/cfe/mtd-write";

bool Sent(const std::vector<std::string>& commands, const std::string& prefix) {
  return std::any_of(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

bool Listed(const Rig& rig, const std::string& part) {
  const std::vector<std::string>& list = rig.display.listLines;
  return std::any_of(list.begin(), list.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// The open changes of the ledger `rig` uses, read by a ledger of the test's own.
std::vector<upgrade::LedgerChange> OpenChanges(const Rig& rig) {
  upgrade::Ledger ledger;
  std::vector<upgrade::LedgerChange> open;
  EXPECT_TRUE(ledger.Open(rig.dlg->settings.LedgerPath) && ledger.OpenChanges(&open)) << ledger.Error();
  return open;
}

bool Wrote(Rig& rig) { return Sent(rig.Commands(), "ATE Set_") || Sent(rig.Commands(), "nvram set qarvcfe"); }

bool Asked(const Rig& rig, const std::string& prefix) {
  return std::any_of(rig.display.events.begin(), rig.display.events.end(),
                     [&](const std::string& e) { return e.rfind("ask in person " + prefix, 0) == 0; });
}

// The program ends (as a crash or a closed terminal would) when the router
// receives the command after `command`, before it answers.
void EndProgramAfter(Rig& rig, const std::string& command) {
  RouterModel& router = rig.router();
  router.script = [&router, command](const std::string&, Reply&) -> bool {
    const size_t n = router.commands.size();
    if (n >= 2 && router.commands[n - 2].rfind(command, 0) == 0) throw ProcessExit{137};
    return false;
  };
}


// A first run that ends one command after the flash, on a unit that then
// answers with the image's defaults in its boot partition.
void FirstRunCutAfterFlash(Rig& first, bool keepMac = true) {
  EndProgramAfter(first, kMtdWrite);
  first.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(first.RunMessages(), 137);
  WipeToFactory(first.router(), keepMac);
}

// A second program on the unit the first left, with the first's ledger; from
// the first's folder unless `ownFolder`.
void SecondStartOn(Rig& first, Rig& second, bool ownFolder = false) {
  const std::string ledger = first.dlg->settings.LedgerPath;
  if (!ownFolder) second.dlg->settings = first.dlg->settings;
  second.dlg->settings.LedgerPath = ledger;
  second.router() = first.router();
  second.router().script = nullptr;
  second.clock.timeStamp = "20261208094500";
}

TEST(UnfinishedRun, TheLedgerHoldsTheChangeWhileTheUnitIsChangedAndClosesItWithTheCompletedRun) {
  Rig rig;
  std::vector<upgrade::LedgerChange> atFlash;
  RouterModel& router = rig.router();
  router.script = [&](const std::string& command, Reply&) {
    if (command.rfind(kMtdWrite, 0) == 0) atFlash = OpenChanges(rig);
    return false;
  };
  rig.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(rig.RunMessages(), -1);
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
  ASSERT_EQ(atFlash.size(), 1u);
  EXPECT_EQ(atFlash[0].mac, kUnitMac);
  EXPECT_EQ(atFlash[0].dataLog, rig.dlg->logs.DataLogPath);
  EXPECT_EQ(atFlash[0].since, rig.clock.timeStamp);
  EXPECT_EQ(atFlash[0].sha256.size(), 64u);
  ASSERT_TRUE(atFlash[0].hasValues);
  EXPECT_EQ(atFlash[0].values.values.Values[upgrade::kMac2G], "00:11:22:AA:BB:CC");
  EXPECT_TRUE(OpenChanges(rig).empty());
  EXPECT_TRUE(upgrade::OpenMarks(rig.folder + "/").empty());  // no mark files any more

  upgrade::Ledger ledger;
  std::vector<upgrade::LedgerUnit> history;
  ASSERT_TRUE(ledger.Open(rig.dlg->settings.LedgerPath) && ledger.History(&history));
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].state, upgrade::kStateCompleted);
  EXPECT_EQ(history[0].last.outcome, "completed");
  EXPECT_EQ(history[0].last.bootloaderAfter, "1.0.1.6");
  EXPECT_EQ(history[0].last.dataLog, rig.dlg->logs.DataLogPath);
}

// A ledger that cannot be opened, read or written stops the run before
// anything is read for a backup; the file is never rewritten.
TEST(UnfinishedRun, ALedgerThatCannotBeUsedStopsTheRunAndIsLeftAsItIs) {
  struct Case {
    const char* name;
    const char* content;  // nullptr: the ledger's folder is missing
  };
  for (const Case& c : std::vector<Case>{{"not a database", "these are not the units you are looking for"},
                                         {"cut to nothing", ""},
                                         {"its folder missing", nullptr}}) {
    SCOPED_TRACE(c.name);
    Rig rig;
    std::string& path = rig.dlg->settings.LedgerPath;
    if (c.content == nullptr) {
      path = rig.folder + "/gone/ledger.sqlite3";
    } else {
      std::ofstream(path, std::ios::binary) << c.content;
    }
    rig.display.SetTimer(kStartTimer, 100);
    rig.RunMessages();
    EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::LedgerUnusable);
    EXPECT_EQ(rig.dlg->LastEnding()->ExitStatus(), 4);
    EXPECT_FALSE(Sent(rig.Commands(), "nvram get wlopmode"));
    EXPECT_EQ(rig.router().flashes, 0);
    ASSERT_FALSE(rig.display.boxes.empty());
    EXPECT_NE(rig.display.boxes.back().find(path), std::string::npos) << rig.display.boxes.back();
    std::string now;
    if (c.content != nullptr) {
      ASSERT_TRUE(platform::ReadFilePrefix(path, 4096, &now));
      EXPECT_EQ(now, c.content);
    }
  }
}

struct SecondStart {
  const char* name;
  std::function<void(Rig& first)> before;  // what happens between the two
  bool yes;                                // the answer to taking the run up
  bool ownFolder;                          // the second program starts from another folder
  std::vector<upgrade::RunOutcome> outcomes;  // of each start after the first
};

TEST(UnfinishedRun, TheNextStartWritesTheUnitsOwnValuesBackAndNeverBacksUpTheDefaults) {
  using upgrade::RunOutcome;
  auto dataLogOf = [](Rig& first) { return first.dlg->logs.DataLogPath; };
  const std::vector<SecondStart> cases = {
      {"taken up", nullptr, true, false, {RunOutcome::Completed}},
      {"not taken up", nullptr, false, false, {RunOutcome::NotResumed}},
      {"from another folder", nullptr, true, true, {RunOutcome::Completed}},
      // Out of reach: the first start stops; the next uses the ledger's copy.
      {"its Data log gone", [&](Rig& first) { fs::remove(dataLogOf(first)); }, true, false,
       {RunOutcome::Unfinished, RunOutcome::Completed}},
      {"its Data log edited", [&](Rig& first) {
         std::string text;
         ASSERT_TRUE(platform::ReadFilePrefix(dataLogOf(first), 65536, &text));
         std::ofstream(dataLogOf(first), std::ios::binary) << ReplaceAll(text, "ccode US", "ccode DB");
       }, true, false, {RunOutcome::Completed}},
  };
  Rig healthy;
  healthy.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(healthy.RunMessages(), -1);
  for (const SecondStart& c : cases) {
    SCOPED_TRACE(c.name);
    Rig first;
    FirstRunCutAfterFlash(first);
    ASSERT_EQ(OpenChanges(first).size(), 1u);
    if (c.before) c.before(first);
    RouterModel unit = first.router();
    unit.script = nullptr;
    for (RunOutcome expected : c.outcomes) {
      Rig second;
      SecondStartOn(first, second, c.ownFolder);
      second.router() = unit;
      second.router().commands.clear();
      second.display.yesNoAnswer = c.yes;
      second.display.inPersonAnswer = false;
      second.display.SetTimer(kStartTimer, 100);
      second.RunMessages();
      unit = second.router();
      unit.script = nullptr;
      EXPECT_EQ(second.dlg->LastEnding()->outcome, expected);
      EXPECT_EQ(Wrote(second), expected == RunOutcome::Completed);
      // Never a backup of what the interrupted run left (a restore keeps
      // what it found in a log of its own, never as the unit's values).
      EXPECT_EQ(Rig::FileLines(second.dlg->logs.DataLogPath).size(), expected == RunOutcome::Completed ? 30u : 0u);
      if (expected == RunOutcome::Completed) {
        for (const char* key : {"0:ccode", "0:regrev", "1:ccode", "odmpid", "secret_code", "0:pa2ga0"}) {
          EXPECT_EQ(unit.Mtd0(key), healthy.router().Mtd0(key)) << key;
        }
      } else {
        EXPECT_EQ(second.dlg->LastEnding()->ExitStatus(), 6);
        EXPECT_EQ(second.dlg->LastResult().restoreLog, dataLogOf(first));
        EXPECT_FALSE(second.dlg->LastResult().hint.empty());
      }
      EXPECT_EQ(OpenChanges(first).empty(), expected == RunOutcome::Completed);
    }
  }
}

// Another unit's open change, and a unit that may be that one: left mid-run,
// it answers under the image's default MAC, or it has the image's
// bootloader and no run of this PC completed it. Only a person says it is a
// new unit; a --yes never does, nor does a bench.
TEST(UnfinishedRun, AUnitThatLooksLeftMidRunIsNotTakenForANewOne) {
  using upgrade::RunOutcome;
  struct Case {
    const char* name;
    std::function<void(RouterModel&)> unit;
    const char* plannedMac;  // a run of a bench
    bool inPerson;
    RunOutcome ending;
    bool asked;
  };
  const std::vector<Case> cases = {
      {"its own MAC, old bootloader: no question, no line", nullptr, nullptr, false, RunOutcome::Completed, false},
      {"the image's default MAC", [](RouterModel& r) { WipeToFactory(r, false); }, nullptr, false,
       RunOutcome::Unfinished, true},
      {"the image's default MAC, a person says new", [](RouterModel& r) { WipeToFactory(r, false); }, nullptr, true,
       RunOutcome::Completed, true},
      {"the image's default MAC on a bench", [](RouterModel& r) { WipeToFactory(r, false); }, "00904C000001", true,
       RunOutcome::Unfinished, true},
      {"the image's bootloader, never completed here", [](RouterModel& r) { UpgradeInPlace(r); }, nullptr, false,
       RunOutcome::Unfinished, true},
  };
  Rig healthy;
  healthy.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(healthy.RunMessages(), -1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    // The open change of another unit, left by a run of this PC.
    upgrade::Ledger ledger;
    upgrade::LedgerRun run;
    run.unit = "0A0B0C0D0E0F";
    run.started = "20261208090000";
    run.mode = "upgrade";
    upgrade::LedgerChange other;
    other.mac = "0A0B0C0D0E0F";
    other.dataLog = healthy.dlg->logs.DataLogPath;
    other.since = "20261208090000";
    ASSERT_TRUE(ledger.Open(rig.dlg->settings.LedgerPath) && ledger.RecordChange(run, other))
        << ledger.Error();
    if (c.unit) c.unit(rig.router());
    if (c.plannedMac != nullptr) {
      rig.dlg->PlanUnit(c.plannedMac);
      rig.display.inPersonAnswer = false;  // a bench asks no person
    } else {
      rig.display.inPersonAnswer = c.inPerson;
    }
    rig.display.yesNoAnswer = true;
    rig.display.SetTimer(kStartTimer, 100);
    rig.RunMessages();
    EXPECT_EQ(rig.dlg->LastResult().outcome, c.ending);
    EXPECT_EQ(Asked(rig, "This unit ("), c.asked);
    EXPECT_EQ(Listed(rig, "was changed by a run that did not finish"), c.asked);
    if (c.ending != RunOutcome::Completed) {
      EXPECT_FALSE(Wrote(rig));
      EXPECT_EQ(rig.router().flashes, 0);
      EXPECT_EQ(upgrade::ExitStatusOf(c.ending), 6);
    }
    std::vector<upgrade::LedgerChange> open;
    ASSERT_TRUE(ledger.OpenChanges(&open));
    ASSERT_FALSE(open.empty());
    EXPECT_EQ(open[0].mac, other.mac);  // never closed by another unit's run
  }
}

// Two runs at one unit at once: the second does nothing to it.
TEST(UnfinishedRun, ASecondRunOnTheSameUnitIsRefused) {
  Rig rig;
  bool busy = false;
  std::string why;
  const intptr_t held =
      platform::TryLockFile(rig.dlg->settings.LedgerPath + ".unit-" + kUnitMac + ".lock", &busy, &why);
  ASSERT_NE(held, -1) << why;
  rig.display.SetTimer(kStartTimer, 100);
  rig.RunMessages();
  platform::ReleaseFileLock(held);
  EXPECT_EQ(rig.dlg->LastResult().outcome, upgrade::RunOutcome::UnitBusy);
  EXPECT_FALSE(Sent(rig.Commands(), "nvram get wlopmode"));
  EXPECT_EQ(rig.router().flashes, 0);
}

TEST(UnfinishedRun, MarksReadBackAsWritten) {
  const upgrade::RunMark mark{"", "0A1B2C3D4E5F", "C:\\runs\\x_Data_1.txt", "20261208090000"};
  upgrade::RunMark read;
  ASSERT_TRUE(upgrade::ParseMark(upgrade::MarkText(mark), &read));
  EXPECT_EQ(read.mac, mark.mac);
  EXPECT_EQ(read.dataLog, mark.dataLog);
  EXPECT_EQ(read.time, mark.time);
  for (const char* text : {"", "MAC=0a1b2c3d4e5f\nDataLog=x\n", "MAC=0A1B2C3D4E5F\n", "MAC=0A1B2C\nDataLog=x\n"}) {
    EXPECT_FALSE(upgrade::ParseMark(text, &read)) << text;
  }
  EXPECT_EQ(upgrade::FolderOf("/a/b_Data_1.txt"), "/a/");
  EXPECT_EQ(upgrade::FolderOf("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(upgrade::FolderOf("b.txt"), "");
}

}  // namespace
}  // namespace ramtune::test
