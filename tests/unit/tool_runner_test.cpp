// The uploader runner: command lines, failure lines and results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "core/programs.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using Status = platform::CapturedRun::Status;

class ToolRunnerTest : public ::testing::Test {
 protected:
  ToolRunnerTest() {
    rig.dlg->settings.EngineeringMode = true;
    unit.ip = "10.77.0.2";
  }
  void Answer(Status status, std::string output = "", std::string error = "", int exitCode = 0) {
    rig.processes.capturedAnswer = [=](const FakeProcesses::Captured&) {
      platform::CapturedRun run;
      run.status = status;
      run.exitCode = exitCode;
      run.output = output;
      run.systemError = error;
      return run;
    };
  }
  link::ToolRunner& runner() { return rig.dlg->runner; }
  std::string Tool(const std::string& name) {
    return rig.dlg->settings.ToolFolderPath + platform::kPathSeparator + name;
  }
  Rig rig;
  link::Target unit;
};

TEST_F(ToolRunnerTest, UploadCommandLineQuotesThePathAndNamesTheDirectory) {
  ASSERT_TRUE(runner().UploadBootImage(unit));
  ASSERT_EQ(rig.processes.captured.size(), 1u);
  const auto& run = rig.processes.captured[0];
  EXPECT_EQ(run.application, Tool(platform::kUploaderName));
  EXPECT_EQ(run.commandLine, std::string(platform::kUploaderName) + " -T \"" + Tool("cfe_lm-7210a_1.0.1.6.bin") +
                                 "\" ftp://10.77.0.2/cfe/");
  EXPECT_EQ(run.limitMs, 50000);
  EXPECT_EQ(run.maxBytes, 8192u);
  EXPECT_THAT(rig.display.listLines, ::testing::ElementsAre("ExecuteConsoleCommand_Bin ok!"));
  EXPECT_EQ(rig.clock.pauses, (std::vector<int>{500}));

  ASSERT_TRUE(runner().UploadFlashTool(unit));
  EXPECT_EQ(rig.processes.captured[1].commandLine,
            std::string(platform::kUploaderName) + " -T \"" + Tool("mtd-write") + "\" ftp://10.77.0.2/cfe/");
  EXPECT_EQ(rig.display.listLines.back(), "ExecuteConsoleCommand_Mtd ok!");
}

TEST_F(ToolRunnerTest, EveryFailureLogsItsLinesAndReturnsFalse) {
  struct Case {
    Status status;
    std::vector<std::string> lines;
  };
  const std::string path = Tool(platform::kUploaderName);
  const std::string command = runner().UploadCommandLine("mtd-write", unit);
  const Case cases[] = {
      {Status::PipeFailed, {"Can Not Create Windows Pipe!"}},
      {Status::StartFailed, {"The system cannot find the file specified.", "Path: " + path, "command: " + command,
                             "Can not create process!"}},
      {Status::TimedOut, {"Create process timeout!"}},
      {Status::ReadFailed, {"Retrieve data error!"}},
  };
  for (const Case& c : cases) {
    rig.display.LogListClear();
    Answer(c.status, "", "The system cannot find the file specified.");
    EXPECT_FALSE(runner().UploadFlashTool(unit));
    std::vector<std::string> expected = c.lines;
    expected.push_back("ExecuteConsoleCommand_Mtd fail!");
    ASSERT_EQ(rig.display.listLines.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::string>(rig.display.listLines.begin(), rig.display.listLines.end() - 1), expected);
  }
  // Ended and printed, with a status other than 0: the upload does not count.
  rig.display.LogListClear();
  Answer(Status::Ok, "curl: (18) transfer closed\n", "", 18);
  EXPECT_FALSE(runner().UploadBootImage(unit));
  EXPECT_THAT(rig.display.listLines, ::testing::ElementsAre("ExecuteConsoleCommand_Bin fail!",
                                                            ::testing::HasSubstr("(curl status 18: curl: (18) transfer closed)")));
}

// A good upload costs its 500 ms pause and one log line's pump, in normal
// mode too, where that line is filtered out.
TEST_F(ToolRunnerTest, AGoodUploadCostsItsPauseAndOneLogLine) {
  for (const bool engineering : {true, false}) {
    rig.dlg->settings.EngineeringMode = engineering;
    rig.display.LogListClear();
    const int64_t start = rig.clock.NowUs();
    ASSERT_TRUE(runner().UploadFlashTool(unit));
    const int64_t elapsedUs = rig.clock.NowUs() - start;
    EXPECT_GE(elapsedUs, 600000 - 2 * VirtualClock::kReadCostUs) << engineering;
    EXPECT_LE(elapsedUs, 601000) << engineering;
    EXPECT_EQ(rig.display.listLines.size(), engineering ? 1u : 0u);
  }
}

TEST(UploaderErrorLine, TakesTheFirstCurlLineElseTheLastThatIsNotBlank) {
  const std::pair<std::string, std::string> cases[] = {
      {"  % Total\r  4 4419\r 40 4419\ncurl: (55) Send failure\ncurl: (25) Upload failed\n", "curl: (55) Send failure"},
      {"Uploading x\r\nserver said: 426 aborted\r\n   \n", "server said: 426 aborted"},
      {"", ""},
  };
  for (const auto& [output, line] : cases) EXPECT_EQ(link::UploaderErrorLine(output), line) << output;
}

TEST_F(ToolRunnerTest, OutputIsKeptUpToItsFirstZeroByte) {
  Answer(Status::Ok, std::string("progress\0rest", 13));
  std::string output;
  ASSERT_TRUE(runner().ExecuteConsoleCommand("curl -V", &output));
  EXPECT_EQ(output, "progress");
  // Something was printed, so the call succeeds, with an empty text.
  Answer(Status::Ok, std::string("\0late", 5));
  EXPECT_TRUE(runner().ExecuteConsoleCommand("curl -V", &output));
  EXPECT_EQ(output, "");
}

TEST_F(ToolRunnerTest, SsidToolIsTrueOnlyWhenItEndedInTime) {
  const std::string beside = rig.dlg->settings.ProgramFolder + kSsidToolFile;
  EXPECT_TRUE(runner().RunSsidTool("/GET", 5000));
  rig.processes.hiddenAnswer = platform::HiddenRun::TimedOut;
  EXPECT_FALSE(runner().RunSsidTool("/GET", 5000));
  rig.processes.hiddenAnswer = platform::HiddenRun::NotStarted;
  EXPECT_FALSE(runner().RunSsidTool("/SET", 5000));
  EXPECT_EQ(rig.processes.hidden.back(), std::make_pair(std::string("QARV_SSID.exe /SET"), 5000));
  // Started by its full path, from beside the program.
  EXPECT_EQ(rig.processes.hiddenApplications, std::vector<std::string>(3, beside));

  // Not beside the program nor on the PATH: not started at all, and false.
  std::filesystem::remove(beside);
  rig.processes.hiddenAnswer = platform::HiddenRun::Ended;
  EXPECT_FALSE(runner().RunSsidTool("/GET", 5000));
  EXPECT_EQ(rig.processes.hidden.size(), 3u);
}

}  // namespace
}  // namespace ramtune::test
