// The bench's block on a terminal: one line per unit for a moment and a
// width, and the fitting of coloured lines to the width.
#include <gtest/gtest.h>

#include "app/console/bench_lines.h"
#include "app/console/terminal.h"

namespace ramtune::console {
namespace {

bench::UnitRecord Unit(const char* link, const char* model, const char* phase, int progress) {
  bench::UnitRecord unit;
  unit.unit = bench::PlannedUnit{link, "AABBCCDDEE01", model, "10.77.0.2", link};
  unit.phase = phase;
  unit.progress = progress;
  unit.life = bench::UnitLife::Running;
  unit.startMs = 1000;
  return unit;
}

bench::UnitRecord Rebooting() {
  bench::UnitRecord unit = Unit("eth10", "LM-7210B", "rebooting", 14);
  unit.phaseMs = 100000;
  unit.countdownMs = 65000;
  return unit;
}

bench::UnitRecord Ended(int status, bool changed = false) {
  bench::UnitRecord unit = Unit("eth1", "LM-7210A", "verifying", 20);
  unit.life = bench::UnitLife::Ended;
  unit.endMs = 161000;
  unit.status = status;
  unit.changed = changed;
  unit.picture = status == 0 ? "PASS" : "FAIL";
  if (status == 0) unit.outcome = upgrade::RunOutcome::Completed;  // what a completed run says
  return unit;
}

TEST(BenchLines, OneAlignedLinePerUnitFittedToTheWidth) {
  struct Case {
    const char* name;
    std::vector<bench::UnitRecord> units;
    int width;
    bool colour;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"columns aligned, countdown while a wait runs, the ending once ended",
       {Rebooting(), Ended(0)}, 100, false,
       {"eth10  AABBCCDDEE01  LM-7210B  rebooting  [#######---] 14/20  1:52  52 s left",
        "eth1   AABBCCDDEE01  LM-7210A  verifying  [##########] 20/20  2:40  PASS"}},
      {"the ending coloured; the clock stopped at the end",
       {Ended(2, true)}, 100, true,
       {"eth1  AABBCCDDEE01  LM-7210A  verifying  [##########] 20/20  2:40  \x1b[1;31mFAIL, restore it (6)\x1b[0m"}},
      {"no phase yet, a wait over: nothing left to count",
       {Unit("eth1", "LM-7210A", "", 0), Rebooting()}, 100, false,
       {"eth1   AABBCCDDEE01  LM-7210A  -          [----------]  0/20  3:19",
        "eth10  AABBCCDDEE01  LM-7210B  rebooting  [#######---] 14/20  3:19"}},
      {"too narrow for the bar: left out, the ending kept and coloured",
       {Ended(0)}, 70, true,
       {"eth1  AABBCCDDEE01  LM-7210A  verifying  20/20  2:40  \x1b[1;32mPASS\x1b[0m"}},
      {"narrower still: cut, never coloured halfway",
       {Ended(0)}, 30, true, {"eth1  AABBCCDDEE01  LM-7210A "}},
  };
  for (const Case& c : cases) {
    const int64_t now = c.units.size() == 2 && c.units[0].phase.empty() ? 200000 : 113000;
    EXPECT_EQ(UnitLines(c.units, now, c.width, c.colour), c.lines) << c.name;
  }
}

TEST(Terminal, FitToWidthCountsColumnsNotControlSequences) {
  struct Case {
    std::string line;
    int width;
    std::string fitted;
  };
  const std::string red = Coloured("FAIL", Colour::Red);
  const std::vector<Case> cases = {
      {"abcdef", 4, "abc"},
      {"abc", 4, "abc"},
      {"ab " + red, 8, "ab " + red},                       // 7 columns: whole
      {"ab " + red, 6, "ab \x1b[1;31mFA\x1b[0m"},           // cut inside: reset after
      {"abcdef", 0, "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(FitToWidth(c.line, c.width), c.fitted) << c.line;
}

}  // namespace
}  // namespace ramtune::console
