// The process runners of the platform layer, run on both systems. The tools
// are the system shell (/bin/sh or cmd.exe) and this test program itself,
// started with one of the disabled helper tests below as its only test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/platform.h"
#include "support/lines.h"

namespace fs = std::filesystem;
namespace platform = ramtune::platform;
using Status = platform::CapturedRun::Status;

namespace {

using ramtune::test::WindowsSide;


// ---- helpers run as child processes (never as part of the normal run) ----

TEST(PlatformChildHelper, DISABLED_SleepThreeSeconds) { platform::SleepMs(3000); }
TEST(PlatformChildHelper, DISABLED_SleepTenSeconds) { platform::SleepMs(10000); }

// Writes the file named by its last argument after a second.
TEST(PlatformChildHelper, DISABLED_WriteFileAfterASecond) {
  platform::SleepMs(1000);
  platform::AppendToFile(::testing::internal::GetArgvs().back(), "late\n");
}

TEST(PlatformChildHelper, DISABLED_PrintQuarterMegabyte) {
  const std::string line(1023, 'x');
  for (int i = 0; i < 256; ++i) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

TEST(PlatformChildHelper, DISABLED_PrintArguments) {
  for (const std::string& argument : ::testing::internal::GetArgvs()) {
    std::printf("[%s]", argument.c_str());
  }
  std::printf("\n");
}

TEST(PlatformChildHelper, DISABLED_PrintMemberMarker) {
  std::printf("marker=%s\n", platform::kMemberMarkerPath);
}

// This program, as a path that the process runners accept.
std::string SelfPath() {
  fs::path self = fs::absolute(::testing::internal::GetArgvs()[0]);
  if (WindowsSide() && self.extension() != ".exe") self += ".exe";
  return self.string();
}

// A command line that runs one helper test of this program.
std::string HelperCommand(const std::string& helper) {
  return "\"" + SelfPath() +
         "\" --gtest_also_run_disabled_tests --gtest_filter=PlatformChildHelper." + helper;
}

struct ShellCommand {
  std::string application;
  std::string commandLine;
};

// The system shell running a script: sh -c "script" or cmd.exe /c script.
// The POSIX script must not contain double quotes.
ShellCommand Shell(const std::string& posixScript, const std::string& windowsScript) {
  if (WindowsSide()) {
    const char* comspec = std::getenv("ComSpec");
    return {comspec != nullptr ? comspec : "C:\\windows\\system32\\cmd.exe",
            "cmd.exe /c " + windowsScript};
  }
  return {"/bin/sh", "sh -c \"" + posixScript + "\""};
}

int64_t NowMs() { return platform::PerformanceCounter() * 1000 / platform::PerformanceFrequency(); }

// ---- RunCaptured -------------------------------------------------------------

// waitpid(-1) or (0) would reap any child: a child that was never started
// (pid -1, as the bench keeps it) has never ended.
TEST(PlatformChildren, AChildNeverStartedHasNotEnded) {
  int status = 7, signal = 7;
  for (const intptr_t pid : {intptr_t{-1}, intptr_t{0}}) {
    platform::ChildProcess never;
    never.process = pid;
    EXPECT_FALSE(platform::ChildEnded(&never, &status, &signal));
  }
  EXPECT_EQ(status, 7);
}

TEST(PlatformRunCaptured, ToolThatPrintsNothingIsReadFailed) {
  ShellCommand quiet = Shell("true", "rem");
  platform::CapturedRun run =
      platform::RunCaptured(quiet.application, quiet.commandLine, 20000, 8192);
  EXPECT_EQ(run.status, Status::ReadFailed);
  EXPECT_EQ(run.output, "");
}

TEST(PlatformRunCaptured, KeepsTheFirstBytesOfStdoutAndStderr) {
  ShellCommand tool = Shell("echo 0123456789abcdef", "echo 0123456789abcdef");
  platform::CapturedRun run = platform::RunCaptured(tool.application, tool.commandLine, 20000, 10);
  EXPECT_EQ(run.status, Status::Ok);
  EXPECT_EQ(run.output, "0123456789");

  ShellCommand errors = Shell("echo on-stderr 1>&2", "echo on-stderr 1>&2");
  run = platform::RunCaptured(errors.application, errors.commandLine, 20000, 8192);
  EXPECT_EQ(run.status, Status::Ok);
  EXPECT_EQ(run.output.rfind("on-stderr", 0), 0u) << run.output;
}

TEST(PlatformRunCaptured, ReportsTheToolsExitStatus) {
  struct Case {
    const char* posix;
    const char* windows;
    int exitCode;
  };
  const Case cases[] = {{"echo done", "echo done", 0}, {"echo cut; exit 18", "echo cut& exit 18", 18},
                        {"exit 7", "exit 7", 7}};
  for (const Case& c : cases) {
    ShellCommand tool = Shell(c.posix, c.windows);
    platform::CapturedRun run = platform::RunCaptured(tool.application, tool.commandLine, 20000, 8192);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.posix;
  }
  // A tool left running has no status yet.
  platform::CapturedRun running =
      platform::RunCaptured(SelfPath(), HelperCommand("DISABLED_SleepThreeSeconds"), 100, 8192);
  EXPECT_EQ(running.status, Status::TimedOut);
  EXPECT_EQ(running.exitCode, -1);
}

TEST(PlatformRunCaptured, MissingProgramIsStartFailedWithTheSystemText) {
  std::string missing = (fs::temp_directory_path() / "ramtune-no-such-tool").string();
  if (WindowsSide()) missing += ".exe";
  platform::CapturedRun run = platform::RunCaptured(missing, "tool -T x", 20000, 8192);
  EXPECT_EQ(run.status, Status::StartFailed);
  EXPECT_FALSE(run.systemError.empty());
  EXPECT_EQ(run.output, "");
}

// A tool over the limit is ended, so that a second run of it (a Retry's
// upload) cannot overlap the first.
TEST(PlatformRunCaptured, ToolOverTheLimitIsTimedOutAndEnded) {
  const fs::path late = fs::temp_directory_path() / ("ramtune-late-" + std::to_string(std::random_device{}()));
  const int64_t start = NowMs();
  platform::CapturedRun run = platform::RunCaptured(
      SelfPath(), HelperCommand("DISABLED_WriteFileAfterASecond") + " \"" + late.string() + "\"", 300, 8192);
  const int64_t elapsed = NowMs() - start;
  EXPECT_EQ(run.status, Status::TimedOut);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 2500) << "the runner waited for the tool beyond the limit";
  if (elapsed < 3000) platform::SleepMs(static_cast<int>(3000 - elapsed));
  EXPECT_FALSE(platform::FileExists(late.string())) << "the tool went on running after its time limit";
  std::error_code ignored;
  fs::remove(late, ignored);
}

// Neither the tool nor a program it leaves running gets the socket.
TEST(PlatformRunCaptured, ProgramLeftRunningHoldsNoCopyOfTheServiceSocket) {
  platform::SocketLibraryStartup();
  platform::UdpSocket service;
  ASSERT_TRUE(service.Create());
  uint16_t port = static_cast<uint16_t>(40000 + std::random_device{}() % 20000);
  const uint16_t last = static_cast<uint16_t>(port + 20);
  while (port < last && !service.Bind(port)) ++port;
  ASSERT_LT(port, last) << "no free port found";
  ShellCommand tool =
      Shell("echo started; sleep 4 &",
            "echo started& start /b \"\" " + HelperCommand("DISABLED_SleepThreeSeconds"));
  EXPECT_EQ(platform::RunCaptured(tool.application, tool.commandLine, 20000, 8192).status, Status::Ok);
  service.Close();
  platform::UdpSocket next;
  ASSERT_TRUE(next.Create());
  EXPECT_TRUE(next.Bind(port)) << "the tool still running holds the port";
  next.Close();
  platform::SocketLibraryCleanup();
}

TEST(PlatformRunCaptured, ToolPrintingMoreThanThePipeHoldsIsDrained) {
  const int64_t start = NowMs();
  platform::CapturedRun run = platform::RunCaptured(
      SelfPath(), HelperCommand("DISABLED_PrintQuarterMegabyte"), 30000, 8192);
  EXPECT_EQ(run.status, Status::Ok);
  EXPECT_LT(NowMs() - start, 20000);
  ASSERT_EQ(run.output.size(), 8192u);
  // The first bytes are kept: the test framework's banner, then the lines;
  // its closing summary lies beyond the limit.
  EXPECT_NE(run.output.find(std::string(1023, 'x')), std::string::npos);
  EXPECT_EQ(run.output.find("PASSED"), std::string::npos);
}

TEST(PlatformRunCaptured, QuotedWordsReachTheToolAsOneArgument) {
  platform::CapturedRun run = platform::RunCaptured(
      SelfPath(), HelperCommand("DISABLED_PrintArguments") + " \"two words\" plain", 30000, 8192);
  ASSERT_EQ(run.status, Status::Ok);
  EXPECT_NE(run.output.find("][two words][plain]"), std::string::npos) << run.output;
  // The first word of the command line names the program on Windows; on
  // POSIX systems it is replaced by the application.
  EXPECT_NE(run.output.find("[" + SelfPath() + "]"), std::string::npos) << run.output;
}

TEST(PlatformRunCaptured, ChildOfTheToolHoldingThePipeDoesNotHoldTheCaller) {
  // The shell ends at once; the program it started in the background keeps
  // the output pipe open for ten seconds. Starting the shell takes seconds
  // under Wine on a loaded machine: the bound leaves room for that, and
  // stays well below the sleeper's end.
  const int64_t start = NowMs();
  ShellCommand tool =
      Shell("echo started; sleep 10 &",
            "echo started& start /b \"\" " + HelperCommand("DISABLED_SleepTenSeconds"));
  platform::CapturedRun run =
      platform::RunCaptured(tool.application, tool.commandLine, 20000, 8192);
  EXPECT_EQ(run.status, Status::Ok);
  EXPECT_EQ(run.output.rfind("started", 0), 0u) << run.output;
  EXPECT_LT(NowMs() - start, 6000);
}

TEST(PlatformRunCaptured, MemberMarkerFollowsTheEnvironment) {
  if (WindowsSide()) GTEST_SKIP() << "the marker path is fixed on Windows";
  platform::CapturedRun run = platform::RunCaptured(
      "/usr/bin/env",
      "env RAMTUNE_MEMBER_MARKER=/tmp/marker-here " + HelperCommand("DISABLED_PrintMemberMarker"),
      30000, 8192);
  ASSERT_EQ(run.status, Status::Ok);
  EXPECT_NE(run.output.find("marker=/tmp/marker-here\n"), std::string::npos) << run.output;
}

// ---- RunHidden and StartDetached ---------------------------------------------

TEST(PlatformRunHidden, EndsNotStartedOrTimesOut) {
  ShellCommand failing = Shell("exit 3", "exit 3");
  // Any exit status counts as ended.
  EXPECT_EQ(platform::RunHidden(failing.application, failing.commandLine, 20000),
            platform::HiddenRun::Ended);
  const std::string missing = (fs::temp_directory_path() / "ramtune-no-such-program.exe").string();
  EXPECT_EQ(platform::RunHidden(missing, "ramtune-no-such-program /GET", 20000),
            platform::HiddenRun::NotStarted);
  EXPECT_EQ(platform::RunHidden("", "ramtune-no-such-program /GET", 20000),
            platform::HiddenRun::NotStarted);

  const int64_t start = NowMs();
  EXPECT_EQ(platform::RunHidden(SelfPath(), HelperCommand("DISABLED_SleepThreeSeconds"), 300),
            platform::HiddenRun::TimedOut);
  EXPECT_LT(NowMs() - start, 2500);
}

// A program named without its folder is not taken from the current
// directory, even when it is there.
TEST(PlatformRunHidden, NameWithoutAFolderIsNotStartedFromTheCurrentDirectory) {
  const fs::path self = SelfPath();
  const fs::path saved = fs::current_path();
  fs::current_path(self.parent_path());
  const std::string bare = self.filename().string();
  EXPECT_EQ(platform::RunHidden(bare, bare + " --gtest_list_tests", 20000),
            platform::HiddenRun::NotStarted);
  EXPECT_EQ(platform::RunHidden("." + std::string(1, platform::kPathSeparator) + bare,
                                bare + " --gtest_list_tests", 20000),
            platform::HiddenRun::NotStarted);
  fs::current_path(saved);
}

TEST(PlatformStartDetached, ReturnsAtOnceAndTheCommandRuns) {
  std::random_device random;
  const fs::path flag =
      fs::temp_directory_path() / ("ramtune-detached-" + std::to_string(random()));
  ShellCommand writer = Shell("echo done > " + flag.string(), "echo done > " + flag.string());

  const int64_t start = NowMs();
  platform::StartDetached(writer.application, writer.commandLine);
  EXPECT_LT(NowMs() - start, 1000);
  bool appeared = false;
  for (int i = 0; i < 200 && !appeared; ++i) {
    appeared = platform::FileExists(flag.string());
    if (!appeared) platform::SleepMs(50);
  }
  EXPECT_TRUE(appeared);
  std::error_code ignored;
  fs::remove(flag, ignored);
}

}  // namespace
