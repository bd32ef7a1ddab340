// The mark of an unfinished run: written before the unit is changed, removed
// when a run of the unit completes, and what the next start in the same
// folder does with one left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/platform.h"
#include "support/rig.h"
#include "upgrade/run_mark.h"

namespace ramtune::test {
namespace {

namespace fs = std::filesystem;
const char* const kUnitMac = "001122AABBCC";
const char* const kFlash = "/mnt/cfe/mtd-write";

bool Sent(const std::vector<std::string>& commands, const std::string& prefix) {
  return std::any_of(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

bool Listed(const Rig& rig, const std::string& part) {
  const std::vector<std::string>& list = rig.display.listLines;
  return std::any_of(list.begin(), list.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string MarkOf(const Rig& rig, const std::string& mac) { return upgrade::MarkPath(rig.folder + "/", mac); }

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

TEST(UnfinishedRun, TheMarkStandsWhileTheUnitIsChangedAndGoesWithTheCompletedRun) {
  Rig rig;
  bool markedAtFlash = false;
  upgrade::RunMark mark;
  RouterModel& router = rig.router();
  router.script = [&](const std::string& command, Reply&) {
    if (command.rfind(kFlash, 0) != 0) return false;
    std::string text;
    markedAtFlash = platform::ReadFilePrefix(MarkOf(rig, kUnitMac), 4096, &text) && upgrade::ParseMark(text, &mark);
    return false;
  };
  rig.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(rig.RunMessages(), -1);
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
  EXPECT_TRUE(markedAtFlash);
  EXPECT_EQ(mark.mac, kUnitMac);
  EXPECT_EQ(mark.dataLog, rig.dlg->logs.DataLogPath);
  EXPECT_EQ(mark.time, rig.clock.timeStamp);
  EXPECT_FALSE(upgrade::HasOpenMark(rig.folder + "/", kUnitMac));
  EXPECT_FALSE(fs::exists(MarkOf(rig, kUnitMac) + ".tmp"));
}

TEST(UnfinishedRun, AMarkThatCannotBeWrittenStopsTheRunBeforeTheFlash) {
  Rig rig;
  fs::create_directories(MarkOf(rig, kUnitMac));  // a folder in the mark's place: the rename fails
  rig.display.SetTimer(kStartTimer, 100);
  rig.RunMessages();
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::DataLogNotWritten);
  EXPECT_EQ(rig.router().flashes, 0);
  EXPECT_FALSE(Sent(rig.Commands(), kFlash));
  ASSERT_FALSE(rig.display.boxes.empty());
  // The folder's separator is the system's own: the names are compared, not the path.
  EXPECT_EQ(rig.display.boxes.back().rfind("The mark of this run ", 0), 0u) << rig.display.boxes.back();
  EXPECT_NE(rig.display.boxes.back().find(std::string("Unfinished_") + kUnitMac + ".txt could not be written"),
            std::string::npos)
      << rig.display.boxes.back();
  EXPECT_TRUE(rig.dlg->LastResult().hint.empty());
}

// A first run ends one command after the flash; a second program starts in
// the same folder on the unit as the first left it.
struct SecondStart {
  const char* name;
  std::function<void(Rig& first)> before;  // what happens in the folder between the two
  bool yes;                                // the answer to taking the run up
  upgrade::RunOutcome ending;
  upgrade::RunOutcome outcome;
  bool restored;     // every value back, PASS, the mark gone
  bool wrote;        // anything written to the unit
  const char* line;  // shown by the second start
};

TEST(UnfinishedRun, TheNextStartWritesTheValuesBackFromTheFirstDataLog) {
  const std::vector<SecondStart> cases = {
      {"taken up", nullptr, true, upgrade::RunOutcome::Completed, upgrade::RunOutcome::Completed, true, true,
       "[System]-The last run on this unit did not finish"},
      {"not taken up", nullptr, false, upgrade::RunOutcome::NotResumed, upgrade::RunOutcome::NotResumed, false, false,
       "[System]-The unfinished run was not taken up"},
      {"its Data log gone: the mark stops nothing",
       [](Rig& first) { fs::remove(first.dlg->logs.DataLogPath); }, true, upgrade::RunOutcome::Completed,
       upgrade::RunOutcome::Completed, false, true, "cannot be read. The mark stops nothing. Delete the file "},
  };
  Rig healthy;
  healthy.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(healthy.RunMessages(), -1);
  for (const SecondStart& c : cases) {
    SCOPED_TRACE(c.name);
    Rig first;
    EndProgramAfter(first, kFlash);
    first.display.SetTimer(kStartTimer, 100);
    ASSERT_EQ(first.RunMessages(), 137);
    ASSERT_TRUE(upgrade::HasOpenMark(first.folder + "/", kUnitMac));
    // The image's defaults in the boot partition: a backup now would keep them.
    WipeToFactory(first.router(), true);
    if (c.before) c.before(first);

    Rig second;
    second.dlg->settings = first.dlg->settings;
    second.router() = first.router();
    second.router().script = nullptr;
    second.clock.timeStamp = "20261208094500";
    second.display.yesNoAnswer = c.yes;
    second.display.SetTimer(kStartTimer, 100);
    second.RunMessages();
    EXPECT_TRUE(Listed(second, c.line));
    EXPECT_EQ(second.dlg->LastEnding()->outcome, c.ending);
    EXPECT_EQ(second.dlg->LastResult().outcome, c.outcome);
    const bool wrote = Sent(second.Commands(), "ATE Set_") || Sent(second.Commands(), "nvram set qarvcfe");
    EXPECT_EQ(wrote, c.wrote);
    if (c.restored) {
      for (const char* key : {"0:ccode", "0:regrev", "odmpid", "secret_code"}) {
        EXPECT_EQ(second.router().Mtd0(key), healthy.router().Mtd0(key)) << key;
      }
    }
    EXPECT_EQ(upgrade::HasOpenMark(first.folder + "/", kUnitMac), c.outcome != upgrade::RunOutcome::Completed);
    // Not taken up: the restore command of the first Data log, and status 6.
    if (c.outcome == upgrade::RunOutcome::NotResumed) {
      EXPECT_EQ(second.dlg->LastResult().restoreLog, first.dlg->logs.DataLogPath);
      EXPECT_FALSE(second.dlg->LastResult().hint.empty());
    }
  }
}

// Marks of other units in the folder while an unmarked unit is upgraded.
TEST(UnfinishedRun, OtherUnitsMarksAreListedAndOnlyTheUserGoesOn) {
  struct Case {
    const char* name;
    bool dataLogReadable;
    bool inPerson;
    bool asked;
    upgrade::RunOutcome ending;
  };
  const std::vector<Case> cases = {
      {"go on as a new unit", true, true, true, upgrade::RunOutcome::Completed},
      {"stop before the backup", true, false, true, upgrade::RunOutcome::NotResumed},
      {"an unreadable Data log blocks nothing", false, false, false, upgrade::RunOutcome::Completed},
  };
  Rig healthy;
  healthy.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(healthy.RunMessages(), -1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    const std::string otherLog = rig.folder + "/other_Data_20261208090000.txt";
    if (c.dataLogReadable) fs::copy_file(healthy.dlg->logs.DataLogPath, otherLog);
    std::string error;
    ASSERT_TRUE(upgrade::WriteMark({MarkOf(rig, "00904C000001"), "00904C000001", otherLog, "20261208090000"}, &error))
        << error;
    rig.display.yesNoAnswer = false;  // a --yes never answers this question
    rig.display.inPersonAnswer = c.inPerson;
    rig.display.SetTimer(kStartTimer, 100);
    rig.RunMessages();
    const bool asked = std::any_of(rig.display.events.begin(), rig.display.events.end(), [](const std::string& e) {
      return e.rfind("ask in person Runs on other units did not finish", 0) == 0;
    });
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(rig.dlg->LastEnding()->outcome, c.ending);
    EXPECT_EQ(Sent(rig.Commands(), "nvram get wlopmode"), c.ending == upgrade::RunOutcome::Completed);
    EXPECT_TRUE(Listed(rig, c.dataLogReadable ? "An earlier run on the unit 00904C000001 did not finish"
                                              : "The mark stops nothing"));
    EXPECT_TRUE(upgrade::HasOpenMark(rig.folder + "/", "00904C000001"));
  }
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
