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
      {"every phase has its words", At(4, RunPhase::WritingBack, 0), 0, 80,
       "[####----------------]  4/20  writing back  0:00"},
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
  RunView view;
  view.SetPhase(RunPhase::Searching, 0, 1000);
  view.SetPhase(RunPhase::Searching, 0, 9000);  // the run's own search: the same phase goes on
  EXPECT_EQ(view.phaseStartMs, 1000);
  view.SetPhase(RunPhase::Rebooting, 65000, 20000);
  EXPECT_EQ(ProgressLine(view, 21000, 80).substr(30), "rebooting  0:20  64 s left");
  view.Stop(30000);
  view.Stop(40000);
  EXPECT_EQ(ProgressLine(view, 50000, 80).substr(30), "rebooting  0:29");
  view.SetPhase(RunPhase::Searching, 0, 100000);  // Retry: a new series
  EXPECT_EQ(ProgressLine(view, 103000, 80).substr(30), "searching  0:03");
}

TEST(Terminal, LiveOutputAndColourFollowTheTerminalAndTheEnvironment) {
  struct Case {
    const char* name;
    bool isTerminal;
    const char* noColour;
    const char* term;
    bool live, colour;
  };
  const Case cases[] = {
      {"a terminal", true, nullptr, "xterm-256color", true, true},
      {"TERM unset", true, nullptr, nullptr, true, true},
      {"NO_COLOR", true, "1", "xterm", true, false},
      {"NO_COLOR set to nothing", true, "", "xterm", true, true},
      {"a dumb terminal takes no cursor controls", true, nullptr, "dumb", false, false},
      {"a file or a pipe", false, nullptr, "xterm", false, false},
  };
  for (const Case& c : cases) {
    const TerminalCaps caps = DecideCaps(c.isTerminal, c.noColour, c.term);
    EXPECT_EQ(caps.live, c.live) << c.name;
    EXPECT_EQ(caps.colour, c.colour) << c.name;
  }
  EXPECT_EQ(Coloured("Status: FAIL", Colour::Red), "\x1b[1;31mStatus: FAIL\x1b[0m");
}

// The bytes a block writes, read back from a file.
class BlockTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(file_, nullptr); }
  ~BlockTest() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::string Written() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int ch; (ch = std::fgetc(file_)) != EOF;) text += static_cast<char>(ch);
    std::rewind(file_);
    return text;
  }
  static BottomBlock::Layout Lines(std::vector<std::string> lines) {
    return [lines](int) { return lines; };
  }

  std::FILE* file_ = std::tmpfile();
  int width_ = 12;
};

TEST_F(BlockTest, LinesScrollAboveTheBlockWhichIsErasedAndDrawnAgain) {
  BottomBlock block(file_, true, [this] { return width_; });
  block.Write(file_, "before\n");
  block.Show(Lines({"one"}));
  block.Show(Lines({"one"}));  // the same: nothing written
  block.Show(Lines({"two long line", "three"}));
  block.Write(file_, "text\n");
  block.BeginPrompt("answer? ");
  block.Show(Lines({"four"}));     // kept for after the prompt
  block.Write(file_, "listener\n");  // while the prompt waits: as it comes
  block.EndPrompt();
  block.LineTyped();  // "four" with the echo on it stays
  block.Release();
  block.Write(file_, "after\n");
  EXPECT_EQ(Written(),
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

TEST_F(BlockTest, WithoutATerminalTextPassesThroughAndNoBlockIsDrawn) {
  BottomBlock block(file_, false, [this] { return width_; });
  block.Show(Lines({"bar"}));
  block.Write(file_, "a line\n");
  block.BeginPrompt("answer? ");
  block.EndPrompt();
  block.Release();
  EXPECT_EQ(Written(), "a line\nanswer? ");
}

}  // namespace
}  // namespace ramtune::console
