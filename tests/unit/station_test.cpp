// The station's course against scripted children in virtual time: units
// plugged in and taken out on named slots, units the ledger knows, units
// pulled out mid-run, and stops at every stage.
#include "app/bench/station.h"
#include "app/bench/station_board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "support/bench_fake.h"
#include "upgrade/ledger.h"

namespace ramtune::bench {
namespace {

// A unit on a link from `inMs` until `outMs`.
struct Plug {
  std::string link;
  std::string mac;
  int64_t inMs;
  int64_t outMs;
};

// How a unit's run goes: it ends `endsAfterMs` after its start with these
// events; a completed run is in the ledger as the real one would put it.
struct Course {
  int64_t endsAfterMs = 60000;
  std::string events = "changed\nended\t0\tcompleted\n";
  bool changedAtStop = true;  // a stop request is left to finish
};

const Course kFails{20000, "ended\t2\tfailed\n", false};
const Course kLeftChanged{20000, "changed\nended\t2\tfailed\n", true};

struct StationRun {
  FakeSystem sys;
  QuietView view;
  Setup setup;
  std::vector<Plug> plugs;
  std::map<std::string, Course> courses;  // by MAC; others complete
  int64_t stopAtMs = 300000;              // Ctrl+C
  int status = -1;

  StationRun() {
    setup.program = "ramtune";
    setup.links = {"eth1", "eth2", "eth3"};
    setup.slotNames = {{"eth1", "Port 1"}, {"eth2", "Port 2"}, {"eth3", "Port 3"}};
    setup.session = "20261209100000";
    setup.reportPath = ::testing::TempDir() + "station_test.json";
    setup.ledgerPath = ::testing::TempDir() + "station_test.sqlite3";
    std::remove(setup.ledgerPath.c_str());
    sys.answers = [this](const std::string& link, int64_t now) {
      std::vector<std::string> here;
      for (const Plug& plug : plugs) {
        if (plug.link == link && now >= plug.inMs && now < plug.outMs) here.push_back(plug.mac);
      }
      return here;
    };
    sys.onStart = [this](ScriptedChild& child) {
      const std::string mac = child.Arg("--bench-unit");
      const auto found = courses.find(mac);
      const Course course = found == courses.end() ? Course() : found->second;
      child.events = course.events;
      child.changed = course.changedAtStop;
      child.endsAtMs = sys.now + course.endsAfterMs;
      if (course.events.find("completed") != std::string::npos) Complete(mac);
    };
    sys.onTick = [this](FakeSystem& s) {
      if (s.now >= stopAtMs) s.interrupts = std::max(s.interrupts, 1);
    };
  }

  // The ledger shows `mac` completed, as its run would record it.
  void Complete(const std::string& mac) {
    upgrade::Ledger ledger;
    upgrade::LedgerRun run;
    run.unit = mac;
    run.started = "20261209100000";
    run.ended = "20261209100200";
    run.mode = "upgrade";
    run.outcome = "completed";
    run.exitStatus = 0;
    ASSERT_TRUE(ledger.Open(setup.ledgerPath) && ledger.FinishRun(run)) << ledger.Error();
  }

  void Run() {
    status = RunStation(setup, view, sys);
  }

  // The MACs of the runs started, in order, with their slot.
  std::vector<std::string> Runs() const {
    std::vector<std::string> runs;
    for (const ScriptedChild* child : sys.Runs()) runs.push_back(child->Arg("--bench-slot") + " " + child->Arg("--bench-unit"));
    return runs;
  }
  nlohmann::json Report() const {
    std::ifstream in(setup.reportPath);
    return nlohmann::json::parse(in, nullptr, false);
  }
};

TEST(Station, EachSlotRunsTheUnitsPluggedIntoItOneAfterAnother) {
  struct Case {
    const char* name;
    std::function<void(StationRun&)> arrange;
    std::vector<std::string> runs;  // "slot MAC" in the order they started
    int status;
    std::vector<const char*> said;  // parts of the lines the station printed
  };
  const std::vector<Case> cases = {
      {"a unit plugged in, taken out, the next plugged in",
       [](StationRun& r) { r.plugs = {{"eth1", "0011220000A1", 5000, 90000}, {"eth1", "0011220000A2", 120000, 250000}}; },
       {"Port 1 0011220000A1", "Port 1 0011220000A2"}, 0,
       {"Port 1 0011220000A1: LM-7210A answered", "0011220000A1: has left its slot (no answer for 10 s)",
        "Port 1 0011220000A2: PASS"}},
      {"a unit still answering after its run is not run again; a quick swap runs the next at once",
       [](StationRun& r) { r.plugs = {{"eth1", "0011220000A1", 5000, 150000}, {"eth1", "0011220000A2", 150000, 290000}}; },
       {"Port 1 0011220000A1", "Port 1 0011220000A2"}, 0, {"has left its slot (another unit answers)"}},
      {"a unit the ledger shows completed is not run; its slot says when",
       [](StationRun& r) {
         r.Complete("0011220000A1");
         r.plugs = {{"eth1", "0011220000A1", 5000, 60000}, {"eth1", "0011220000A2", 80000, 200000}};
       },
       {"Port 1 0011220000A2"}, 0, {"completed by an earlier run (done at 2026-12-09 10:02): not run again"}},
      {"a unit pulled out before its flash: its failure stays on the slot and counts",
       [](StationRun& r) {
         r.courses["0011220000A1"] = kFails;
         r.plugs = {{"eth1", "0011220000A1", 5000, 20000}, {"eth1", "0011220000A2", 100000, 250000}};
       },
       {"Port 1 0011220000A1", "Port 1 0011220000A2"}, 2, {"Port 1 0011220000A1: FAIL (2)"}},
      {"a unit pulled out after its flash: the slot says how to restore it",
       [](StationRun& r) {
         r.courses["0011220000A1"] = kLeftChanged;
         r.plugs = {{"eth1", "0011220000A1", 5000, 20000}};
       },
       {"Port 1 0011220000A1"}, 6, {"FAIL, restore it (6): restore it: ramtune --restore DATALOG --interface eth1"}},
      {"two slots fail while the third completes two units",
       [](StationRun& r) {
         r.courses["0011220000B1"] = kFails;
         r.courses["0011220000C1"] = kLeftChanged;
         r.plugs = {{"eth1", "0011220000A1", 5000, 80000}, {"eth2", "0011220000B1", 7000, 200000},
                    {"eth3", "0011220000C1", 9000, 200000}, {"eth1", "0011220000A2", 100000, 250000}};
       },
       {"Port 1 0011220000A1", "Port 2 0011220000B1", "Port 3 0011220000C1", "Port 1 0011220000A2"}, 6,
       {"Port 2 0011220000B1: FAIL (2)", "Port 1 0011220000A2: PASS"}},
      {"one MAC on two slots (units left mid-run share the image's): never run twice at once",
       [](StationRun& r) { r.plugs = {{"eth1", "001122334455", 5000, 250000}, {"eth2", "001122334455", 7000, 250000}}; },
       {"Port 1 001122334455"}, 0, {}},
      {"two routers on one slot: neither runs",
       [](StationRun& r) { r.plugs = {{"eth2", "0011220000B1", 5000, 250000}, {"eth2", "0011220000B2", 5000, 250000}}; },
       {}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationRun r;
    c.arrange(r);
    r.Run();
    EXPECT_EQ(r.Runs(), c.runs);
    EXPECT_EQ(r.status, c.status);
    for (const char* part : c.said) EXPECT_TRUE(r.view.Said(part)) << part;
    // Every run ended before the station did, and the report holds each.
    for (const ScriptedChild* run : r.sys.Runs()) EXPECT_TRUE(run->ended);
    const nlohmann::json report = r.Report();
    ASSERT_EQ(report["units"].size(), c.runs.size());
    for (size_t i = 0; i < c.runs.size(); ++i) {
      EXPECT_EQ(report["units"][i]["slot"].get<std::string>() + " " + report["units"][i]["mac"].get<std::string>(),
                c.runs[i]);
    }
    EXPECT_EQ(report["exit_status"], c.status);
  }
}

// A unit's answer ends its slot's watch before its run starts: the watch is
// asked, so that it closes its socket itself, and killed only when it has
// not ended within kWatchEndMs.
TEST(Station, AWatchIsAskedToEndAndKilledOnlyWhenItDoesNot) {
  for (const bool hears : {true, false}) {
    SCOPED_TRACE(hears ? "the watch ends when asked" : "the watch is stuck");
    StationRun r;
    r.sys.watchesHearStops = hears;
    r.plugs = {{"eth1", "0011220000A1", 5000, 90000}};
    r.Run();
    ASSERT_EQ(r.Runs(), std::vector<std::string>{"Port 1 0011220000A1"});
    const ScriptedChild* run = r.sys.Runs().front();
    const auto watch = std::find_if(r.sys.children.begin(), r.sys.children.end(), [](const ScriptedChild& c) {
      return c.IsWatch() && c.Link() == "eth1" && c.askedAtMs >= 0;
    });
    ASSERT_NE(watch, r.sys.children.end());
    if (hears) {
      EXPECT_EQ(watch->signals, std::vector<ChildSignal>{ChildSignal::AskToStop});
      EXPECT_LE(run->startedAtMs - watch->askedAtMs, 200);
    } else {
      EXPECT_EQ(watch->signals, (std::vector<ChildSignal>{ChildSignal::AskToStop, ChildSignal::Kill}));
      EXPECT_GE(watch->killedAtMs - watch->askedAtMs, kWatchEndMs);
      EXPECT_LE(watch->killedAtMs - watch->askedAtMs, kWatchEndMs + 200);
      EXPECT_GE(run->startedAtMs, watch->killedAtMs);
    }
    EXPECT_EQ(r.status, 0);
  }
}

TEST(Station, AStopStartsNothingNewAndEndsAsTheBenchDoes) {
  struct Case {
    const char* name;
    int64_t stopAtMs;
    int64_t secondStopAtMs;  // -1: none
    std::vector<ChildSignal> signals;  // what the run was sent
    int status;
  };
  // One unit on Port 1 from 5 s: its watch sees it at 6 s, its run starts
  // then, changes the unit at once and would end at 66 s.
  for (const Case& c : std::vector<Case>{
           {"no unit running: the station ends at once", 3000, -1, {}, 0},
           {"a changed unit running: it finishes, then the station ends", 20000, -1, {ChildSignal::AskToStop}, 0},
           {"Ctrl+C twice: every run ends, the changed unit counts 6", 20000, 21000,
            {ChildSignal::AskToStop, ChildSignal::End}, 6},
       }) {
    SCOPED_TRACE(c.name);
    StationRun r;
    r.plugs = {{"eth1", "0011220000A1", 5000, 1000000}, {"eth2", "0011220000B1", 30000, 1000000}};
    r.sys.onTick = [&c](FakeSystem& s) {
      if (s.now >= c.stopAtMs) s.interrupts = std::max(s.interrupts, 1);
      if (c.secondStopAtMs >= 0 && s.now >= c.secondStopAtMs) s.interrupts = 2;
    };
    r.Run();
    const auto runs = r.sys.Runs();
    ASSERT_EQ(runs.size(), c.signals.empty() ? 0u : 1u) << "no unit starts after the stop";
    if (!runs.empty()) {
      EXPECT_EQ(runs.front()->signals, c.signals);
    }
    EXPECT_EQ(r.status, c.status);
    EXPECT_LT(r.sys.now, 70000) << "the station ends once nothing runs";
    // Every watch was ended by the station.
    for (const ScriptedChild& child : r.sys.children) EXPECT_TRUE(child.ended);
  }
}


// A person's restore or check on a slot (the Windows station's row menu):
// it runs on the unit still there, with the Data log it names, and on no
// other unit.
TEST(Station, ARestoreOrCheckAskedOnASlotRunsOnTheUnitThatIsStillThere) {
  struct Case {
    const char* name;
    SlotRequest request;
    int64_t atMs;
    const char* option;  // the run's word for it; empty: no second run
  };
  const Case cases[] = {
      {"restore", {"eth1", "AABBCC000001", true, "/w/D1.txt"}, 40000, "--restore"},
      {"check", {"eth1", "AABBCC000001", false, "/w/D1.txt"}, 40000, "--verify"},
      {"another unit's", {"eth1", "AABBCC000009", true, "/w/D9.txt"}, 40000, ""},
      {"after the unit left", {"eth1", "AABBCC000001", true, "/w/D1.txt"}, 140000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationRun station;
    station.plugs = {{"eth1", "AABBCC000001", 2000, 120000}};
    station.courses["AABBCC000001"] = kLeftChanged;
    station.sys.requests = {{c.atMs, c.request}};
    station.stopAtMs = 200000;
    station.Run();
    const std::vector<const ScriptedChild*> runs = station.sys.Runs();
    ASSERT_EQ(runs.size(), c.option[0] == '\0' ? 1u : 2u);
    EXPECT_FALSE(runs[0]->Has("--restore") || runs[0]->Has("--verify"));
    if (runs.size() < 2) continue;
    EXPECT_TRUE(runs[1]->Has(c.option));
    EXPECT_EQ(runs[1]->Arg(c.option), c.request.dataLog);
    EXPECT_EQ(runs[1]->Arg("--bench-unit"), "AABBCC000001");
    EXPECT_EQ(runs[1]->Arg("--into"), c.request.restore ? "AABBCC000001" : "");
  }
}

// Windows XP cannot tie a unit's traffic to its adapter: there a station
// runs while one adapter has a link, and says why otherwise.
TEST(Station, WindowsXpRunsOneSlotWithALinkAndRefusesMore) {
  const platform::OsVersion xp{2, 5, 1, "Service Pack 3"};
  const platform::OsVersion xp64{2, 5, 2, "Service Pack 2"};
  const platform::OsVersion seven{2, 6, 1, "Service Pack 1"};
  platform::NetInterface port1{2, "Port 1", "10.77.0.1", "255.255.255.0", true, true, ""};
  platform::NetInterface port2 = port1;
  port2.name = "Port 2";
  port2.address = "10.77.0.11";
  port2.index = 3;
  platform::NetInterface empty = port2;  // an empty port: no cable, no address
  empty.name = "Port 3";
  empty.address.clear();
  empty.hasLink = false;
  struct Case {
    platform::OsVersion version;
    std::vector<platform::NetInterface> adapters;
    bool refused;
  };
  for (const Case& c : {Case{xp, {port1, empty}, false}, Case{xp, {port1, port2}, true},
                        Case{xp64, {port1, port2, empty}, true}, Case{seven, {port1, port2}, false},
                        Case{xp, {}, false}}) {
    const std::string refusal = StationRefusal(c.version, c.adapters);
    EXPECT_EQ(!refusal.empty(), c.refused) << c.version.major << "." << c.version.minor << " " << c.adapters.size();
    if (!c.refused) continue;
    EXPECT_NE(refusal.find("Port 2 (10.77.0.11)"), std::string::npos) << refusal;
    EXPECT_EQ(refusal.find("Port 3"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("Windows Vista, 7, 8 and 10"), std::string::npos) << refusal;
  }
}

}  // namespace
}  // namespace ramtune::bench
