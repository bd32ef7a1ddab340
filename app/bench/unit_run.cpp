#include "app/bench/unit_run.h"

#include "app/command_line.h"
#include "upgrade/ledger.h"

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";
constexpr int kKillAfterMs = 3000;
// A start that fails is tried again: a loaded PC can fail to bring up a
// process for a moment (Wine then says "Internal error."). Nothing has been
// sent to the unit before its run has started.
constexpr int kStartAttempts = 3;
constexpr int kStartPauseMs = 1000;

}  // namespace

std::string Prefix(const UnitRecord& record) {
  return (record.unit.slot.empty() ? record.unit.link : record.unit.slot) + " " + record.unit.mac + ": ";
}

int Stops(BenchSystem& sys) { return sys.Interrupts() + (sys.TerminationRequested() ? 1 : 0); }

void StartUnitRun(const Setup& setup, View& view, BenchSystem& sys, UnitRecord* record, Child* child) {
  // The run works on the unit the search found there, or on none.
  BenchChildRequest request;
  request.link = record->unit.link;
  request.unit = record->unit.mac;
  request.acceptWarning = setup.acceptWarning;
  request.yesNo = setup.yesNo;
  request.backup = setup.mode == BenchMode::Backup;
  request.ledger = setup.ledgerPath;
  request.slot = record->unit.slot;
  request.session = setup.session;
  if (setup.mode == BenchMode::Check) record->checkedAgainst = NewestDataLog(setup.dataLogs, record->unit.mac);
  // A slot's own request goes before the bench's mode.
  if (!record->unit.checkLog.empty()) record->checkedAgainst = record->unit.checkLog;
  request.restore = record->unit.restoreLog;
  request.backup = request.backup && request.restore.empty() && record->unit.checkLog.empty();
  if (request.restore.empty() && (setup.mode == BenchMode::Check || !record->unit.checkLog.empty())) {
    request.verify = true;
    request.verifyFile = record->checkedAgainst;
  }
  const auto args = [request](const std::string& channel) { return BenchChildArguments(request, channel); };
  record->startMs = sys.NowMs();
  record->startTime = IsoTime(sys.TimeStamp());
  std::string error;
  for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
    if (attempt > 1) sys.WaitForPipes({}, kStartPauseMs);
    if (sys.Start(setup.program, args, &child->process, &error)) {
      record->life = UnitLife::Running;
      return;
    }
  }
  view.Line(Prefix(*record) + "the run could not be started: " + error);
  child->reaped = true;
  EndRecord(sys, record, UnitLife::StartFailed);
}

bool FollowUnitRun(View& view, BenchSystem& sys, UnitRecord* record, Child* child) {
  if (record->Over()) return true;
  if (record->life == UnitLife::Planned) {  // a stop came before the runs were started
    EndRecord(sys, record, UnitLife::Withheld);
    return true;
  }
  std::vector<std::string> lines;
  std::vector<Event> events;
  Drain(sys, child, &lines, &events);
  for (const std::string& line : lines) view.UnitMessage(*record, line);
  const int64_t now = sys.NowMs();
  for (const Event& event : events) {
    ApplyEvent(event, record, now);
    if (event.kind == EventKind::Deferred) {
      view.Line(Prefix(*record) + "this unit has been changed (flashed): its run is left to finish its "
                                  "write-back and verification. Ctrl+C again ends it; the unit would then "
                                  "need a restore from its Data log.");
    }
  }
  if (!child->Done()) return false;
  // The run's status came with its ended event; the process's own end
  // only tells a crash.
  record->signal = child->signal;
  EndRecord(sys, record, record->life == UnitLife::StopAsked ? UnitLife::Stopped : UnitLife::Ended);
  return true;
}

void EndRecord(BenchSystem& sys, UnitRecord* record, UnitLife how) {
  record->life = how;
  record->endMs = sys.NowMs();
  record->endTime = IsoTime(sys.TimeStamp());
}

void TakeLedgerStates(const std::string& ledgerPath, std::vector<UnitRecord*> records) {
  std::vector<upgrade::LedgerUnit> units;
  upgrade::Ledger ledger;
  if (ledgerPath.empty() || !platform::FileExists(ledgerPath) || !ledger.Open(ledgerPath) || !ledger.History(&units)) {
    return;
  }
  for (UnitRecord* record : records) {
    for (const upgrade::LedgerUnit& unit : units) {
      if (unit.mac == record->unit.mac) record->ledgerState = unit.state;
    }
  }
}

void StopSteps::Take(View& view, BenchSystem& sys, const std::function<void(platform::ChildSignal)>& signal) {
  const int stops = Stops(sys);
  switch (stage_) {
    case Stage::None:
      if (stops == 0) return;
      view.Line(std::string(kHint) +
                "Ctrl+C: the units not changed yet are ended now; a unit that has been changed is "
                "left to finish its verification (Ctrl+C again ends it too).");
      signal(platform::ChildSignal::AskToStop);
      stage_ = Stage::Asked;
      [[fallthrough]];
    case Stage::Asked:
      if (stops < 2) return;
      view.Line(std::string(kHint) +
                "Ctrl+C again: every run still going is ended now. A unit ended after its flash keeps the new "
                "bootloader without verified values: restore it from its Data log (ramtune --restore "
                "DATALOG --interface LINK).");
      signal(platform::ChildSignal::End);
      killAt_ = sys.NowMs() + kKillAfterMs;
      stage_ = Stage::Ending;
      return;
    case Stage::Ending:
      if (sys.NowMs() < killAt_) return;
      signal(platform::ChildSignal::Kill);
      stage_ = Stage::Killed;
      return;
    case Stage::Killed: return;
  }
}

}  // namespace ramtune::bench
