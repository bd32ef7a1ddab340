// The script runner: splitting, listing, sending and "Result.txt".
#include <gtest/gtest.h>

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
    rig.dlg->link.SearchRouter();
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

}  // namespace
}  // namespace ramtune::test
