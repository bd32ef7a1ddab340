#include "app/bench/run.h"

#include <algorithm>
#include <fstream>

#include "app/bench/child_pipes.h"
#include "app/bench/unit_run.h"
#include "app/command_line.h"

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";
constexpr int kPollMs = 100;

// ---- the search -------------------------------------------------------------------------

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
      record.unit.slot = setup.SlotOf(unit.link);
      records_.push_back(record);
    }
    children_.resize(records_.size());
  }

  void StartAll() {
    for (size_t i = 0; i < records_.size(); ++i) StartUnitRun(setup_, view_, sys_, &records_[i], &children_[i]);
  }

  void Watch() {
    for (;;) {
      bool allDone = true;
      for (size_t i = 0; i < records_.size(); ++i) allDone &= Follow(i);
      view_.Units(records_, sys_.NowMs());
      if (allDone) return;
      stops_.Take(view_, sys_, [this](platform::ChildSignal signal) { Signal(signal); });
      sys_.WaitForPipes(Pipes(children_), kPollMs);
    }
  }

  const std::vector<UnitRecord>& Records() const { return records_; }

  // Once every run has ended: a Data log named at a run's start that is not
  // on the disk (a run that crashed or was killed before its ending) is not
  // reported, and each unit gets its state in the unit ledger.
  void Settle() {
    std::vector<UnitRecord*> records;
    for (UnitRecord& record : records_) {
      if (!record.dataLog.empty() && !platform::FileExists(record.dataLog)) record.dataLog.clear();
      records.push_back(&record);
    }
    TakeLedgerStates(setup_.ledgerPath, records);
  }

 private:
  // Reads one unit's run; true once it has ended.
  bool Follow(size_t i) { return FollowUnitRun(view_, sys_, &records_[i], &children_[i]); }

  void Signal(platform::ChildSignal signal) {
    for (size_t i = 0; i < records_.size(); ++i) {
      if (records_[i].Over() || children_[i].reaped) continue;
      records_[i].life = UnitLife::StopAsked;
      sys_.Signal(children_[i].process, signal);
    }
  }

  const Setup& setup_;
  View& view_;
  BenchSystem& sys_;
  std::vector<UnitRecord> records_;
  std::vector<Child> children_;
  StopSteps stops_;
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
