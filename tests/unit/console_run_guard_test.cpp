// The steps of Ctrl+C and termination requests while a changed unit's run is active.
#include <gtest/gtest.h>

#include "app/console/run_guard.h"

namespace ramtune::console {
namespace {

using Step = InterruptSteps::Step;

TEST(ConsoleRunGuard, TheFirstRequestIsShownOnlyASecondCtrlCEnds) {
  struct Poll {
    int interrupts;
    bool terminated;
    Step step;
  };
  struct Case {
    const char* name;
    std::vector<Poll> polls;  // the counts since the guard was engaged, poll by poll
  };
  const std::vector<Case> cases = {
      {"nothing", {{0, false, Step::None}, {0, false, Step::None}}},
      {"Ctrl+C twice", {{1, false, Step::Announce}, {1, false, Step::None}, {2, false, Step::End}}},
      {"two Ctrl+C before one poll", {{2, false, Step::Announce}, {2, false, Step::End}}},
      {"a termination, then Ctrl+C", {{0, true, Step::Announce}, {0, true, Step::None}, {1, true, Step::End}}},
      {"termination repeated does not end", {{0, true, Step::Announce}, {0, true, Step::None}}},
      {"Ctrl+C, then a hang-up", {{1, false, Step::Announce}, {1, true, Step::None}, {2, true, Step::End}}},
  };
  for (const Case& c : cases) {
    InterruptSteps steps;
    for (size_t i = 0; i < c.polls.size(); ++i) {
      EXPECT_EQ(steps.Next(c.polls[i].interrupts, c.polls[i].terminated), c.polls[i].step) << c.name << ", poll " << i;
    }
  }
}

}  // namespace
}  // namespace ramtune::console
