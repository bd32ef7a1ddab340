#include "app/bench/run.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "app/command_line.h"

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";
constexpr int kPollMs = 100;
constexpr int kKillAfterMs = 3000;
constexpr int kPipeAfterEndMs = 1000;

// One child of the bench: a search or a unit's run.
struct Child {
  platform::ChildProcess process;
  std::string output;  // not yet a whole line
  std::string events;
  bool reaped = false;
  int status = -1;
  int signal = 0;
  int64_t reapedMs = 0;

  bool Done() const { return reaped && process.output < 0 && process.events < 0; }
};

// Takes the whole lines out of `pending`.
std::vector<std::string> WholeLines(std::string* pending, bool ended) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = pending->find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = pending->substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  pending->erase(0, start);
  if (ended && !pending->empty()) {
    lines.push_back(*pending);
    pending->clear();
  }
  return lines;
}

// Reads what the child has written; the output lines and the events.
void Drain(BenchSystem& sys, Child* child, std::vector<std::string>* outputLines, std::vector<Event>* events) {
  if (!child->reaped && sys.Ended(&child->process, &child->status, &child->signal)) {
    child->reaped = true;
    child->reapedMs = sys.NowMs();
  }
  sys.ReadPipe(&child->process.output, &child->output);
  sys.ReadPipe(&child->process.events, &child->events);
  // Its pipes end with it; should something it started still hold one, what
  // comes later is not the run's.
  if (child->reaped && sys.NowMs() - child->reapedMs > kPipeAfterEndMs) {
    sys.ClosePipe(&child->process.output);
    sys.ClosePipe(&child->process.events);
  }
  for (const std::string& line : WholeLines(&child->output, child->process.output < 0)) {
    outputLines->push_back(line);
  }
  for (const std::string& line : WholeLines(&child->events, child->process.events < 0)) {
    Event event;
    if (DecodeEvent(line, &event)) events->push_back(event);
  }
}

std::vector<intptr_t> Pipes(const std::vector<Child>& children) {
  std::vector<intptr_t> fds;
  for (const Child& child : children) {
    fds.push_back(child.process.output);
    fds.push_back(child.process.events);
  }
  return fds;
}

// The status an ended event carries; -1 when it carries none.
int StatusOf(const Event& ended) {
  const std::string& text = ended.fields.front();
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::atoi(text.c_str());
}

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
      if (setup_.mode == BenchMode::Check) {
        record.checkedAgainst = NewestDataLog(setup_.dataLogs, record.unit.mac);
        record.dataLog = record.checkedAgainst;
        request.verify = true;
        request.verifyFile = record.checkedAgainst;
      }
      const auto args = [request](const std::string& channel) { return BenchChildArguments(request, channel); };
      record.startMs = sys_.NowMs();
      record.startTime = IsoTime(sys_.TimeStamp());
      std::string error;
      if (sys_.Start(setup_.program, args, &children_[i].process, &error)) {
        record.started = true;
      } else {
        view_.Line(Prefix(record) + "the run could not be started: " + error);
        children_[i].reaped = true;
        Ended(&record);
      }
    }
  }

  void Watch() {
    for (;;) {
      bool allDone = true;
      for (size_t i = 0; i < records_.size(); ++i) allDone &= Follow(i);
      view_.Units(records_, sys_.NowMs());
      if (allDone) return;
      TakeInterrupts();
      sys_.WaitForPipes(Pipes(children_), kPollMs);
    }
  }

  const std::vector<UnitRecord>& Records() const { return records_; }

 private:
  // Reads one unit's run; true once it has ended.
  bool Follow(size_t i) {
    Child& child = children_[i];
    UnitRecord& record = records_[i];
    if (record.ended) return true;
    if (!record.started) {  // a stop came before the runs were started
      record.stopped = true;
      Ended(&record);
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
    Ended(&record);
    return true;
  }

  void Ended(UnitRecord* record) {
    record->ended = true;
    record->endMs = sys_.NowMs();
    record->endTime = IsoTime(sys_.TimeStamp());
  }

  void TakeInterrupts() {
    const int64_t now = sys_.NowMs();
    // A SIGTERM or SIGHUP (a dropped session) is the first step only: a
    // changed unit still finishes its write-back.
    const int interrupts = Stops(sys_);
    if (interrupts > handled_ && handled_ == 0) {
      view_.Line(std::string(kHint) +
                 "Ctrl+C: the units not changed yet are ended now; a unit that has been changed is "
                 "left to finish its verification (Ctrl+C again ends it too).");
      Signal(platform::ChildSignal::AskToStop);
      handled_ = 1;
    }
    if (interrupts > 1 && handled_ == 1) {
      view_.Line(std::string(kHint) +
                 "Ctrl+C again: every run still going is ended now. A unit ended after its flash keeps the new "
                 "bootloader without verified values: restore it from its Data log (ramtune --restore "
                 "DATALOG --interface LINK).");
      Signal(platform::ChildSignal::End);
      killAt_ = now + kKillAfterMs;
      handled_ = 2;
    }
    if (handled_ == 2 && killAt_ != 0 && now >= killAt_) {
      Signal(platform::ChildSignal::Kill);
      killAt_ = 0;
    }
  }

  void Signal(platform::ChildSignal signal) {
    for (size_t i = 0; i < records_.size(); ++i) {
      if (records_[i].ended || children_[i].reaped) continue;
      records_[i].stopped = true;
      sys_.Signal(children_[i].process, signal);
    }
  }

  const Setup& setup_;
  View& view_;
  BenchSystem& sys_;
  std::vector<UnitRecord> records_;
  std::vector<Child> children_;
  int handled_ = 0;
  int64_t killAt_ = 0;
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
  const int status = searched ? BenchExitStatus(runs.Records(), plan.skipped) : kStatusFailed;
  Summarise(view, SummaryTable(runs.Records(), plan.skipped));
  WriteReport(setup, view,
              ReportJson(runs.Records(), plan.skipped, started, IsoTime(sys.TimeStamp()), status));
  return status;
}

}  // namespace ramtune::bench
