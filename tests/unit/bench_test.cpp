// The bench's decisions: which links run, how a unit's run counts, the
// events a run reports, the summary and the report.
#include "app/bench/bench.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace ramtune::bench {
namespace {

FoundRouter At(const std::string& link, const std::string& mac, const std::string& ip = "10.77.0.2") {
  return FoundRouter{link, mac, "LM-7210A", ip, "LM-7210A-01"};
}

TEST(BenchPlan, RunsOneRouterPerLinkAndSaysWhySkipped) {
  struct Case {
    const char* what;
    std::vector<std::string> links;
    std::vector<FoundRouter> found;
    std::vector<std::string> run;      // links that run
    std::vector<std::string> skipped;  // a text each skipped link's line holds, in order
  };
  const std::vector<Case> cases = {
      {"one router per link", {"a", "b"}, {At("a", "M1"), At("b", "M2")}, {"a", "b"}, {}},
      {"the same router answering every round counts once", {"a"}, {At("a", "M1"), At("a", "M1")}, {"a"}, {}},
      {"two routers on a link", {"a", "b"}, {At("a", "M1"), At("a", "M3", "10.77.0.3"), At("b", "M2")},
       {"b"}, {"[System]-a: more than one router answered (M1 LM-7210A at 10.77.0.2, M3 LM-7210A at 10.77.0.3)"}},
      {"a second unit with one MAC", {"a", "b", "c"}, {At("a", "M1"), At("b", "M1"), At("c", "M2")},
       {"a", "c"}, {"[System]-b: the router M1 has the MAC of the unit on a"}},
      {"a named link nothing answered on", {"a", "b"}, {At("b", "M2")}, {"b"},
       {"[System]-a: no router answered within 20 s."}},
      {"an answer on a link not named is not run", {"a"}, {At("a", "M1"), At("z", "M9")}, {"a"}, {}},
  };
  for (const Case& c : cases) {
    const Plan plan = MakePlan(c.links, c.found);
    std::vector<std::string> run;
    for (const PlannedUnit& unit : plan.units) run.push_back(unit.link);
    EXPECT_EQ(run, c.run) << c.what;
    ASSERT_EQ(plan.lines.size(), c.skipped.size()) << c.what;
    ASSERT_EQ(plan.skipped.size(), c.skipped.size()) << c.what;
    for (size_t i = 0; i < c.skipped.size(); ++i) {
      EXPECT_NE(plan.lines[i].find(c.skipped[i]), std::string::npos) << c.what << ": " << plan.lines[i];
    }
  }
  EXPECT_EQ(AnsweredLinks({At("b", "M1"), At("a", "M2"), At("b", "M3")}), (std::vector<std::string>{"b", "a"}));
}

// A unit whose run ended with `status` and sent its ended event (an
// up-to-date run's names that outcome) unless `outcome` says otherwise.
UnitRecord Ended(int status, bool changed = false, int signal = 0, const char* outcome = nullptr) {
  using upgrade::RunOutcome;
  UnitRecord record;
  record.life = UnitLife::Ended;
  record.status = signal != 0 ? -1 : status;
  record.signal = signal;
  record.changed = changed;
  const std::string words = outcome != nullptr                ? outcome
                            : status == kStatusUpToDate     ? "up to date"
                            : status == kStatusCompleted    ? "completed"
                            : status == kStatusCheckDiffers ? "check differs"
                                                            : "failed";
  RunOutcome named;
  record.outcome.reset();
  if (upgrade::OutcomeOfWords(words, &named)) record.outcome = named;
  return record;
}

UnitRecord WithoutEndedEvent(UnitRecord record) {
  record.status = -1;
  record.outcome.reset();
  return record;
}

// A slot as --slot and config.ini's [Slots] give it: NAME=LINK, blanks
// around either trimmed; anything else refused with what to write.
TEST(BenchPlan, ASlotIsANameAndALink) {
  struct Case {
    const char* text;
    const char* name;  // nullptr: refused
    const char* link;
  };
  for (const Case& c : std::vector<Case>{{"Port 1=eth1", "Port 1", "eth1"},
                                         {" Port 2 = eth0.102 ", "Port 2", "eth0.102"},
                                         {"a=b=eth3", "a=b", "eth3"},
                                         {"eth1", nullptr, nullptr},
                                         {"=eth1", nullptr, nullptr},
                                         {"Port 1=", nullptr, nullptr},
                                         {"Port\t1=eth1", nullptr, nullptr}}) {
    NamedLink slot;
    std::string error;
    const bool parsed = ParseSlot(c.text, &slot, &error);
    EXPECT_EQ(parsed, c.name != nullptr) << c.text;
    if (parsed) {
      EXPECT_EQ(slot.name, c.name);
      EXPECT_EQ(slot.link, c.link);
    } else {
      EXPECT_NE(error.find("NAME=LINK"), std::string::npos) << error;
    }
  }
  EXPECT_EQ(SlotLabel("Port 1", "eth1"), "Port 1 (eth1)");
  EXPECT_EQ(SlotLabel("eth1", "eth1"), "eth1");
}

TEST(BenchStatus, EveryUnitDoneOrTheMostSeriousStatus) {
  const SkippedLink twoRouters{"x", "more than one router", {}, kStatusFailed};
  const SkippedLink silent{"y", "no router answered", {}, kStatusNoRouter};
  struct Case {
    const char* what;
    std::vector<UnitRecord> units;
    std::vector<SkippedLink> skipped;
    int status;
  };
  const std::vector<Case> cases = {
      {"all PASS", {Ended(0), Ended(0)}, {}, 0},
      {"an up-to-date unit counts as done", {Ended(0), Ended(11)}, {}, 0},
      {"6 before 2", {Ended(2), Ended(6), Ended(0)}, {}, 6},
      {"2 before 4 and 3", {Ended(3), Ended(4), Ended(2)}, {}, 2},
      {"4 before 3", {Ended(3), Ended(4)}, {}, 4},
      {"a run that changed the unit and failed is 6 whatever it said", {Ended(2, true)}, {}, 6},
      {"a changed unit that completed is done", {Ended(0, true)}, {}, 0},
      {"a crash before the change is 2", {Ended(0, false, 11)}, {}, 2},
      {"a crash after the change is 6", {Ended(0, true, 9)}, {}, 6},
      {"a status the bench does not weigh is 2", {Ended(10), Ended(64)}, {}, 2},
      {"11 without an up-to-date ended event is not done", {Ended(11, false, 0, "")}, {}, 2},
      {"11 from a run that failed is not done", {Ended(11, false, 0, "failed")}, {}, 2},
      {"a run that ends without its ended event failed", {WithoutEndedEvent(Ended(0))}, {}, 2},
      {"another unit than the planned one is 7, after 2", {Ended(7), Ended(0)}, {}, 7},
      {"2 before 7", {Ended(7), Ended(2)}, {}, 2},
      {"an unfinished run not taken up weighs as a changed unit", {Ended(6, false, 0, "not resumed"), Ended(2)}, {}, 6},
      {"a run the ledger stopped on an unfinished unit too", {Ended(6, false, 0, "unfinished"), Ended(7)}, {}, 6},
      {"a skipped link with routers keeps the bench from 0", {Ended(0)}, {twoRouters}, 2},
      {"a named link nothing answered on", {Ended(0)}, {silent}, 3},
      {"nothing at all", {}, {}, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(BenchExitStatus(c.units, c.skipped), c.status) << c.what;

  EXPECT_EQ(EndingText(Ended(0)), "PASS");
  EXPECT_EQ(EndingText(Ended(11)), "up to date");
  EXPECT_EQ(EndingText(Ended(2, true)), "FAIL, restore it (6)");
  EXPECT_EQ(EndingText(Ended(0, false, 9)), "crashed (2)");
  EXPECT_EQ(EndingText(Ended(11, false, 0, "")), "FAIL (2)");
  EXPECT_EQ(EndingText(Ended(11, false, 0, "exit")), "FAIL (2)");  // 11 is done only when up to date
  EXPECT_EQ(EndingText(Ended(6, false, 0, "not resumed")), "unfinished (6)");
  EXPECT_EQ(EndingText(Ended(6, false, 0, "unfinished")), "unfinished (6)");
}

TEST(BenchEvents, RoundTripAndChangeTheRecord) {
  struct Case {
    Event event;
    const char* line;
  };
  const std::vector<Case> cases = {
      {{EventKind::Found, {"eth1", "AABBCCDDEE01", "LM-7210A", "10.77.0.2", "LM 7210A\t01"}},
       "found\teth1\tAABBCCDDEE01\tLM-7210A\t10.77.0.2\tLM 7210A 01"},
      {{EventKind::Phase, {"backing up", "0"}}, "phase\tbacking up\t0"},
      {{EventKind::Progress, {"6", "20"}}, "progress\t6\t20"},
      {{EventKind::Changed, {}}, "changed"},
      {{EventKind::Logs, {"p\r\n.txt", ""}}, "logs\tp  .txt\t"},
      {{EventKind::Ended, {"6"}}, "ended\t6"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeEvent(c.event), c.line);
    Event back;
    ASSERT_TRUE(DecodeEvent(c.line, &back)) << c.line;
    EXPECT_EQ(back.kind, c.event.kind) << c.line;
  }
  for (const char* junk : {"", "Progress [###---] 3/20", "progress\t6", "found\ta\tb", "ended", "phase\tflashing"}) {
    Event e;
    EXPECT_FALSE(DecodeEvent(junk, &e)) << junk;
  }

  UnitRecord record;
  for (const char* line : {"phase\tflashing\t0", "progress\t9\t20", "progress\tx\t20", "changed",
                           "logs\t/w/P.txt\t/w/D.txt", "versions\t1.0.1.5\t1.0.1.6", "picture\tFAIL",
                           "ended\t6"}) {
    Event e;
    ASSERT_TRUE(DecodeEvent(line, &e)) << line;
    ApplyEvent(e, &record, 500);
  }
  EXPECT_EQ(record.phase, "flashing");
  EXPECT_EQ(record.progress, 9);
  EXPECT_TRUE(record.changed);
  EXPECT_EQ(record.dataLog, "/w/D.txt");
  EXPECT_EQ(record.blAfter, "1.0.1.6");
  EXPECT_EQ(record.status, 6);
}

TEST(BenchEvents, PhaseKeepsItsStartUnlessANewWaitBegins) {
  struct Step {
    const char* line;
    int64_t nowMs;
    const char* phase;
    int64_t phaseMs;
    int countdownMs;
  };
  const std::vector<Step> steps = {
      {"phase\tflashing\t0", 100, "flashing", 100, 0},
      {"phase\tflashing\t0", 900, "flashing", 100, 0},          // told again: goes on
      {"phase\trebooting\t65000", 1000, "rebooting", 1000, 65000},
      {"phase\trebooting\t20000", 4000, "rebooting", 4000, 20000},  // a new wait in the same phase
      {"phase\tverifying\tx", 5000, "verifying", 5000, 0},
  };
  UnitRecord record;
  for (const Step& s : steps) {
    Event e;
    ASSERT_TRUE(DecodeEvent(s.line, &e)) << s.line;
    ApplyEvent(e, &record, s.nowMs);
    EXPECT_EQ(record.phase, s.phase) << s.line;
    EXPECT_EQ(record.phaseMs, s.phaseMs) << s.line;
    EXPECT_EQ(record.countdownMs, s.countdownMs) << s.line;
  }
}

TEST(BenchReport, SummaryAndJsonCarryEveryUnitAndSkippedLink) {
  UnitRecord pass = Ended(0);
  pass.unit = PlannedUnit{"vb1", "AABBCCDDEE01", "LM-7210A", "10.77.0.2", "Port 1", "", ""};
  pass.blBefore = "1.0.1.5";
  pass.blAfter = "1.0.1.6";
  pass.dataLog = "/w/T AABBCCDDEE01_Data_1.txt";
  pass.processLog = "/w/T AABBCCDDEE01_Process_1.txt";
  UnitRecord failed = Ended(2, true);
  failed.unit = PlannedUnit{"vb2", "AABBCCDDEE02", "LM-7210B", "10.77.0.2", "vb2", "", ""};
  const std::vector<SkippedLink> skipped = {{"vb3", "more than one router answered", {"M1 LM-7210A at 10.77.0.2"}, 2}};

  const std::string table = SummaryTable({pass, failed}, skipped);
  for (const char* text : {"Slot", "Data log", "Port 1 (vb1)  AABBCCDDEE01", "vb2           AABBCCDDEE02", "1.0.1.5 -> 1.0.1.6", "PASS",
                           "FAIL, restore it (6)", "? -> ?", "vb3: not run: more than one router answered"}) {
    EXPECT_NE(table.find(text), std::string::npos) << text << "\n" << table;
  }

  const auto report = nlohmann::json::parse(ReportJson({pass, failed}, skipped, "S", "E", 6));
  EXPECT_EQ(report["exit_status"], 6);
  EXPECT_EQ(report["started"], "S");
  ASSERT_EQ(report["units"].size(), 2u);
  EXPECT_EQ(report["units"][0]["link"], "vb1");
  EXPECT_EQ(report["units"][0]["slot"], "Port 1");
  EXPECT_EQ(report["units"][0]["process_log"], pass.processLog);
  EXPECT_EQ(report["units"][0]["bootloader_after"], "1.0.1.6");
  EXPECT_EQ(report["units"][1]["exit_status"], 6);
  EXPECT_EQ(report["units"][1]["unit_changed"], true);
  EXPECT_EQ(report["skipped"][0]["link"], "vb3");
  EXPECT_EQ(report["skipped"][0]["routers"][0], "M1 LM-7210A at 10.77.0.2");
  // A router's text that is not UTF-8 does not break the report.
  failed.unit.model = "LM\xff";
  EXPECT_NO_THROW(nlohmann::json::parse(ReportJson({failed}, {}, "S", "E", 6)));

  EXPECT_EQ(IsoTime("20261208143005"), "2026-12-08T14:30:05");
  EXPECT_EQ(IsoTime("later"), "later");
}

}  // namespace
}  // namespace ramtune::bench

namespace ramtune::bench {
namespace {

TEST(BenchCheck, TheNewestDataLogOfTheUnitsMac) {
  const std::string mac = "001122AABBCC";
  const std::string tool = "/w/QARV Tool";
  struct Case {
    const char* what;
    std::vector<std::string> paths;
    std::string newest;
  } cases[] = {
      {"none", {}, ""},
      {"the newest by the time in the name, not the order",
       {tool + mac + "_Data_20261208093000.txt", tool + mac + "_Data_20261209080000.txt",
        tool + mac + "_Data_20261208100000.txt"},
       tool + mac + "_Data_20261209080000.txt"},
      {"a restore's record of the unit and other MACs do not count",
       {tool + mac + "_BeforeRestore_20261210000000.txt", tool + "001122AABBCD_Data_20261210000000.txt",
        tool + mac + "_Process_20261210000000.txt", tool + mac + "_Data_20261201000000.txt"},
       tool + mac + "_Data_20261201000000.txt"},
      {"not a log", {tool + mac + "_Data_x.txt", tool + mac + "_Data_20261201000000.txt.bak"}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NewestDataLog(c.paths, mac), c.newest) << c.what;
}

TEST(BenchCheck, EndingsOfTheRunsThatOnlyReadAndTheDifferingItemsInTheReport) {
  UnitRecord same = Ended(0, false, 0, "check same");
  same.checkedAgainst = "a_Data_1.txt";
  UnitRecord differs = Ended(0);
  ApplyEvent(Event{EventKind::Ended, {"8", "check differs", "0:pa2ga0, model id"}}, &differs, 0);
  differs.checkedAgainst = "b_Data_1.txt";
  const UnitRecord backedUp = Ended(0, false, 0, "backed up");
  EXPECT_EQ(EndingText(same), "same");
  EXPECT_EQ(EndingText(backedUp), "backed up");
  EXPECT_EQ(EndingText(differs), "differs: 0:pa2ga0, model id (8)");
  EXPECT_EQ(BenchExitStatus({same, backedUp}, {}), 0);
  EXPECT_EQ(BenchExitStatus({same, differs}, {}), 8);
  // A unit without a Data log is skipped and weighs as a failure.
  EXPECT_EQ(BenchExitStatus({differs}, {SkippedLink{"eth2", "no Data log", {}, kStatusFailed}}), kStatusFailed);
  const nlohmann::json report = nlohmann::json::parse(ReportJson({same, differs, backedUp}, {}, "s", "e", 8));
  EXPECT_EQ(report["units"][0]["differing"], nlohmann::json::array());
  EXPECT_EQ(report["units"][1]["differing"], nlohmann::json({"0:pa2ga0", "model id"}));
  EXPECT_EQ(report["units"][1]["checked_against"], "b_Data_1.txt");
  EXPECT_FALSE(report["units"][2].contains("differing"));
}

}  // namespace
}  // namespace ramtune::bench
