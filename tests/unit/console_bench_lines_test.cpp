// The bench's block on a terminal: one line per unit for a moment and a
// width, and the fitting of coloured lines to the width.
#include <gtest/gtest.h>

#include "app/console/bench_lines.h"
#include "app/console/terminal.h"

namespace ramtune::console {
namespace {

bench::UnitRecord Unit(const char* link, const char* model, const char* phase, int progress) {
  bench::UnitRecord unit;
  unit.unit = bench::PlannedUnit{link, "AABBCCDDEE01", model, "10.77.0.2", link, "", ""};
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

bench::SlotRecord Slot(const char* name, bench::SlotState state, bench::UnitRecord unit, const char* note = "") {
  return bench::SlotRecord{name, "eth1", state, unit, note};
}

// A station: its session's counts on top, then one line per slot, the
// running and finished ones drawn as the bench draws a unit, a note kept
// only where it fits.
TEST(StationLines, TheSessionOnTopAndOneLinePerSlot) {
  bench::UnitRecord none;
  bench::UnitRecord done = Ended(0);
  done.unit.mac = "AABBCCDDEE02";
  const bench::SessionCounts counts{3, 1, 1, 2, 12.5};
  const std::vector<bench::SlotRecord> slots = {
      Slot("Port 1", bench::SlotState::Waiting, none),
      Slot("Port 2", bench::SlotState::Running, Rebooting()),
      Slot("Port 10", bench::SlotState::Finished, Ended(2, true), "ramtune --restore X"),
      Slot("Port 4", bench::SlotState::Done, done, "done at 2026-12-09 10:32"),
  };
  EXPECT_EQ(StationLines(slots, counts, 113000, 140, false),
            (std::vector<std::string>{
                "Station: 3 completed, 1 failed, 1 unfinished, 2 in progress, 12.5 units/h",
                "Port 1   waiting   -",
                "Port 2   running   AABBCCDDEE01  LM-7210B  rebooting  [#######---] 14/20  1:52  52 s left",
                "Port 10  finished  AABBCCDDEE01  LM-7210A  verifying  [##########] 20/20  2:40  FAIL, restore it (6)"
                "  ramtune --restore X",
                "Port 4   done      AABBCCDDEE02  LM-7210A  done at 2026-12-09 10:32"}));
  // Narrow: the header and the lines cut, the note left out, the rate unknown yet.
  const std::vector<std::string> narrow = StationLines(slots, bench::SessionCounts{}, 113000, 60, false);
  EXPECT_EQ(narrow[0], "Station: 0 completed, 0 failed, 0 unfinished, 0 in progress");
  EXPECT_EQ(narrow[3].find("ramtune --restore"), std::string::npos);
  for (const std::string& line : narrow) EXPECT_LE(line.size(), 60u) << line;
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
