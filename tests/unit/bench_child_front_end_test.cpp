// A station's run without a window: the whole course on the child's own
// loop in virtual time, as Ramtune.exe runs it for one adapter.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/bench/child_front_end.h"
#include "app/startup.h"
#include "support/bench_fake.h"
#include "support/rig.h"

namespace ramtune::bench {
namespace {

using test::ProcessExit;
using test::Rig;

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST(StationChild, RunsTheUnitOnItsOwnLoopAndNeverWaitsForAPerson) {
  struct Case {
    const char* name;
    ChildAnswers answers;
    bool stopAtOnce;
    int status;
    const char* line;  // a line the child writes for the station
    bool flashed;
  };
  const Case cases[] = {
      {"the station's answers: the unit completes", {true, 1}, false, 0, "Status: PASS", true},
      {"the warning not accepted: nothing is done", {false, 1}, false, 10, "answered No (the station did not", false},
      {"stopped before anything changed", {true, 1}, true, 2, "Stopped by the station", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    RecordedLink link;
    link.stop = c.stopAtOnce;
    BenchChannel channel(link);
    std::vector<std::string> lines;
    ChildFrontEnd child(rig.clock, channel, c.answers, [&lines](const std::string& l) { lines.push_back(l); },
                        [](int status) { throw ProcessExit{status}; });
    rig.UseFrontEnd(child, child, child);
    child.Attach(rig.dlg.get());
    rig.dlg->Observe(child);
    rig.dlg->Observe(channel);
    rig.dlg->settings.StartsSsidTool = false;
    rig.dlg->PlanUnit("001122AABBCC");
    child.SetIpAddress(kDefaultRouterAddress);  // as start-up leaves the field
    child.SetTimer(kStartTimer, 100);
    int status = -1;
    try {
      child.Run();
    } catch (const ProcessExit& exit) {
      status = exit.code;
    }
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(Has(lines, c.line)) << ::testing::PrintToString(lines);
    EXPECT_TRUE(Has(lines, "exit status " + std::to_string(status)));
    EXPECT_EQ(rig.router().flashes > 0, c.flashed);
    // The bench learns the status from the channel's last event.
    EXPECT_NE(link.sent.find("ended"), std::string::npos) << link.sent;
    // The Wi-Fi helper stays alone, and no window of it is looked for.
    EXPECT_TRUE(rig.processes.hidden.empty());
  }
}

}  // namespace
}  // namespace ramtune::bench
