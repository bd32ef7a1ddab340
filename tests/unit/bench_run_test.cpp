// The bench's course against scripted children in virtual time: what a stop
// does at each moment, and a link whose search could not run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "app/bench/run.h"
#include "support/bench_fake.h"
#include "upgrade/ledger.h"

namespace ramtune::bench {
namespace {

using platform::ChildSignal;

// Every link's search finds its one unit after a second; every run changes
// its unit at once and completes after a minute.
void HealthyChild(ScriptedChild& child) {
  const std::string link = child.Link();
  const std::string mac = "0011220000" + std::string(2, link.back());
  if (child.IsSearch()) {
    child.events = "found\t" + link + "\t" + mac + "\tLM-7210A\t10.77.0.2\tlabel\nended\t0\t\t\n";
    child.endsAtMs = 1000;
    return;
  }
  child.changed = true;
  child.events = "changed\nended\t0\tcompleted\n";
  child.endsAtMs = 60000;
}

struct BenchRun {
  FakeSystem sys;
  QuietView view;
  Setup setup;
  int status = -1;

  BenchRun() {
    setup.program = "ramtune";
    setup.links = {"eth1", "eth2"};
    setup.reportPath = ::testing::TempDir() + "bench_run_test.json";
    sys.onStart = HealthyChild;
  }
  void Run() { status = RunBench(setup, view, sys); }
};

TEST(BenchRun, AStopIsOneStepAtATimeAndNeverLeavesAUnitUnaccounted) {
  struct Case {
    const char* name;
    std::function<void(BenchRun&)> arrange;
    std::function<void(BenchRun&)> check;
  };
  for (const Case& c : std::vector<Case>{
           {"Ctrl+C as the searches end: no run starts, the bench fails",
            [](BenchRun& b) { b.sys.onTick = [](FakeSystem& s) { s.interrupts = s.now >= 1000 ? 1 : 0; }; },
            [](BenchRun& b) {
              EXPECT_TRUE(b.sys.Runs().empty());
              EXPECT_EQ(b.status, kStatusFailed);
              EXPECT_TRUE(b.view.Said("no run was started"));
            }},
           {"Ctrl+C while the plan is asked: the units are not started, none counts as done",
            [](BenchRun& b) {
              b.setup.confirm = true;
              b.view.confirm = [&b] { return ++b.sys.interrupts > 0; };
            },
            [](BenchRun& b) {
              EXPECT_TRUE(b.sys.Runs().empty());
              EXPECT_EQ(b.status, kStatusFailed);
              EXPECT_TRUE(b.view.Said("Stopped (Ctrl+C) before the runs started"));
              EXPECT_TRUE(b.view.Said("eth1  001122000011  LM-7210A  ? -> ?      not started"));
            }},
           {"SIGTERM (or SIGHUP) during the runs: the changed units finish",
            [](BenchRun& b) { b.sys.onTick = [](FakeSystem& s) { s.terminated = s.now >= 5000; }; },
            [](BenchRun& b) {
              ASSERT_EQ(b.sys.Runs().size(), 2u);
              for (const ScriptedChild* run : b.sys.Runs()) {
                EXPECT_EQ(run->signals, std::vector<ChildSignal>{ChildSignal::AskToStop});
                EXPECT_EQ(run->signal, 0);
              }
              EXPECT_EQ(b.status, kStatusCompleted);
            }},
           {"SIGTERM, then Ctrl+C: the second step ends every run",
            [](BenchRun& b) {
              b.sys.onTick = [](FakeSystem& s) {
                s.terminated = s.now >= 5000;
                s.interrupts = s.now >= 6000 ? 1 : 0;
              };
            },
            [](BenchRun& b) {
              for (const ScriptedChild* run : b.sys.Runs()) {
                EXPECT_EQ(run->signals, (std::vector<ChildSignal>{ChildSignal::AskToStop, ChildSignal::End}));
              }
              EXPECT_EQ(b.status, kStatusChanged);
            }},
           {"two Ctrl+C at once: both steps; what outlives the end is killed 3 s later",
            [](BenchRun& b) {
              b.sys.onStart = [](ScriptedChild& child) {
                HealthyChild(child);
                child.outlivesEnd = true;
              };
              b.sys.onTick = [](FakeSystem& s) { s.interrupts = s.now >= 5000 ? 2 : 0; };
            },
            [](BenchRun& b) {
              for (const ScriptedChild* run : b.sys.Runs()) {
                EXPECT_EQ(run->signals,
                          (std::vector<ChildSignal>{ChildSignal::AskToStop, ChildSignal::End, ChildSignal::Kill}));
                EXPECT_GE(run->killedAtMs, 5000 + 3000);
                EXPECT_LE(run->killedAtMs, 5000 + 3000 + 200);
              }
              EXPECT_EQ(b.status, kStatusChanged);
              EXPECT_TRUE(b.view.Said("stopped, restore it (6)"));
            }},
       }) {
    BenchRun bench;
    c.arrange(bench);
    bench.Run();
    c.check(bench);
    if (::testing::Test::HasFailure()) for (const std::string& l : bench.view.lines) std::printf("%s\n", l.c_str());
    // Each run is started for the unit its link's search found.
    for (const ScriptedChild* run : bench.sys.Runs()) {
      const auto at = std::find(run->args.begin(), run->args.end(), "--bench-unit");
      ASSERT_NE(at, run->args.end()) << c.name;
      EXPECT_EQ(*(at + 1), "0011220000" + std::string(2, run->Link().back())) << c.name;
    }
    if (::testing::Test::HasFailure()) FAIL() << c.name;
  }
}

TEST(BenchRun, ALinkWhoseSearchCouldNotRunIsAFailureNotAnEmptyLink) {
  for (const bool startFails : {false, true}) {
    BenchRun bench;
    if (startFails) bench.sys.refusedLinks = {"eth2"};
    bench.sys.onStart = [](ScriptedChild& child) {
      HealthyChild(child);
      if (child.IsSearch() && child.Link() == "eth2") {
        child.events.clear();
        child.output = "ramtune: cannot receive on UDP port 9999 on eth2\n";
        child.status = 2;
      }
    };
    bench.Run();
    EXPECT_EQ(bench.status, kStatusFailed) << startFails;
    EXPECT_EQ(bench.sys.Runs().size(), 1u) << startFails;
    EXPECT_TRUE(bench.view.Said("eth2: not run: the search failed on this link")) << startFails;
    EXPECT_FALSE(bench.view.Said("no router answered")) << startFails;
    EXPECT_EQ(bench.view.Said("eth2 (search): ramtune: cannot receive on UDP port 9999"), !startFails);
  }
}

// A run whose start fails is tried again a second later, twice; only a
// start that fails every time leaves its unit "not started".
TEST(BenchRun, AFailedStartIsTriedAgainBeforeTheUnitIsLeft) {
  for (const int refused : {2, 3}) {
    BenchRun bench;
    bench.sys.runStartsToRefuse = refused;
    bench.Run();
    const std::vector<const ScriptedChild*> runs = bench.sys.Runs();
    if (refused == 2) {
      EXPECT_EQ(bench.status, kStatusCompleted);
      ASSERT_EQ(runs.size(), 2u);
      // The searches end at 1 s; eth1's third try comes 2 s later.
      EXPECT_GE(runs[0]->startedAtMs, 3000);
      EXPECT_LE(runs[0]->startedAtMs, 3200);
      EXPECT_FALSE(bench.view.Said("could not be started"));
    } else {
      EXPECT_EQ(bench.status, kStatusFailed);
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_TRUE(bench.view.Said("eth1 001122000011: the run could not be started: Internal error."));
      EXPECT_TRUE(bench.view.Said("not started"));
    }
  }
}

// The status is what the ended event says (Ramtune.exe ends with 0 or 1
// whatever happened); the process's own end only tells a crash: no ended event.
TEST(BenchRun, StatusesComeFromTheEndedEventNotTheExitCode) {
  struct Case {
    const char* name;
    const char* searchEnded;  // eth2's search (which found its unit): its ended event, or none
    int searchExit;
    const char* runEnded;     // eth1's run (which changed its unit)
    int runExit;
    int benchStatus;
  };
  for (const Case& c : std::vector<Case>{
           {"both told, exit codes 1", "ended\t0\t\t", 1, "ended\t0\tcompleted", 1, kStatusCompleted},
           {"eth2's search told a failure, exit code 0", "ended\t2\t\t", 0, "ended\t0\tcompleted", 0,
            kStatusFailed},
           {"eth2's search ended without a word", "", 0, "ended\t0\tcompleted", 0, kStatusFailed},
           {"eth1's run ended without a word", "ended\t0\t\t", 0, "", 0, kStatusChanged},
       }) {
    BenchRun bench;
    bench.sys.onStart = [&c](ScriptedChild& child) {
      HealthyChild(child);
      const bool eth2 = child.Link() == "eth2";
      const std::string ended = child.IsSearch() ? c.searchEnded : c.runEnded;
      if (child.IsSearch() != eth2) return;
      child.events = child.events.substr(0, child.events.find("ended")) +
                     (ended.empty() ? "" : ended + "\n");
      child.status = child.IsSearch() ? c.searchExit : c.runExit;
    };
    bench.Run();
    EXPECT_EQ(bench.status, c.benchStatus) << c.name;
  }
}

// Every run uses the bench's ledger, and the report gives each unit's state
// in it once the runs have ended; a Data log named at a run's start that is
// not on the disk (the run crashed before its ending) is not reported.
TEST(BenchRun, TheRunsUseTheBenchsLedgerAndTheReportGivesEachUnitsState) {
  BenchRun bench;
  const std::string written = ::testing::TempDir() + "bench_run_test_Data_1.txt";
  std::ofstream(written) << "x";
  bench.setup.ledgerPath = ::testing::TempDir() + "bench_run_test.sqlite3";
  std::remove(bench.setup.ledgerPath.c_str());
  upgrade::Ledger ledger;
  upgrade::LedgerRun run;
  run.unit = "001122000011";  // eth1's unit, left open
  upgrade::LedgerChange change;
  change.mac = run.unit;
  ASSERT_TRUE(ledger.Open(bench.setup.ledgerPath) && ledger.RecordChange(run, change));
  bench.sys.onStart = [&written](ScriptedChild& child) {
    HealthyChild(child);
    const bool eth1 = child.Link() == "eth1";
    if (child.IsSearch()) return;
    child.events = "logs\t/w/P.txt\t" + (eth1 ? written : "/w/never written.txt") + "\n" + (eth1 ? child.events : "");
    child.signal = eth1 ? 0 : 9;
  };
  bench.Run();
  for (const ScriptedChild* run : bench.sys.Runs()) {
    const auto at = std::find(run->args.begin(), run->args.end(), "--ledger");
    ASSERT_NE(at, run->args.end());
    EXPECT_EQ(*(at + 1), bench.setup.ledgerPath);
  }
  std::ifstream in(bench.setup.reportPath);
  const nlohmann::json units = nlohmann::json::parse(in)["units"];
  EXPECT_EQ(units[0]["ledger_state"], "changed");
  EXPECT_TRUE(units[1]["ledger_state"].is_null());
  EXPECT_EQ(units[0]["data_log"], written);
  EXPECT_EQ(units[1]["data_log"], "");
}

}  // namespace
}  // namespace ramtune::bench
