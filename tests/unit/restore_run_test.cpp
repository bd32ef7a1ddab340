// The restore run in virtual time: a unit's values written back from the
// Data log of an earlier run, the unit's own values kept first, the flash
// only for an old bootloader, the identity guard, and the hint that a run
// which fails after changing the router prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "link/packets.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

const char* const kOtherMac = kFactoryMac;

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

  void FactoryValues(bool keepMac) { WipeToFactory(rig.router(), keepMac); }

  // Starts the program in restore mode and runs it until it is idle or ends.
  int Restore(const std::string& path) {
    rig.dlg->Request(upgrade::RunMode::RestoreFrom(path));
    rig.display.SetTimer(kStartTimer, 100);
    return rig.RunMessages();
  }

  std::vector<std::string> Log() const { return rig.ProcessLog(); }
  std::string BeforeRestoreLog() const { return upgrade::BeforeRestoreLogPath(rig.dlg->logs.DataLogPath); }

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
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
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
  // Where the unit's own values went, and, after the completion, which
  // Data log is back in the unit.
  const std::vector<std::string> log = Log();
  EXPECT_TRUE(Has(log, "[System]-Restore: the values this unit holds now are kept in " + BeforeRestoreLog()));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "[System]-Upgrade completed");
  EXPECT_EQ(log.back(), "[System]-Restore: the values of the Data log " + dataLog + " are back in the unit");
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
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
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
      EXPECT_EQ(r.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
      EXPECT_EQ(Ate(r.router(), "mac2g"), "00:11:22:AA:BB:CC");
      EXPECT_TRUE(Has(Log(), "[System]-Restore: the unit is addressed under the restored MAC 001122AABBCC"));
    } else {
      EXPECT_EQ(r.dlg->LastEnding()->outcome, upgrade::RunOutcome::Failed);
      EXPECT_FALSE(Has(r.Commands(), "ATE Set_"));
      EXPECT_EQ(r.display.picture, kPicturePause);
    }
  }
}

// After a Yes, the log of what the unit held before is the only copy of its
// own identity: a failure that follows names it, and so does the hint of a
// run interrupted before its end (a second Ctrl+C).
TEST_F(RestoreRunTest, AFailureAfterAYesNamesTheLogOfTheUnitsOwnValues) {
  FactoryValues(false);
  std::vector<std::string> hintAtReboot;
  rig.router().script = [&](const std::string& command, Reply& reply) {
    if (command != "reboot") return false;
    hintAtReboot = rig.dlg->RecoveryHintNow();
    rig.router().ready = false;  // and it is never ready again
    return reply.drop = true;
  };
  EXPECT_EQ(Restore(dataLog), -1);
  const std::vector<std::string>& list = rig.display.listLines;
  EXPECT_EQ(std::vector<std::string>(list.end() - 3, list.end()), rig.dlg->LastResult().hint);
  EXPECT_EQ(hintAtReboot, rig.dlg->LastResult().hint);
  EXPECT_EQ(list.back(), "[System]-The values this unit held before the restore, its own MAC among them, are kept only in " +
                             BeforeRestoreLog() + ".");
  EXPECT_EQ(Rig::FileLines(BeforeRestoreLog())[0], std::string("MacAddr_2G ") + kOtherMac);
}

// A restore writes the board settings of the image's bootloader: a newer one,
// or one whose version cannot be read, is refused before anything is written.
TEST_F(RestoreRunTest, ABootloaderNotOlderThanTheImageIsNeverWrittenOver) {
  const std::string unreadable = "This unit's bootloader version cannot be read (the image's is 1.0.1.6).";
  for (const auto& [version, refusal] : std::vector<std::pair<std::string, std::string>>{
           {"1.0.1.7", "This unit's bootloader is 1.0.1.7, newer than the image's 1.0.1.6, whose board settings a "
                       "restore writes."},
           {"", unreadable}, {"unknown", unreadable}, {"1.0.1.4\r", ""}}) {
    rig.router().Set("bl_version", version);
    rig.router().commands.clear();
    rig.display.boxes.clear();
    const int flashes = rig.router().flashes;
    EXPECT_EQ(Restore(dataLog), -1) << version;
    if (refusal.empty()) {
      EXPECT_EQ(rig.router().flashes, flashes + 1);
      EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Completed);
      continue;
    }
    EXPECT_EQ(rig.display.boxes, std::vector<std::string>{refusal + " Nothing has been written to the router."});
    for (const std::string& command : rig.Commands()) {
      EXPECT_TRUE(StartsWith(command, "ATE Get") || StartsWith(command, "nvram get")) << version << ": " << command;
    }
  }
}

// Whatever the folders above it are called.
TEST(BeforeRestoreLog, OnlyTheFileNameChanges) {
  EXPECT_EQ(upgrade::BeforeRestoreLogPath("/a_Data_/QARV Tool001122AABBCC_Data_1.txt"),
            "/a_Data_/QARV Tool001122AABBCC_BeforeRestore_1.txt");
  EXPECT_EQ(upgrade::BeforeRestoreLogPath("C:\\a_Data_\\X_Data_1.txt"), "C:\\a_Data_\\X_BeforeRestore_1.txt");
}

TEST_F(RestoreRunTest, AUnitOfTheOtherModelIsRefusedWithoutAQuestion) {
  const std::string otherModel = ReplaceAll(ReadAll(dataLog), "odmpid=LM-7210A", "odmpid=LM-7210B");
  const std::string path = ReplaceAll(dataLog, ".txt", "-b.txt");
  std::ofstream(path, std::ios::binary) << otherModel;
  EXPECT_EQ(Restore(path), -1);
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::Failed);
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
  EXPECT_EQ(rig.dlg->LastEnding()->outcome, upgrade::RunOutcome::DataLogRefused);
  ASSERT_EQ(rig.display.boxes.size(), 1u);
  EXPECT_TRUE(Contains(rig.display.boxes[0], path + ", line 2:")) << rig.display.boxes[0];
  EXPECT_EQ(rig.network.requests.size(), sent);
}

// After the router has been changed, a failure says where the unit's values
// are, the command that writes them back when pasted into the shell of the
// front end (the run's folder, the program by its full path, the interface
// the run was tied to) and that a new upgrade would call the unit up to date;
// before, it says nothing of the kind.
TEST(RecoveryHint, FollowsAFailureOnlyOnceTheRouterHasBeenChanged) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> fault;
    RestoreCommandStyle style;
    bool secondLink;  // the router on the second of two links
    const char* command;  // {F}: the run's folder, {P}: the program, {D}: the Data log; empty: no hint
  };
  const RestoreCommandStyle prompt{true, "/restore", "/interface", true};
  auto refusedIdentityWrite = [](Rig& rig) {
    rig.router().script = [](const std::string& command, Reply& reply) {
      if (!StartsWith(command, "ATE Set_MacAddr_2G")) return false;
      reply.text = "0\n";
      return true;
    };
  };
  for (const Case& c : std::vector<Case>{
           {"identity write refused after the flash", refusedIdentityWrite, {}, false,
            "cd '{F}' && '{P}' --restore '{D}'"},
           {"the same on the second link", refusedIdentityWrite, {}, true,
            "cd '{F}' && '{P}' --restore '{D}' --interface 'eth1'"},
           {"the same at a command prompt", refusedIdentityWrite, prompt, true,
            "cd /d \"{F}\" && \"{P}\" /restore \"{D}\" /interface \"10.77.0.5\""},
           {"upload fails before the flash",
            [](Rig& rig) {
              rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
            },
            {}, false, ""},
       }) {
    Rig rig;
    c.fault(rig);
    rig.dlg->settings.RestoreCommand = c.style;
    if (c.secondLink) {
      rig.network.interfaces.push_back({2, "eth1", "10.77.0.5", "255.255.255.0", true, true, ""});
      rig.router().link = 2;
    }
    EXPECT_EQ(rig.SearchAndRun(), -1) << c.name;
    const std::string data = rig.dlg->logs.DataLogPath;
    const std::vector<std::string> hint{
        "[System]-This unit's values are kept in the Data log " + data + ". To write them back, run: " +
            ReplaceAll(ReplaceAll(ReplaceAll(c.command, "{F}", rig.folder), "{P}", rig.dlg->settings.ProgramPath), "{D}", data),
        "[System]-Do not start a new upgrade of this unit: it would be reported as up to date."};
    const std::vector<std::string>& list = rig.display.listLines;
    const bool shown = list.size() >= 2 && std::vector<std::string>(list.end() - 2, list.end()) == hint;
    EXPECT_EQ(shown, c.command[0] != '\0') << c.name << "\n" << list.back();
    EXPECT_EQ(Has(rig.ProcessLog(), hint[0]), shown) << c.name;
  }
}

// The POSIX command, pasted into a shell, starts the program in the run's
// folder with the Data log and the interface as they are, quotes and all.
TEST(RecoveryHint, ThePosixCommandWorksWhenPasted) {
  if (platform::kPathSeparator == '\\') GTEST_SKIP() << "a POSIX shell";
  Rig rig;
  const std::string odd = rig.folder + "/it's a \"run\" $HOME `folder`";
  ASSERT_TRUE(platform::CreateDirectory(odd));
  rig.dlg->settings.ToolFolderPath = odd + "/" + kToolFolderName;
  rig.dlg->settings.ProgramPath = odd + "/ram'tune";
  const std::string out = rig.folder + "/pasted.txt";
  std::ofstream(rig.dlg->settings.ProgramPath) << "#!/bin/sh\npwd >'" << out << "'\nprintf '%s\\n' \"$@\" >>'" << out
                                               << "'\n";
  std::filesystem::permissions(rig.dlg->settings.ProgramPath, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  const std::string data = odd + "/QARV it's_Data_1.txt";
  const std::string command = upgrade::RestoreCommandLine(rig.dlg->settings, data, "eth 1");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{odd, "--restore", data, "--interface", "eth 1"})) << command;
}

}  // namespace
}  // namespace ramtune::test
