#include "app/upgrade_tool_dlg.h"

#include "core/dialogs.h"
#include "core/sha256.h"
#include "core/text.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"

namespace ramtune {
namespace {
constexpr int kStartTimerMs = 100;
constexpr int kSearchTimerMs = 300;
constexpr double kSearchSeriesSeconds = 20.0;
const char* const kDataLogFilter = "Data log(*_Data_*.txt)|*_Data_*.txt|";

using upgrade::RunOutcome;

// Tells every observer of the session; `changed` follows the unit the run
// changes, `unit` the unit it addresses.
class Observers : public upgrade::RunObserver {
 public:
  Observers(const std::vector<upgrade::RunObserver*>& all, upgrade::ChangedUnit* changed, link::Target* unit)
      : all_(all), changed_(changed), unit_(unit) {}
  void Started() override {
    for (upgrade::RunObserver* o : all_) o->Started();
  }
  void UnitAddressed(const link::Target& unit) override {
    *unit_ = unit;
    for (upgrade::RunObserver* o : all_) o->UnitAddressed(unit);
  }
  void LogsNamed(const std::string& processLog, const std::string& dataLog) override {
    for (upgrade::RunObserver* o : all_) o->LogsNamed(processLog, dataLog);
  }
  void UnitChanged(const upgrade::ChangedUnit& unit) override {
    *changed_ = unit;
    for (upgrade::RunObserver* o : all_) o->UnitChanged(unit);
  }
  void Ended(const upgrade::RunResult& result) override {
    for (upgrade::RunObserver* o : all_) o->Ended(result);
  }

 private:
  const std::vector<upgrade::RunObserver*>& all_;
  upgrade::ChangedUnit* changed_;
  link::Target* unit_;
};
}  // namespace

CUpgradeToolDlg::CUpgradeToolDlg(const AppServices& services)
    : shown_(services.display, observers_),
      waits(services.clock),
      logs(waits, shown_, settings),
      link(link::LinkServices{services.transport, waits, logs, shown_, services.host, services.processes}),
      runner(services.processes, waits, logs, settings),
      scripts(shown_, logs, link.commands),
      s_(AppServices{services.clock, shown_, services.transport, services.processes, services.host}) {
  waits.MeasureQpcReadCost();
}

Ending CUpgradeToolDlg::EndingOf(RunOutcome outcome, bool final, const std::string& detail) const {
  return Ending{outcome, UnitChanged(), final, detail};
}

std::optional<Ending> CUpgradeToolDlg::OnTimer(int timerId) {
  if (timerId == kStartTimer) return OnStartTimer();
  if (timerId == kSearchTimer) return OnSearchTimer();
  return std::nullopt;
}

void CUpgradeToolDlg::StartSearchSeries() {
  activity_ = Activity::Searching;
  SearchStartTime = s_.clock.ProcessClockMs();
  s_.display.SetTimer(kSearchTimer, kSearchTimerMs);
}

std::string CUpgradeToolDlg::ReadRestoreValues(const std::string& path, upgrade::RestoreSource* source) const {
  upgrade::DataLogDefect defect;
  if (upgrade::ReadDataLog(path, &source->values, &defect)) {
    source->path = path;
    return "";
  }
  const char* refusal = mode_.kind == upgrade::RunKind::Check ? "This Data log cannot be checked against: "
                                                               : "This Data log cannot be restored: ";
  return refusal + upgrade::DescribeDefect(path, defect);
}

std::optional<Ending> CUpgradeToolDlg::LoadRestoreDataLog() {
  std::string path = mode_.source.path;
  if (path.empty()) {
    std::string current;
    platform::CurrentDirectory(&current);
    path = s_.display.ChooseFile(kDataLogFilter, current);
    if (path.empty()) return EndingOf(RunOutcome::FileNotChosen, true);
  }
  const std::string refused = ReadRestoreValues(path, &mode_.source);
  if (refused.empty()) {
    SayIfChangedSinceWritten(path);
    return std::nullopt;
  }
  lastEnding_ = EndingOf(RunOutcome::DataLogRefused, true, refused);
  s_.display.MessageBox(refused);
  return lastEnding_;
}

void CUpgradeToolDlg::SayIfChangedSinceWritten(const std::string& path) {
  std::string known, when, bytes;
  // A ledger that cannot be read stops the run itself, before anything is written.
  if (settings.LedgerPath.empty() || !ledger.Open(settings.LedgerPath) || !ledger.KnownSha256(path, &known, &when) ||
      known.empty() || !platform::ReadFilePrefix(path, upgrade::kDataLogMaxBytes + 1, &bytes) ||
      Sha256Hex(bytes) == known) {
    return;
  }
  s_.display.MessageBox("The unit ledger knows the Data log " + path + " from a run started " + when +
                        ", with other contents: the file has been changed since it was written. Its values are "
                        "used as they are now.");
}

bool CUpgradeToolDlg::RestoreChangedUnit() {
  upgrade::RestoreSource source;
  const std::string refused = ReadRestoreValues(changed_.dataLog, &source);
  if (!refused.empty()) {
    s_.display.MessageBox(refused);
    return false;
  }
  upgrade::RunMode restore = upgrade::RunMode::Restore(source, upgrade::RestoreOrigin::RetryAfterChange);
  restore.ownValuesLog = changed_.identityLog;
  mode_ = restore.ForUnit(mode_.plannedMac);
  return true;
}

void CUpgradeToolDlg::ClearLogList() {
  s_.display.LogListClear();
  if (UnitChanged()) s_.display.LogListShowAgain(changed_.hint);
}

std::optional<Ending> CUpgradeToolDlg::OnStartTimer() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  if (mode_.IsRestore() || mode_.kind == upgrade::RunKind::Check) {
    if (std::optional<Ending> refused = LoadRestoreDataLog()) return refused;
  }
  WarningDialogModel warning;
  s_.display.RunWarningDialog(warning);
  if (!warning.Accepted) return EndingOf(RunOutcome::WarningRefused, true);
  waits.PumpMessages(1);
  StartSearchSeries();
  return std::nullopt;
}

std::optional<Ending> CUpgradeToolDlg::OnSearchTimer() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  waits.PumpMessages(1);
  ClearLogList();
  logs.AppendProcessLog("[System]-Searching for LM-7210A/LM-7210B...");
  // A run holds its router and route only while it runs; a new attempt may
  // find another (the requests still go to the last run's address).
  unit_ = unit_.Released();
  if (link.discovery.SearchRouter(unit_)) return RunUpgrade();  // the series ends in the run
  if (link.discovery.UtilityKept()) return UtilityKept();
  LastSearchSeconds = static_cast<double>((s_.clock.ProcessClockMs() - SearchStartTime) / 1000);
  logs.AppendProcessLog(Format("Search Time: %.1f s", LastSearchSeconds));
  if (LastSearchSeconds > kSearchSeriesSeconds) {
    // Recorded first: an Exit typed while the ending is shown reports it.
    lastEnding_ = EndingOf(RunOutcome::NoRouter, false);
    s_.display.KillTimer(kSearchTimer);
    s_.display.MessageBox("No Devices found, please try again.");
    logs.AppendProcessLog("No Devices found, please try again.");
    s_.display.EnableButton(kButtonRetry, true);
    activity_ = Activity::Idle;
    // What was tried and what to check, after the series' own ending.
    for (const std::string& hint : link.discovery.NothingFoundHints()) logs.AppendProcessLog(hint);
    return lastEnding_;
  }
  s_.display.SetTimer(kSearchTimer, kSearchTimerMs);
  return std::nullopt;
}

void CUpgradeToolDlg::OnRetry() {
  if (activity_ == Activity::Scripting) return;  // Retry is disabled then; a click sent anyway changes nothing
  // A new upgrade of a changed unit would find the new bootloader and call
  // the unit up to date: its values are written back instead.
  if (UnitChanged() && !RestoreChangedUnit()) return;
  s_.display.EnableButton(kButtonRetry, false);
  ClearLogList();
  StartSearchSeries();
}

Ending CUpgradeToolDlg::OnCancel() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  s_.transport.CleanupLibrary();
  if (lastEnding_) return Ending{lastEnding_->outcome, UnitChanged(), true, lastEnding_->detail};
  return EndingOf(RunOutcome::ExitPressed, true);
}

Ending CUpgradeToolDlg::UtilityKept() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  s_.transport.CleanupLibrary();
  return EndingOf(RunOutcome::UtilityKept, true);
}

Ending CUpgradeToolDlg::Interrupt(const std::string& line) {
  logs.AppendProcessLog(line);
  for (const std::string& hint : RecoveryHintNow()) logs.AppendProcessLog(hint);
  return EndingOf(RunOutcome::Interrupted, true);
}

Ending CUpgradeToolDlg::Stop(RunOutcome outcome) { return EndingOf(outcome, true); }

std::optional<Ending> CUpgradeToolDlg::RunUpgrade() {
  Observers observers(observers_, &changed_, &unit_);
  upgrade::UpgradeRun run(upgrade::RunServices{settings, waits, logs, link, runner, s_.display, ledger}, mode_,
                          observers);
  activity_ = Activity::Running;
  lastResult_ = run.Execute();
  activity_ = Activity::Idle;
  if (lastResult_.outcome == RunOutcome::Completed) {
    changed_ = upgrade::ChangedUnit{};
  } else if (lastResult_.unitChanged) {
    changed_ = upgrade::ChangedUnit{true, lastResult_.restoreLog, lastResult_.ownValuesLog, lastResult_.hint};
  }
  const RunOutcome outcome = lastResult_.outcome;
  // The program ends as soon as these endings have been shown.
  const bool final = outcome == RunOutcome::UpToDate || outcome == RunOutcome::SelectionClosed;
  // While the unit is changed every other ending but a completion says so
  // (an unfinished run not taken up has words of its own).
  const bool saysChanged =
      UnitChanged() && !final && outcome != RunOutcome::Completed && outcome != RunOutcome::NotResumed &&
                          outcome != RunOutcome::Unfinished;
  lastEnding_ = EndingOf(saysChanged ? RunOutcome::UnitChanged : outcome, final);
  return lastEnding_;
}

std::vector<std::string> CUpgradeToolDlg::RecoveryHintNow() const {
  if (!changed_.changed) return {};
  const link::Route route = link.discovery.Addressed(unit_).route;
  return upgrade::RecoveryHintLines(settings, changed_, upgrade::RestoreInterfaceArg(settings, route));
}

std::optional<Ending> CUpgradeToolDlg::SearchOnce(bool* answered, std::vector<link::DeviceEntry>* found) {
  s_.display.KillTimer(kStartTimer);
  activity_ = Activity::Searching;
  *answered = link.discovery.SearchRouter(unit_);
  activity_ = Activity::Idle;
  if (found != nullptr) *found = link.discovery.DeviceTable();
  if (*answered) return std::nullopt;
  if (link.discovery.UtilityKept()) return UtilityKept();
  for (const std::string& hint : link.discovery.NothingFoundHints()) logs.AppendProcessLog(hint);
  return std::nullopt;
}

std::optional<Ending> CUpgradeToolDlg::WatchRound(int waitMs, std::vector<link::DeviceEntry>* found) {
  s_.display.KillTimer(kStartTimer);
  activity_ = Activity::Searching;
  const bool listened = link.discovery.Listen(unit_, waitMs, found);
  activity_ = Activity::Idle;
  if (listened) return std::nullopt;
  if (link.discovery.UtilityKept()) return UtilityKept();
  return Stop(upgrade::RunOutcome::Failed);
}

bool CUpgradeToolDlg::RunScript() {
  // Retry is disabled while the script runs: a run started inside the
  // script's waits would be sent the rest of the script.
  const bool retryEnabled = s_.display.ButtonEnabled(kButtonRetry);
  s_.display.EnableButton(kButtonRetry, false);
  activity_ = Activity::Scripting;
  std::string current;
  platform::CurrentDirectory(&current);
  const bool ran = scripts.Run(current, unit_);
  activity_ = Activity::Idle;
  s_.display.EnableButton(kButtonRetry, retryEnabled);
  return ran;
}

}  // namespace ramtune
