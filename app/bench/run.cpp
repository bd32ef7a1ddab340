#include "app/bench/run.h"

#include <algorithm>
#include <fstream>

#include "app/bench/child_pipes.h"
#include "app/command_line.h"
#include "upgrade/ledger.h"

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";
constexpr int kPollMs = 100;
constexpr int kKillAfterMs = 3000;

std::string Prefix(const UnitRecord& record) { return record.unit.link + " " + record.unit.mac + ": "; }

// ---- the search -------------------------------------------------------------------------

// A stop asked of the bench: Ctrl+C presses, and SIGTERM or SIGHUP as one.
int Stops(BenchSystem& sys) { return sys.Interrupts() + (sys.TerminationRequested() ? 1 : 0); }

// One search per link, all at once, each the program's own search on its
// link; what answered, or nothing when Ctrl+C ended it. `failed`: the links
// whose search could not run (not started, or ended other than found or
// nothing found).
bool Search(const Setup& setup, View& view, BenchSystem& sys, std::vector<FoundRouter>* found,
            std::vector<std::string>* failed) {
  std::vector<Child> searches(setup.links.size());
  std::vector<std::vector<std::string>> said(setup.links.size());  // each search's output lines
  std::vector<int> statuses(setup.links.size(), -1);  // from each search's ended event
  for (size_t i = 0; i < setup.links.size(); ++i) {
    std::string error;
    BenchChildRequest request;
    request.link = setup.links[i];
    request.search = true;
    request.ledger = setup.ledgerPath;
    const auto args = [request](const std::string& channel) { return BenchChildArguments(request, channel); };
    if (!sys.Start(setup.program, args, &searches[i].process, &error)) {
      view.Line(kHint + setup.links[i] + ": the search could not be started: " + error);
      searches[i].reaped = true;
    }
  }
  bool stopped = false;
  for (;;) {
    // A stop is looked at first: one that came with the searches' ends stops the bench too.
    if (!stopped && Stops(sys) > 0) {
      stopped = true;
      view.Line(std::string(kHint) + "Stopped (Ctrl+C) during the search: no run was started, nothing was changed.");
      for (const Child& search : searches) {
        if (!search.reaped) sys.Signal(search.process, platform::ChildSignal::End);
      }
    }
    bool allDone = true;
    for (size_t i = 0; i < searches.size(); ++i) {
      std::vector<Event> events;
      Drain(sys, &searches[i], &said[i], &events);
      for (const Event& event : events) {
        if (event.kind == EventKind::Found) {
          found->push_back(FoundRouter{event.fields[0], event.fields[1], event.fields[2], event.fields[3],
                                       event.fields[4]});
        }
        if (event.kind == EventKind::Ended) statuses[i] = StatusOf(event);
      }
      allDone &= searches[i].Done();
    }
    if (allDone) break;
    sys.WaitForPipes(Pipes(searches), kPollMs);
  }
  for (size_t i = 0; i < searches.size(); ++i) {
    if (statuses[i] == 0 || statuses[i] == kStatusNoRouter) continue;
    // A search says nothing unless it could not search (a start-up check,
    // a link that cannot be tied, a crash: no ended event): then what it
    // said is shown.
    failed->push_back(setup.links[i]);
    for (const std::string& line : said[i]) view.Line(setup.links[i] + " (search): " + line);
  }
  return !stopped;
}

std::string FoundList(const Plan& plan, const std::vector<FoundRouter>& found) {
  std::string text = "Routers found:\n";
  for (const FoundRouter& router : found) {
    text += "  " + router.link + ": " + router.mac + " " + router.model + " at " + router.ip + "\n";
  }
  text += "The bench runs " + std::to_string(plan.units.size()) + " unit(s) at once:";
  for (const PlannedUnit& unit : plan.units) text += " " + unit.link;
  return text;
}

// ---- the runs -------------------------------------------------------------------------------

class Runs {
 public:
  Runs(const Setup& setup, View& view, BenchSystem& sys, const Plan& plan) : setup_(setup), view_(view), sys_(sys) {
    for (const PlannedUnit& unit : plan.units) {
      UnitRecord record;
      record.unit = unit;
      records_.push_back(record);
    }
    children_.resize(records_.size());
  }

  void StartAll() {
    for (size_t i = 0; i < records_.size(); ++i) {
      // The run works on the unit the search found there, or on none.
      UnitRecord& record = records_[i];
      BenchChildRequest request;
      request.link = record.unit.link;
      request.unit = record.unit.mac;
      request.acceptWarning = setup_.acceptWarning;
      request.yesNo = setup_.yesNo;
      request.backup = setup_.mode == BenchMode::Backup;
      request.ledger = setup_.ledgerPath;
      if (setup_.mode == BenchMode::Check) {
        record.checkedAgainst = NewestDataLog(setup_.dataLogs, record.unit.mac);
        request.verify = true;
        request.verifyFile = record.checkedAgainst;
      }
      const auto args = [request](const std::string& channel) { return BenchChildArguments(request, channel); };
      record.startMs = sys_.NowMs();
      record.startTime = IsoTime(sys_.TimeStamp());
      std::string error;
      if (sys_.Start(setup_.program, args, &children_[i].process, &error)) {
        record.life = UnitLife::Running;
      } else {
        view_.Line(Prefix(record) + "the run could not be started: " + error);
        children_[i].reaped = true;
        End(&record, UnitLife::StartFailed);
      }
    }
  }

  void Watch() {
    for (;;) {
      bool allDone = true;
      for (size_t i = 0; i < records_.size(); ++i) allDone &= Follow(i);
      view_.Units(records_, sys_.NowMs());
      if (allDone) return;
      TakeStops();
      sys_.WaitForPipes(Pipes(children_), kPollMs);
    }
  }

  const std::vector<UnitRecord>& Records() const { return records_; }

  // Once every run has ended: a Data log named at a run's start that is not
  // on the disk (a run that crashed or was killed before its ending) is not
  // reported, and each unit gets its state in the unit ledger.
  void Settle() {
    for (UnitRecord& record : records_) {
      if (!record.dataLog.empty() && !platform::FileExists(record.dataLog)) record.dataLog.clear();
    }
    std::vector<upgrade::LedgerUnit> units;
    upgrade::Ledger ledger;
    // A ledger that is not there is not made here; one that cannot be read leaves every state unknown.
    if (setup_.ledgerPath.empty() || !platform::FileExists(setup_.ledgerPath) || !ledger.Open(setup_.ledgerPath) ||
        !ledger.History(&units)) {
      return;
    }
    for (UnitRecord& record : records_) {
      for (const upgrade::LedgerUnit& unit : units) {
        if (unit.mac == record.unit.mac) record.ledgerState = unit.state;
      }
    }
  }

 private:
  // Reads one unit's run; true once it has ended.
  bool Follow(size_t i) {
    Child& child = children_[i];
    UnitRecord& record = records_[i];
    if (record.Over()) return true;
    if (record.life == UnitLife::Planned) {  // a stop came before the runs were started
      End(&record, UnitLife::Withheld);
      return true;
    }
    std::vector<std::string> lines;
    std::vector<Event> events;
    Drain(sys_, &child, &lines, &events);
    for (const std::string& line : lines) view_.UnitMessage(record, line);
    const int64_t now = sys_.NowMs();
    for (const Event& event : events) {
      ApplyEvent(event, &record, now);
      if (event.kind == EventKind::Deferred) {
        view_.Line(Prefix(record) + "this unit has been changed (flashed): its run is left to finish its "
                                    "write-back and verification. Ctrl+C again ends it; the unit would then "
                                    "need a restore from its Data log.");
      }
    }
    if (!child.Done()) return false;
    // The run's status came with its ended event; the process's own end
    // only tells a crash.
    record.signal = child.signal;
    End(&record, record.life == UnitLife::StopAsked ? UnitLife::Stopped : UnitLife::Ended);
    return true;
  }

  void End(UnitRecord* record, UnitLife how) {
    record->life = how;
    record->endMs = sys_.NowMs();
    record->endTime = IsoTime(sys_.TimeStamp());
  }

  // The stops asked of the bench, one step each: Ctrl+C, then Ctrl+C again.
  // A SIGTERM or SIGHUP (a dropped session, a service manager) is the first
  // step only: a changed unit still finishes its write-back. Two presses
  // that arrive together take both steps.
  void TakeStops() {
    const int stops = Stops(sys_);
    switch (stopping_) {
      case Stopping::None:
        if (stops == 0) return;
        view_.Line(std::string(kHint) +
                   "Ctrl+C: the units not changed yet are ended now; a unit that has been changed is "
                   "left to finish its verification (Ctrl+C again ends it too).");
        Signal(platform::ChildSignal::AskToStop);
        stopping_ = Stopping::Asked;
        [[fallthrough]];
      case Stopping::Asked:
        if (stops < 2) return;
        view_.Line(std::string(kHint) +
                   "Ctrl+C again: every run still going is ended now. A unit ended after its flash keeps the new "
                   "bootloader without verified values: restore it from its Data log (ramtune --restore "
                   "DATALOG --interface LINK).");
        Signal(platform::ChildSignal::End);
        killAt_ = sys_.NowMs() + kKillAfterMs;
        stopping_ = Stopping::Ending;
        return;
      case Stopping::Ending:
        if (sys_.NowMs() < killAt_) return;
        Signal(platform::ChildSignal::Kill);
        stopping_ = Stopping::Killed;
        return;
      case Stopping::Killed: return;
    }
  }

  void Signal(platform::ChildSignal signal) {
    for (size_t i = 0; i < records_.size(); ++i) {
      if (records_[i].Over() || children_[i].reaped) continue;
      records_[i].life = UnitLife::StopAsked;
      sys_.Signal(children_[i].process, signal);
    }
  }

  // How far the bench has gone in stopping its runs.
  enum class Stopping {
    None,    // no stop asked
    Asked,   // the runs were asked to stop: the units not changed end, a changed one finishes
    Ending,  // every run still going was ended; what outlives that is killed at killAt_
    Killed,  // that was killed too
  };

  const Setup& setup_;
  View& view_;
  BenchSystem& sys_;
  std::vector<UnitRecord> records_;
  std::vector<Child> children_;
  Stopping stopping_ = Stopping::None;
  int64_t killAt_ = 0;  // Ending: when what is still there is killed
};

void WriteReport(const Setup& setup, View& view, const std::string& text) {
  std::ofstream file(setup.reportPath, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (file.fail()) {
    view.Line(std::string(kHint) + "The report could not be written to " + setup.reportPath +
              "; the summary above is all there is.");
    return;
  }
  view.Line("Report: " + setup.reportPath);
}

void Summarise(View& view, const std::string& table) {
  view.Line("");
  view.Line("Summary of the bench:");
  std::string line;
  for (char c : table) {
    if (c != '\n') {
      line += c;
      continue;
    }
    view.Line("  " + line);
    line.clear();
  }
}

// A check needs a Data log of the unit: a unit without one is not run, and
// weighs as a failure.
void WithoutDataLog(const Setup& setup, Plan* plan) {
  std::vector<PlannedUnit> units;
  for (const PlannedUnit& unit : plan->units) {
    if (!NewestDataLog(setup.dataLogs, unit.mac).empty()) {
      units.push_back(unit);
      continue;
    }
    SkippedLink skipped{unit.link, "no Data log of the unit " + unit.mac + " in the working folder to check it against",
                        {unit.mac + " " + unit.model + " at " + unit.ip}, kStatusFailed};
    plan->lines.push_back(kHint + unit.link + ": " + skipped.reason + ".");
    plan->skipped.push_back(skipped);
  }
  plan->units = units;
}

}  // namespace

int RunBench(const Setup& setup, View& view, BenchSystem& sys) {
  const std::string started = IsoTime(sys.TimeStamp());
  view.Line(std::string(kHint) + "Searching on " + std::to_string(setup.links.size()) + " link(s) for up to " +
            std::to_string(kSearchSeconds) + " s...");
  std::vector<FoundRouter> found;
  std::vector<std::string> searchFailed;
  const bool searched = Search(setup, view, sys, &found, &searchFailed);
  std::vector<std::string> links = setup.links;
  if (setup.confirm) {
    // Links were not named: those that answered, and those whose search failed.
    links = AnsweredLinks(found);
    for (const std::string& link : searchFailed) {
      if (std::find(links.begin(), links.end(), link) == links.end()) links.push_back(link);
    }
  }
  Plan plan = searched ? MakePlan(links, found, searchFailed) : Plan{};
  if (setup.mode == BenchMode::Check) WithoutDataLog(setup, &plan);
  for (const std::string& line : plan.lines) view.Line(line);
  if (setup.confirm && !plan.units.empty()) {
    view.Line(FoundList(plan, found));
    const char* question = setup.mode == BenchMode::Backup  ? "Back these units up now (nothing is written to them)?"
                           : setup.mode == BenchMode::Check ? "Check these units now (nothing is written to them)?"
                                                            : "Upgrade these units now, each on its own link?";
    if (!view.Confirm(question)) {
      view.Line(std::string(kHint) + "Nothing was started.");
      return kBenchRefused;
    }
  }
  Runs runs(setup, view, sys, plan);
  if (Stops(sys) == 0) {
    runs.StartAll();
  } else if (!plan.units.empty()) {
    view.Line(std::string(kHint) + "Stopped (Ctrl+C) before the runs started: nothing was changed.");
  }
  runs.Watch();
  runs.Settle();
  const int status = searched ? BenchExitStatus(runs.Records(), plan.skipped) : kStatusFailed;
  Summarise(view, SummaryTable(runs.Records(), plan.skipped));
  WriteReport(setup, view,
              ReportJson(runs.Records(), plan.skipped, started, IsoTime(sys.TimeStamp()), status));
  return status;
}

}  // namespace ramtune::bench
