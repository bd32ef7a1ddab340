// The script runner: splitting, listing, sending and "Result.txt".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/script_runner.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitScript, CrLfLinesCommentsAndTheMissingLastLineEnd) {
  EXPECT_EQ(SplitScript("nvram get bl_version\r\n; a comment\r\nATE Get_FWVersion\r\n"),
            (Lines{"nvram get bl_version", "ATE Get_FWVersion"}));
  EXPECT_EQ(SplitScript("nvram get bl_version\r\n; a comment\r\nATE Get_FWVersion"),
            (Lines{"nvram get bl_version"}));
  EXPECT_EQ(SplitScript("a\r\n\r\n b \r\n"), (Lines{"a", "", " b "}));
  EXPECT_TRUE(SplitScript("no line end at all").empty());
  EXPECT_TRUE(SplitScript("").empty());
}

TEST(SplitScript, BareLineFeedsLoseNoCharacterAndEmptyLinesDoNotEndTheSplit) {
  EXPECT_EQ(SplitScript("abc\ndef\n"), (Lines{"abc", "def"}));
  EXPECT_EQ(SplitScript("\nabc\n\ndef\n"), (Lines{"", "abc", "", "def"}));
  EXPECT_EQ(SplitScript("x\r\ny\nz\r\n"), (Lines{"x", "y", "z"}));
}

TEST(SplitScript, TextEndsAtTheFirstZeroByte) {
  EXPECT_EQ(SplitScript(std::string("one\r\ntw\0o\r\nthree\r\n", 18)), (Lines{"one"}));
}

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptRunnerTest() : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(rig.folder);
    rig.dlg->settings.EngineeringMode = true;
    rig.dlg->link.discovery.SearchRouter(rig.dlg->Unit());
    rig.display.LogListClear();
  }
  ~ScriptRunnerTest() override { std::filesystem::current_path(saved_); }

  std::string Script(const std::string& name, const std::string& text) {
    const std::string path = rig.folder + platform::kPathSeparator + name;
    std::ofstream(path, std::ios::binary) << text;
    rig.display.chosenFile = path;
    return path;
  }
  static std::string Result() {
    std::ifstream in(kResultFile, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  Rig rig;

 private:
  std::filesystem::path saved_;
};

TEST_F(ScriptRunnerTest, ThreeLineExampleSendsTwoCommandsAndRecordsWholeReplies) {
  const std::string path =
      Script("a.script", "nvram get bl_version\r\n; comment\r\nATE Get_FWVersion\r\n");
  rig.dlg->RunScript();
  EXPECT_EQ(rig.display.Of("choose-file").at(0),
            std::string(kScriptFilter) + "|" + rig.folder + platform::kPathSeparator + "Script");
  EXPECT_EQ(rig.display.listLines,
            (Lines{"[Script]:" + path, "=====[Command]=====", "1: nvram get bl_version", "2: ATE Get_FWVersion",
                   "===================", "<Send> nvram get bl_version\n", "<Response> 1.0.1.5\n\n",
                   "<Send> ATE Get_FWVersion\n", "<Response> 3.0.0.4.386_45958\n\n"}));
  EXPECT_EQ(Result(),
            "<Send> nvram get bl_version\n<Response> 1.0.1.5\n\n<Send> ATE Get_FWVersion\n"
            "<Response> 3.0.0.4.386_45958\n\n");
  EXPECT_EQ(rig.dlg->scripts.CommandList, (Lines{"nvram get bl_version", "ATE Get_FWVersion"}));
}

TEST_F(ScriptRunnerTest, TwoRunsAppendAndAnUnansweredCommandRecordsAnEmptyReply) {
  rig.router().script = [](const std::string& c, Reply& r) {
    r.drop = c == "silent";
    r.text = "ok\n";
    return true;
  };
  Script("b.script", "silent\r\n");
  rig.dlg->RunScript();
  rig.dlg->RunScript();
  EXPECT_EQ(Result(), "<Send> silent\n<Response> \n<Send> silent\n<Response> \n");
}

TEST_F(ScriptRunnerTest, OnlyTheFirst2048BytesAreRead) {
  std::string text;
  while (text.size() < 2030) text += "nvram get x\r\n";  // 13 bytes a line
  text += "nvram get cut-at-2048\r\n";
  Script("long.script", text);
  rig.dlg->RunScript();
  const size_t complete = 2048 / 13;
  EXPECT_EQ(rig.dlg->scripts.CommandList.size(), complete);
  EXPECT_EQ(rig.router().commands.size(), complete);
}

TEST_F(ScriptRunnerTest, CancelledDialogOrUnreadableFileSendsNothing) {
  rig.display.chosenFile = "";
  rig.dlg->RunScript();
  EXPECT_EQ(rig.display.listLines, (Lines{"Open File  Fail"}));
  rig.display.chosenFile = rig.folder + "/missing.script";
  rig.dlg->RunScript();
  EXPECT_EQ(rig.display.listLines.back(), "Open File " + rig.folder + "/missing.script Fail");
  EXPECT_TRUE(rig.router().commands.empty());
  EXPECT_FALSE(platform::FileExists(kResultFile));
}

TEST_F(ScriptRunnerTest, UnopenableResultFileSendsNothing) {
  std::filesystem::create_directory(kResultFile);  // a folder cannot be appended to
  Script("c.script", "nvram get x\r\n");
  rig.dlg->RunScript();
  EXPECT_EQ(rig.display.listLines.back(), "Open File Result.txt Fail");
  EXPECT_TRUE(rig.router().commands.empty());
}

TEST_F(ScriptRunnerTest, BinaryScriptSendsOnlyLinesOfTheFile) {
  std::string binary;
  for (int i = 1; i < 256; ++i) binary.push_back(static_cast<char>(i));
  Script("bin.script", binary + "\n" + binary);
  rig.dlg->RunScript();
  // Byte 10 is a line feed: the lines are bytes 1-9, then 11-255, then 1-9
  // again; what follows the last line feed is not sent.
  const std::string rest = binary.substr(10);
  EXPECT_EQ(rig.router().commands, (Lines{binary.substr(0, 9), rest, binary.substr(0, 9)}));
}

// The script runner is offered (and Retry enabled) only when nothing else
// pumps messages: a script inside a search series or a run would be
// interleaved with it, and a run inside a script would be sent its commands.
TEST(ScriptRunnerOffered, OnlyWhenNoStartUpSearchRunOrScriptIsUnderWay) {
  struct Seen {
    std::vector<bool> offered;  // CanRunScript at each moment looked at
    std::vector<bool> retry;    // Retry's state then
  };
  auto look = [](Rig& rig, Seen& seen) {
    seen.offered.push_back(rig.dlg->CanRunScript());
    seen.retry.push_back(rig.display.enabled[kButtonRetry]);
  };
  const std::vector<bool> never{false};

  // Start-up, then a series that finds nothing: offered once it is over.
  Rig idle;
  idle.router().answersDiscovery = false;
  Seen starting, searching;
  look(idle, starting);
  idle.display.SetTimer(kStartTimer, 100);
  idle.clock.Schedule(5000 * 1000, [&] { look(idle, searching); });
  EXPECT_EQ(idle.RunMessages(), -1);
  EXPECT_EQ(starting.offered, never);
  EXPECT_EQ(searching.offered, never);
  EXPECT_TRUE(idle.dlg->CanRunScript());
  EXPECT_TRUE(idle.display.enabled[kButtonRetry]);

  // A script after it: neither offered nor Retry while it runs; both back after.
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(idle.folder);  // Result.txt goes there
  Seen scripting;
  idle.router().answersDiscovery = true;
  idle.dlg->link.discovery.SearchRouter(idle.dlg->Unit());
  idle.router().script = [&](const std::string&, Reply&) {
    look(idle, scripting);
    return false;
  };
  const std::string path = idle.folder + platform::kPathSeparator + "a.script";
  std::ofstream(path, std::ios::binary) << "nvram get bl_version\r\n";
  idle.display.chosenFile = path;
  idle.dlg->RunScript();
  EXPECT_EQ(scripting.offered, never);
  EXPECT_EQ(scripting.retry, never);
  EXPECT_TRUE(idle.dlg->CanRunScript());
  EXPECT_TRUE(idle.display.enabled[kButtonRetry]);
  // Retry sent while a script runs changes nothing.
  idle.router().script = [&](const std::string&, Reply&) {
    idle.dlg->OnRetry();
    return false;
  };
  idle.dlg->RunScript();
  EXPECT_TRUE(idle.display.enabled[kButtonRetry]);
  EXPECT_TRUE(idle.dlg->CanRunScript());
  std::filesystem::current_path(saved);

  // A whole run: not offered while it runs; offered after it, and a script
  // then leaves Retry as the completed run left it (disabled).
  Rig run;
  Seen running;
  run.router().script = [&](const std::string&, Reply&) {
    look(run, running);
    return false;
  };
  run.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(run.RunMessages(), -1);
  ASSERT_EQ(run.display.listLines.back(), "[System]-Upgrade completed");
  EXPECT_FALSE(running.offered.empty());
  EXPECT_EQ(std::count(running.offered.begin(), running.offered.end(), true), 0);
  EXPECT_TRUE(run.dlg->CanRunScript());
  EXPECT_FALSE(run.display.enabled[kButtonRetry]);
  run.router().script = nullptr;
  run.display.chosenFile = "";
  run.dlg->RunScript();
  EXPECT_FALSE(run.display.enabled[kButtonRetry]);
}

}  // namespace
}  // namespace ramtune::test
