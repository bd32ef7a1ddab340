// A bench's children through the platform layer, on both systems (under
// Wine: the CTest case bench_children_under_wine). The children are this
// test program again, running one of the disabled helpers below: a run that
// opens its channel, reports, takes the stop request and starts a long
// sleeper standing for the curl a run starts.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "platform/platform.h"

namespace platform = ramtune::platform;

namespace {

// The value of "--NAME=VALUE" among this program's arguments; empty when absent.
std::string Argument(const std::string& name) {
  for (const std::string& word : ::testing::internal::GetArgvs()) {
    if (word.rfind("--" + name + "=", 0) == 0) return word.substr(name.size() + 3);
  }
  return "";
}


bool WaitFor(const std::function<bool()>& done, int limitMs) {
  const int64_t until = platform::ProcessClockMs() + limitMs;
  while (!done()) {
    if (platform::ProcessClockMs() >= until) return false;
    platform::SleepMs(20);
  }
  return true;
}

// ---- the children (never run as part of the suite) -----------------------------

// A bench's run: "ready", then, with --sleeper=FOLDER, a sleeper started as
// the run starts curl (the upload waits on a thread of its own while the
// run goes on) and "sleeper"; "stop seen" once the bench asks it to stop,
// and it ends, leaving the sleeper running.
TEST(BenchChildHelper, DISABLED_Run) {
  intptr_t channel = -1;
  std::string error;
  ASSERT_TRUE(platform::OpenParentChannel(Argument("channel"), &channel, &error)) << error;
  platform::WriteAll(channel, "ready\n");
  const std::string folder = Argument("sleeper");
  if (!folder.empty()) {
    const std::string self = platform::ExecutablePath();
    const std::string line = "\"" + self + "\" --gtest_also_run_disabled_tests "
                             "--gtest_filter=BenchChildHelper.DISABLED_Sleeper --folder=" + folder;
    ASSERT_TRUE(platform::StartDetachedThread([self, line] { platform::RunCaptured(self, line, 120000, 4096); }));
    platform::WriteAll(channel, "sleeper\n");
  }
  ASSERT_TRUE(WaitFor(platform::StopRequested, 60000));
  platform::WriteAll(channel, "stop seen\n");
}

// Marks FOLDER/alive, sleeps until FOLDER/release appears (at most a
// minute), then marks FOLDER/gone.
TEST(BenchChildHelper, DISABLED_Sleeper) {
  const std::string folder = Argument("folder");
  platform::AppendToFile(folder + "alive", "");
  WaitFor([&folder] { return platform::FileExists(folder + "release"); }, 60000);
  platform::AppendToFile(folder + "gone", "");
}

// ---- the bench's side -----------------------------------------------------------

struct Child {
  platform::ChildProcess process;
  std::string events;
  std::string output;
  bool ended = false;
  int status = -2;
  int abnormal = -2;

  // Reads and looks for its end until `done` or the limit.
  bool Until(const std::function<bool(const Child&)>& done, int limitMs) {
    return WaitFor(
        [&] {
          platform::ReadPipe(&process.events, &events);
          platform::ReadPipe(&process.output, &output);
          if (!ended) ended = platform::ChildEnded(&process, &status, &abnormal);
          if (done(*this)) return true;
          platform::WaitForPipes({process.events, process.output}, 50);
          return false;
        },
        limitMs);
  }
  bool Said(const std::string& event) const { return events.find(event + "\n") != std::string::npos; }
  bool PipesEnded() const { return process.events == -1 && process.output == -1; }
};

bool Start(Child* child, const std::vector<std::string>& more = {}) {
  std::string error;
  const bool started = platform::StartChildInGroup(
      platform::ExecutablePath(),
      [&more](const std::string& channel) {
        std::vector<std::string> words = {"--gtest_also_run_disabled_tests",
                                          "--gtest_filter=BenchChildHelper.DISABLED_Run", "--channel=" + channel};
        words.insert(words.end(), more.begin(), more.end());
        return words;
      },
      &child->process, &error);
  EXPECT_TRUE(started) << error;
  return started;
}

// Asked to stop, the run sees it and ends; the sleeper it started is still
// running, yet neither of the run's pipes waits for it.
TEST(BenchChildren, AStoppedRunsPipesEndWithItNotWithWhatItStarted) {
  const std::string folder =
      ::testing::TempDir() + "bench-children-" + std::to_string(std::random_device{}()) + platform::kPathSeparator;
  ASSERT_TRUE(platform::CreateDirectory(folder));
  Child run;
  ASSERT_TRUE(Start(&run, {"--sleeper=" + folder}));
  ASSERT_TRUE(run.Until([](const Child& c) { return c.Said("sleeper") || c.ended; }, 30000)) << run.output;
  ASSERT_TRUE(run.Said("ready")) << run.output;
  ASSERT_TRUE(WaitFor([&folder] { return platform::FileExists(folder + "alive"); }, 30000));

  platform::SignalChild(run.process, platform::ChildSignal::AskToStop);
  EXPECT_TRUE(run.Until([](const Child& c) { return c.ended && c.PipesEnded(); }, 20000))
      << "ended: " << run.ended << ", events pipe " << run.process.events << ", output pipe " << run.process.output
      << ", events: " << run.events << run.output;
  EXPECT_TRUE(run.Said("stop seen"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(platform::FileExists(folder + "gone")) << "the sleeper ended before the run's pipes did";

  platform::AppendToFile(folder + "release", "");
  EXPECT_TRUE(WaitFor([&folder] { return platform::FileExists(folder + "gone"); }, 30000));
}

TEST(BenchChildren, EndAndKillEndARunThatWouldNotStop) {
  for (const platform::ChildSignal signal : {platform::ChildSignal::End, platform::ChildSignal::Kill}) {
    const bool end = signal == platform::ChildSignal::End;
    Child run;
    ASSERT_TRUE(Start(&run));
    ASSERT_TRUE(run.Until([](const Child& c) { return c.Said("ready") || c.ended; }, 30000)) << run.output;
    platform::SignalChild(run.process, signal);
    EXPECT_TRUE(run.Until([](const Child& c) { return c.ended && c.PipesEnded(); }, 20000)) << end;
    EXPECT_FALSE(run.Said("stop seen")) << end;
    EXPECT_EQ(run.status, -1) << end;
    EXPECT_NE(run.abnormal, 0) << end;
    // Seen ended once, it is not there any more.
    EXPECT_FALSE(platform::ChildEnded(&run.process, &run.status, &run.abnormal)) << end;
  }
}

}  // namespace
