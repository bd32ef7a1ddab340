// The phases a run reports to the front ends, in virtual time: in run order,
// the second pass repeating its three, a run that ends early stopping at the
// phase it ended in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "support/rig.h"

namespace ramtune::test {
namespace {

using Phases = std::vector<std::string>;

// The search attempt's search, then the run's own.
const Phases kFirstHalf{"searching", "searching", "backing up", "uploading", "flashing"};
const Phases kSecondHalf{"writing back", "rebooting 65000", "verifying"};

Phases Join(std::initializer_list<Phases> parts) {
  Phases all;
  for (const Phases& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(RunPhases, EachPhaseIsReportedAtItsStartInRunOrder) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> arrange;
    Phases expected;
  };
  const Case cases[] = {
      {"complete run", [](Rig&) {}, Join({kFirstHalf, kSecondHalf})},
      {"second pass after a first mismatch",
       [](Rig& rig) {
         rig.router().afterReboot = [](RouterModel& router, int reboot) {
           router.SetMtd0("bl_version", reboot == 1 ? "1.0.1.5" : "1.0.1.6");
         };
       },
       Join({kFirstHalf, kSecondHalf, kSecondHalf})},
      {"upload fails",
       [](Rig& rig) {
         rig.processes.capturedAnswer = [](const FakeProcesses::Captured&) { return platform::CapturedRun{}; };
       },
       {"searching", "searching", "backing up", "uploading"}},
  };
  for (const Case& c : cases) {
    Rig rig;
    c.arrange(rig);
    rig.SearchAndRun();
    EXPECT_THAT(rig.display.Of("phase"), ::testing::ElementsAreArray(c.expected)) << c.name;
  }
}

}  // namespace
}  // namespace ramtune::test
