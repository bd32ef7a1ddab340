// The console's terminal view: what the progress line holds for a width and
// a moment, the terminal decisions, and the bytes of the bottom block.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/console/progress_line.h"
#include "app/console/terminal.h"

namespace ramtune::console {
namespace {

RunView At(int position, RunPhase phase, int64_t startMs, int countdownMs = 0) {
  RunView view;
  view.position = position;
  view.SetPhase(RunPhase::Searching, 0, 0);
  view.SetPhase(phase, countdownMs, startMs);
  return view;
}

std::string Caps(bool isTerminal, const char* noColour, const char* term) {
  const TerminalCaps caps = DecideCaps(isTerminal, noColour, term);
  return std::string(caps.live ? "live" : "") + (caps.colour ? " colour" : "");
}

TEST(ProgressLine, HoldsBarStepPhaseTimeAndCountdownShortenedToTheWidth) {
  RunView none;
  none.position = 6;
  RunView stopped = At(20, RunPhase::Verifying, 0);
  stopped.Stop(754000);
  struct Case {
    const char* name;
    RunView view;
    int64_t nowMs;
    int width;
    std::string expected;
  };
  const Case cases[] = {
      {"before any phase", none, 5000, 80, "[######--------------]  6/20"},
      {"a phase", At(2, RunPhase::BackingUp, 0), 71500, 80, "[##------------------]  2/20  backing up  1:11"},
      {"countdown: whole seconds left, rounded up", At(6, RunPhase::Rebooting, 10000, 65000), 10000 + 20500, 80,
       "[######--------------]  6/20  rebooting  0:30  45 s left"},
      {"countdown: its last moment", At(13, RunPhase::Rebooting, 0, 65000), 64999, 80,
       "[#############-------] 13/20  rebooting  1:04  1 s left"},
      {"countdown over", At(13, RunPhase::Rebooting, 0, 65000), 65000, 80,
       "[#############-------] 13/20  rebooting  1:05"},
      {"clock stopped: its time stays, no countdown", stopped, 900000, 80,
       "[####################] 20/20  verifying  12:34"},
      // The whole line is 45 characters; the last column stays free.
      {"exactly the room", At(2, RunPhase::Uploading, 0), 0, 46, "[##------------------]  2/20  uploading  0:00"},
      {"one column less: one cell less", At(2, RunPhase::Uploading, 0), 0, 45,
       "[#------------------]  2/20  uploading  0:00"},
      {"narrow: a short bar", At(10, RunPhase::Flashing, 0), 0, 30, "[##---] 10/20  flashing  0:00"},
      {"narrower: no bar", At(10, RunPhase::Flashing, 0), 0, 29, "10/20  flashing  0:00"},
      {"narrowest: cut", At(10, RunPhase::Flashing, 0), 0, 12, "10/20  flas"},
  };
  for (const Case& c : cases) {
    const std::string line = ProgressLine(c.view, c.nowMs, c.width);
    EXPECT_EQ(line, c.expected) << c.name;
    EXPECT_LT(line.size(), static_cast<size_t>(c.width)) << c.name;
  }
}

TEST(ProgressLine, TheClockRunsFromTheFirstPhaseUntilStoppedAndStartsAgainAfter) {
  RunView view = At(0, RunPhase::Rebooting, 20000, 65000);
  view.SetPhase(RunPhase::Rebooting, 0, 30000);  // the same phase goes on, its countdown too
  EXPECT_EQ(ProgressLine(view, 31000, 80).substr(30), "rebooting  0:31  54 s left");
  view.Stop(40000);
  view.Stop(50000);
  EXPECT_EQ(ProgressLine(view, 60000, 80).substr(30), "rebooting  0:40");
  view.SetPhase(RunPhase::Searching, 0, 100000);  // Retry: a new series
  EXPECT_EQ(ProgressLine(view, 103000, 80).substr(30), "searching  0:03");
}

TEST(Terminal, LiveOutputAndColourFollowTheTerminalAndTheEnvironment) {
  // isTerminal, NO_COLOR, TERM -> live, colour
  EXPECT_EQ(Caps(true, nullptr, "xterm-256color"), "live colour");
  EXPECT_EQ(Caps(true, nullptr, nullptr), "live colour");
  EXPECT_EQ(Caps(true, "1", "xterm"), "live");
  EXPECT_EQ(Caps(true, "", "xterm"), "live colour");  // set to nothing: not set
  EXPECT_EQ(Caps(true, nullptr, "dumb"), "");         // no cursor controls either
  EXPECT_EQ(Caps(false, nullptr, "xterm"), "");       // a file or a pipe
}

TEST(BottomBlock, LinesScrollAboveTheBlockWhichIsErasedAndDrawnAgain) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  auto lines = [](std::vector<std::string> block) { return [block](int) { return block; }; };
  BottomBlock block(file, true, [] { return 12; });
  block.Write(file, "before\n");
  block.Show(lines({"one"}));
  block.Show(lines({"one"}));  // the same: nothing written
  block.Show(lines({"two long line", "three"}));
  block.Write(file, "text\n");
  block.BeginPrompt("answer? ");
  block.Show(lines({"four"}));       // kept for after the prompt
  block.Write(file, "listener\n");  // while the prompt waits: as it comes
  block.EndPrompt();
  block.LineTyped();  // "four" with the echo on it stays
  block.Release();
  block.Write(file, "after\n");
  std::rewind(file);
  std::string written;
  for (int ch; (ch = std::fgetc(file)) != EOF;) written += static_cast<char>(ch);
  std::fclose(file);
  EXPECT_EQ(written,
            "before\n"
            "one"
            "\r\x1b[K" "two long li\nthree"
            "\r\x1b[K\x1b[A\r\x1b[K" "text\n" "two long li\nthree"
            "\r\x1b[K\x1b[A\r\x1b[K" "answer? "
            "listener\n"
            "four"
            "four"
            "\n"
            "after\n");
}

}  // namespace
}  // namespace ramtune::console
