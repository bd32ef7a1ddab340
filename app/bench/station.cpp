#include "app/bench/station.h"

#include <algorithm>

#include "app/bench/unit_run.h"
#include "app/command_line.h"
#include "upgrade/ledger.h"

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";
constexpr int kPollMs = 100;
// A watch that ended by itself (its link could not be tied, it crashed) is
// started again after this, not at once.
constexpr int kWatchAgainMs = 10000;

// "20261209103205" as "2026-12-09 10:32".
std::string ShortTime(const std::string& stamp) {
  const std::string iso = IsoTime(stamp);
  return iso.size() == 19 ? iso.substr(0, 10) + " " + iso.substr(11, 5) : stamp;
}

struct Slot {
  SlotRecord shown;
  Child watch;
  bool watching = false;       // its watch runs, or has not been reaped yet
  bool watchEnded = false;     // the station ended it (a unit is starting, or the station ends)
  int64_t watchKillAt = -1;    // asked to stop: killed if it has not ended by then (-1: no more)
  int64_t watchAgainAt = 0;    // when a watch that ended by itself starts again
  std::vector<std::string> watchSaid;
  std::vector<FoundRouter> round;  // the answers of the round under way
  Child run;
  int64_t lastSeenMs = 0;      // Finished or Done: the unit's last answer
};

class Station {
 public:
  Station(const Setup& setup, View& view, BenchSystem& sys) : setup_(setup), view_(view), sys_(sys) {
    for (const std::string& link : setup.links) {
      Slot slot;
      slot.shown.name = setup.SlotOf(link);
      slot.shown.link = link;
      slots_.push_back(slot);
    }
  }

  int Run() {
    const std::string started = IsoTime(sys_.TimeStamp());
    startedMs_ = sys_.NowMs();
    std::string names;
    for (const Slot& slot : slots_) names += (names.empty() ? "" : ", ") + SlotLabel(slot.shown.name, slot.shown.link);
    view_.Line(std::string(kHint) + "Station: " + std::to_string(slots_.size()) + " slot(s): " + names +
               ". A unit is started as soon as it answers on its slot; Ctrl+C ends the station.");
    for (;;) {
      TakeStops();
      TakeRequests();
      for (Slot& slot : slots_) Step(slot);
      ShowSlots();
      if (stopping_ && Idle()) break;
      std::vector<intptr_t> pipes;
      for (const Slot& slot : slots_) {
        for (const Child* child : {&slot.watch, &slot.run}) {
          pipes.push_back(child->process.output);
          pipes.push_back(child->process.events);
        }
      }
      sys_.WaitForPipes(pipes, kPollMs);
    }
    const int status = ExitStatus();
    // The summary and the report list the units in the order they started.
    std::stable_sort(session_.begin(), session_.end(),
                     [](const UnitRecord& a, const UnitRecord& b) { return a.startMs < b.startMs; });
    view_.Line("");
    view_.Line("Summary of the station's session:");
    const std::string table = SummaryTable(session_, skipped_);
    for (size_t start = 0, end; (end = table.find('\n', start)) != std::string::npos; start = end + 1) {
      view_.Line("  " + table.substr(start, end - start));
    }
    WriteReport(ReportJson(session_, skipped_, started, IsoTime(sys_.TimeStamp()), status));
    return status;
  }

 private:
  // ---- stopping -----------------------------------------------------------------
  void TakeStops() {
    if (!stopping_ && Stops(sys_) > 0) {
      stopping_ = true;
      view_.Line(std::string(kHint) + "Stopping the station: no new unit starts." +
                 (Running() > 0 ? " It ends once the units running now have ended." : ""));
      for (Slot& slot : slots_) {
        EndWatch(slot);
        if (slot.shown.state != SlotState::Running) slot.shown.state = SlotState::Closed;
      }
    }
    if (stopping_ && Running() > 0) {
      stops_.Take(view_, sys_, [this](platform::ChildSignal signal) {
        for (Slot& slot : slots_) {
          if (slot.shown.state != SlotState::Running || slot.run.reaped) continue;
          slot.shown.unit.life = UnitLife::StopAsked;
          sys_.Signal(slot.run.process, signal);
        }
      });
    }
  }

  // ---- a person's requests on a slot (the Windows station's row menu) ----------------
  void TakeRequests() {
    SlotRequest request;
    while (sys_.TakeSlotRequest(&request)) {
      auto slot = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.shown.link == request.link; });
      if (slot == slots_.end()) continue;
      SlotRecord& shown = slot->shown;
      const char* what = request.restore ? "restore" : "check";
      const bool there = (shown.state == SlotState::Finished || shown.state == SlotState::Done) &&
                         shown.unit.unit.mac == request.mac;
      if (stopping_ || !there) {
        view_.Line(std::string(kHint) + shown.name + ": the " + what + " was not started: " +
                   (stopping_ ? "the station is stopping." : "that unit is no longer waiting on this slot."));
        continue;
      }
      PlannedUnit unit = shown.unit.unit;
      unit.restoreLog = request.restore ? request.dataLog : "";
      unit.checkLog = request.restore ? "" : request.dataLog;
      shown.unit = UnitRecord();
      shown.unit.unit = unit;
      shown.note.clear();
      shown.state = SlotState::Starting;
      view_.Line(Prefix(shown.unit) + "the " + what + " with " + request.dataLog + " starts.");
      EndWatch(*slot);
    }
  }

  int Running() const {
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(),
                                          [](const Slot& s) { return s.shown.state == SlotState::Running; }));
  }

  bool Idle() const {
    return std::none_of(slots_.begin(), slots_.end(),
                        [](const Slot& s) { return s.watching || s.shown.state == SlotState::Running; });
  }

  // ---- one slot -----------------------------------------------------------------
  void Step(Slot& slot) {
    if (slot.watching) ReadWatch(slot);
    SlotRecord& shown = slot.shown;
    const int64_t now = sys_.NowMs();
    switch (shown.state) {
      case SlotState::Starting:
        if (!slot.watching) StartRun(slot);
        return;
      case SlotState::Running:
        if (FollowUnitRun(view_, sys_, &shown.unit, &slot.run)) RunEnded(slot);
        return;
      case SlotState::Finished:
      case SlotState::Done:
        if (now - slot.lastSeenMs >= kGoneAfterMs) Leave(slot, "no answer for " + std::to_string(kGoneAfterMs / 1000) + " s");
        break;
      case SlotState::Waiting: break;
      case SlotState::Closed: return;
    }
    if (!slot.watching && !stopping_ && now >= slot.watchAgainAt) StartWatch(slot);
  }

  void StartWatch(Slot& slot) {
    BenchChildRequest request;
    request.link = slot.shown.link;
    request.watch = true;
    request.ledger = setup_.ledgerPath;
    const auto args = [request](const std::string& channel) { return BenchChildArguments(request, channel); };
    slot.watch = Child();
    slot.watchSaid.clear();
    slot.round.clear();
    slot.watchEnded = false;
    slot.watchKillAt = -1;
    std::string error;
    if (!sys_.Start(setup_.program, args, &slot.watch.process, &error)) {
      WatchFailed(slot, {"it could not be started: " + error});
      return;
    }
    slot.watching = true;
  }

  // The station ends a watch at once: it holds nothing but its socket. It is
  // asked first, so that it closes its socket itself (under Wine, the socket
  // of a killed process can outlive it and hold the link's port for good),
  // and killed when it has not ended within kWatchEndMs.
  void EndWatch(Slot& slot) {
    if (!slot.watching || slot.watchEnded) return;
    slot.watchEnded = true;
    if (slot.watch.reaped) return;
    sys_.Signal(slot.watch.process, platform::ChildSignal::AskToStop);
    slot.watchKillAt = sys_.NowMs() + kWatchEndMs;
  }


  void ReadWatch(Slot& slot) {
    if (slot.watchKillAt >= 0 && !slot.watch.reaped && sys_.NowMs() >= slot.watchKillAt) {
      slot.watchKillAt = -1;
      sys_.Signal(slot.watch.process, platform::ChildSignal::Kill);
    }
    std::vector<Event> events;
    Drain(sys_, &slot.watch, &slot.watchSaid, &events);
    for (const Event& event : events) {
      if (slot.watchEnded) break;  // what it said after the station ended it counts no more
      if (event.kind == EventKind::Found) {
        slot.round.push_back(FoundRouter{event.fields[0], event.fields[1], event.fields[2], event.fields[3],
                                         event.fields[4]});
      }
      if (event.kind == EventKind::Round) {
        std::vector<FoundRouter> answers;
        answers.swap(slot.round);
        OnRound(slot, answers, event.fields[0] != "down");
      }
    }
    if (slot.watchSaid.size() > 20) slot.watchSaid.erase(slot.watchSaid.begin(), slot.watchSaid.end() - 20);
    if (!slot.watch.Done()) return;
    slot.watching = false;
    if (!slot.watchEnded) WatchFailed(slot, slot.watchSaid);
  }

  void WatchFailed(Slot& slot, const std::vector<std::string>& said) {
    const std::string& label = slot.shown.name;
    for (const std::string& line : said) view_.Line(label + " (search): " + line);
    slot.shown.note = "the search on this link ended (see above); it starts again in " +
                      std::to_string(kWatchAgainMs / 1000) + " s";
    view_.Line(std::string(kHint) + label + ": " + slot.shown.note + ".");
    slot.watchAgainAt = sys_.NowMs() + kWatchAgainMs;
    if (std::none_of(skipped_.begin(), skipped_.end(), [&](const SkippedLink& s) { return s.link == slot.shown.link; })) {
      skipped_.push_back(SkippedLink{slot.shown.link, "the search on this link could not run at times", {},
                                     kStatusFailed});
    }
  }

  // After each round of the slot's watch: who answered, whether the link is up.
  void OnRound(Slot& slot, std::vector<FoundRouter> answers, bool linkUp) {
    SlotRecord& shown = slot.shown;
    std::vector<FoundRouter> units;  // one per MAC
    for (const FoundRouter& router : answers) {
      if (std::none_of(units.begin(), units.end(), [&](const FoundRouter& u) { return u.mac == router.mac; })) {
        units.push_back(router);
      }
    }
    const bool present = shown.state == SlotState::Finished || shown.state == SlotState::Done;
    if (!linkUp) {
      if (present) Leave(slot, "the link went down");
      return;
    }
    if (present) {
      const bool same = std::any_of(units.begin(), units.end(),
                                    [&](const FoundRouter& u) { return u.mac == shown.unit.unit.mac; });
      if (same) slot.lastSeenMs = sys_.NowMs();
      if (same || units.empty()) return;
      Leave(slot, "another unit answers");
    }
    if (shown.state != SlotState::Waiting) return;
    if (units.size() > 1) {
      shown.note = "more than one router answers: leave one on this slot";
      return;
    }
    if (units.size() == 1) Consider(slot, units.front());
  }

  // A unit answered on a waiting slot.
  void Consider(Slot& slot, const FoundRouter& router) {
    SlotRecord& shown = slot.shown;
    for (const Slot& other : slots_) {
      const bool busy = other.shown.state == SlotState::Starting || other.shown.state == SlotState::Running;
      if (&other != &slot && busy && other.shown.unit.unit.mac == router.mac) {
        shown.note = router.mac + " answers here and is being run on " + other.shown.name + "; not started twice";
        return;
      }
    }
    shown.unit = UnitRecord();
    shown.unit.unit = PlannedUnit{shown.link, router.mac, router.model, router.ip, shown.name, "", ""};
    shown.note.clear();
    std::string when;
    if (CompletedEarlier(router.mac, &when)) {
      shown.state = SlotState::Done;
      shown.note = "done at " + ShortTime(when);
      slot.lastSeenMs = sys_.NowMs();
      view_.Line(Prefix(shown.unit) + "completed by an earlier run (" + shown.note +
                 "): not run again. Take it out and plug in the next unit.");
      return;
    }
    shown.state = SlotState::Starting;
    view_.Line(Prefix(shown.unit) + router.model + " answered at " + router.ip + ": its run starts.");
    EndWatch(slot);
  }

  // Whether the ledger shows `mac` completed and no change of it open.
  bool CompletedEarlier(const std::string& mac, std::string* when) {
    if (setup_.ledgerPath.empty() || !platform::FileExists(setup_.ledgerPath) || !ledger_.Open(setup_.ledgerPath)) {
      return false;
    }
    std::vector<upgrade::LedgerChange> open;
    bool completed = false;
    if (!ledger_.OpenChanges(&open) || !ledger_.HasCompletedRun(mac, &completed, when)) return false;
    return completed && std::none_of(open.begin(), open.end(),
                                     [&](const upgrade::LedgerChange& c) { return c.mac == mac; });
  }

  void StartRun(Slot& slot) {
    slot.run = Child();
    slot.shown.state = SlotState::Running;
    StartUnitRun(setup_, view_, sys_, &slot.shown.unit, &slot.run);
    if (slot.shown.unit.Over()) RunEnded(slot);
  }

  void RunEnded(Slot& slot) {
    UnitRecord& unit = slot.shown.unit;
    if (!unit.dataLog.empty() && !platform::FileExists(unit.dataLog)) unit.dataLog.clear();
    TakeLedgerStates(setup_.ledgerPath, {&unit});
    session_.push_back(unit);
    slot.shown.state = stopping_ ? SlotState::Closed : SlotState::Finished;
    slot.shown.note = WhatToDo(unit);
    slot.lastSeenMs = sys_.NowMs();
    view_.Line(Prefix(unit) + EndingText(unit) + (slot.shown.note.empty() ? "" : ": " + slot.shown.note));
    view_.UnitEnded(unit);
  }

  // What a person does about a unit that did not complete; empty when nothing.
  std::string WhatToDo(const UnitRecord& unit) const {
    const int status = EffectiveStatus(unit);
    if (status == kStatusCompleted || status == kStatusUpToDate) return "";
    if (status == kStatusChanged) {
      const std::string& log = unit.restoreLog.empty() ? unit.dataLog : unit.restoreLog;
      // The program as it was started: ramtune, or Ramtune.exe (which takes the same words).
      const size_t cut = setup_.program.find_last_of("/\\");
      const std::string program = cut == std::string::npos ? setup_.program : setup_.program.substr(cut + 1);
      return "restore it: " + program + " --restore " + (log.empty() ? std::string("DATALOG") : "\"" + log + "\"") +
             " --interface " + unit.unit.link;
    }
    return unit.processLog.empty() ? "see its lines above" : "see " + unit.processLog;
  }

  // The unit has left its slot: the slot waits for the next one. A result
  // that needs a person stays in the note.
  void Leave(Slot& slot, const std::string& why) {
    SlotRecord& shown = slot.shown;
    view_.Line(Prefix(shown.unit) + "has left its slot (" + why + ").");
    const bool needsPerson = shown.state == SlotState::Finished && !WhatToDo(shown.unit).empty();
    shown.note = needsPerson ? "last: " + shown.unit.unit.mac + " " + EndingText(shown.unit) : "";
    shown.state = SlotState::Waiting;
    shown.unit = UnitRecord();
  }

  // ---- what is shown and kept ------------------------------------------------------
  void ShowSlots() {
    std::vector<SlotRecord> shown;
    for (const Slot& slot : slots_) shown.push_back(slot.shown);
    view_.Slots(shown, CountSession(session_, Running(), sys_.NowMs() - startedMs_), sys_.NowMs());
  }

  int ExitStatus() const {
    if (session_.empty() && skipped_.empty()) return kStatusCompleted;
    return BenchExitStatus(session_, skipped_);
  }

  void WriteReport(const std::string& text) {
    std::string error;
    if (!platform::ReplaceFileDurably(setup_.reportPath, text, &error)) {
      view_.Line(std::string(kHint) + "The report could not be written to " + setup_.reportPath + " (" + error +
                 "); the summary above is all there is.");
      return;
    }
    view_.Line("Report: " + setup_.reportPath);
  }

  const Setup& setup_;
  View& view_;
  BenchSystem& sys_;
  std::vector<Slot> slots_;
  std::vector<UnitRecord> session_;  // every unit run in the session
  std::vector<SkippedLink> skipped_;  // slots whose search failed at times
  upgrade::Ledger ledger_;
  StopSteps stops_;
  bool stopping_ = false;
  int64_t startedMs_ = 0;
};

}  // namespace

int RunStation(const Setup& setup, View& view, BenchSystem& system) { return Station(setup, view, system).Run(); }

}  // namespace ramtune::bench
