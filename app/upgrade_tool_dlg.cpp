#include "app/upgrade_tool_dlg.h"

#include "core/dialogs.h"
#include "core/text.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"

namespace ramtune {
namespace {
constexpr int kStartTimerMs = 100;
constexpr int kSearchTimerMs = 300;
constexpr double kSearchSeriesSeconds = 20.0;
const char* const kDataLogFilter = "Data log(*_Data_*.txt)|*_Data_*.txt|";

// `unitChanged`: this run, or an earlier one that no run has completed
// since, changed the unit.
Ending::Kind EndingOf(upgrade::RunOutcome outcome, bool unitChanged) {
  if (outcome == upgrade::RunOutcome::Completed) return Ending::Completed;
  // An unfinished run not taken up leaves a unit that may be changed.
  if (unitChanged || outcome == upgrade::RunOutcome::NotResumed) return Ending::RunFailedUnitChanged;
  if (outcome == upgrade::RunOutcome::OtherUnit) return Ending::OtherUnit;
  if (outcome == upgrade::RunOutcome::BackedUp) return Ending::BackedUp;
  if (outcome == upgrade::RunOutcome::CheckSame) return Ending::CheckSame;
  if (outcome == upgrade::RunOutcome::CheckDiffers) return Ending::CheckDiffers;
  return outcome == upgrade::RunOutcome::DataLogNotWritten ? Ending::DataLogNotWritten : Ending::RunFailed;
}
// Tells every observer of the session; `changed` is set when the run
// changes its unit.
class Observers : public upgrade::RunObserver {
 public:
  Observers(const std::vector<upgrade::RunObserver*>& all, upgrade::ChangedUnit* changed, link::Target* unit)
      : all_(all), changed_(changed), unit_(unit) {}
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
  void Phase(RunPhase phase) override {
    for (upgrade::RunObserver* o : all_) o->Phase(phase);
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
    : waits(services.clock),
      logs(waits, services.display, settings),
      link(link::LinkServices{services.transport, waits, logs, services.display, services.host,
                              services.processes}),
      runner(services.processes, waits, logs, settings),
      scripts(services.display, logs, link.commands),
      s_(services) {
  waits.MeasureQpcReadCost();
  link.discovery.CancelAction = [this] { OnCancel(); };
}

void CUpgradeToolDlg::OnTimer(int timerId) {
  if (timerId == kStartTimer) OnStartTimer();
  if (timerId == kSearchTimer) OnSearchTimer();
}

void CUpgradeToolDlg::StartSearchSeries() {
  searching_ = true;
  SearchStartTime = s_.clock.ProcessClockMs();
  s_.display.SetTimer(kSearchTimer, kSearchTimerMs);
}

void CUpgradeToolDlg::RequestRestore(const std::string& path) {
  mode_ = upgrade::RunMode::Restore(upgrade::RestoreSource{{}, path}, upgrade::RestoreOrigin::CommandLine);
}

void CUpgradeToolDlg::RequestBackup() { mode_ = upgrade::RunMode::Backup(); }

void CUpgradeToolDlg::RequestCheck(const std::string& path) {
  mode_ = upgrade::RunMode::Check(upgrade::RestoreSource{{}, path});
}

std::string CUpgradeToolDlg::ReadRestoreValues(const std::string& path) {
  upgrade::DataLogDefect defect;
  upgrade::RestoreSource source;
  if (upgrade::ReadDataLog(path, &source.values, &defect)) {
    source.path = path;
    mode_.source = source;
    return "";
  }
  const char* refusal = mode_.kind == upgrade::RunKind::Check ? "This Data log cannot be checked against: "
                                                               : "This Data log cannot be restored: ";
  return refusal + upgrade::DescribeDefect(path, defect);
}

void CUpgradeToolDlg::LoadRestoreDataLog() {
  std::string path = mode_.source.path;
  if (path.empty()) {
    std::string current;
    platform::CurrentDirectory(&current);
    path = s_.display.ChooseFile(kDataLogFilter, current);
    if (path.empty()) s_.host.Exit(0);
  }
  const std::string refused = ReadRestoreValues(path);
  if (refused.empty()) return;
  lastEnding_ = Ending{Ending::DataLogRefused, 0, refused};
  s_.display.MessageBox(refused);
  s_.host.Exit(0);
}

bool CUpgradeToolDlg::RestoreChangedUnit() {
  const upgrade::RunMode before = mode_;
  const std::string refused = ReadRestoreValues(changed_.dataLog);
  if (!refused.empty()) {
    mode_ = before;
    s_.display.MessageBox(refused);
    return false;
  }
  mode_.kind = upgrade::RunKind::Restore;
  mode_.origin = upgrade::RestoreOrigin::RetryAfterChange;
  mode_.ownValuesLog = changed_.identityLog;
  return true;
}

void CUpgradeToolDlg::ClearLogList() {
  s_.display.LogListClear();
  if (UnitChangePending()) s_.display.LogListShowAgain(changed_.hint);
}

void CUpgradeToolDlg::OnStartTimer() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  if (mode_.IsRestore() || mode_.kind == upgrade::RunKind::Check) LoadRestoreDataLog();
  WarningDialogModel warning;
  s_.display.RunWarningDialog(warning);
  if (!warning.Accepted) s_.host.Exit(0);
  waits.PumpMessages(1);
  StartSearchSeries();
}

void CUpgradeToolDlg::OnSearchTimer() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  waits.PumpMessages(1);
  ClearLogList();
  logs.AppendProcessLog("[System]-Searching for LM-7210A/LM-7210B...");
  // A run holds its router and route only while it runs; a new attempt may
  // find another (the requests still go to the last run's address).
  unit_ = unit_.Released();
  if (link.discovery.SearchRouter(unit_)) {
    searching_ = false;  // the series ends in the run
    const upgrade::RunOutcome outcome = RunUpgrade();
    lastEnding_.kind = EndingOf(outcome, UnitChangePending());
    return;
  }
  LastSearchSeconds = static_cast<double>((s_.clock.ProcessClockMs() - SearchStartTime) / 1000);
  logs.AppendProcessLog(Format("Search Time: %.1f s", LastSearchSeconds));
  if (LastSearchSeconds > kSearchSeriesSeconds) {
    // Recorded first: an Exit typed while the ending is shown reports it.
    lastEnding_.kind = Ending::NoRouter;
    s_.display.KillTimer(kSearchTimer);
    s_.display.MessageBox("No Devices found, please try again.");
    logs.AppendProcessLog("No Devices found, please try again.");
    s_.display.EnableButton(kButtonRetry, true);
    searching_ = false;
    // What was tried and what to check, after the series' own ending.
    for (const std::string& hint : link.discovery.NothingFoundHints()) logs.AppendProcessLog(hint);
    return;
  }
  s_.display.SetTimer(kSearchTimer, kSearchTimerMs);
}

void CUpgradeToolDlg::OnRetry() {
  if (scripting_) return;  // Retry is disabled then; a click sent anyway changes nothing
  // A new upgrade of a changed unit would find the new bootloader and call
  // the unit up to date: its values are written back instead.
  if (UnitChangePending() && !RestoreChangedUnit()) return;
  s_.display.EnableButton(kButtonRetry, false);
  ClearLogList();
  StartSearchSeries();
}

void CUpgradeToolDlg::OnCancel() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  s_.transport.CleanupLibrary();
  s_.host.Exit(1);
}

upgrade::RunOutcome CUpgradeToolDlg::RunUpgrade() {
  upgrade::RunMode mode = mode_;
  mode.plannedMac = plannedMac_;
  Observers observers(observers_, &runChanged_, &unit_);
  upgrade::UpgradeRun run(upgrade::RunServices{settings, waits, logs, link, runner, s_.display}, mode, observers);
  running_ = true;
  lastResult_ = run.Execute();
  running_ = false;
  runChanged_ = upgrade::ChangedUnit{};  // from here on the result says it
  if (lastResult_.outcome == upgrade::RunOutcome::Completed) {
    changed_ = upgrade::ChangedUnit{};
  } else if (lastResult_.unitChanged) {
    changed_ = upgrade::ChangedUnit{true, lastResult_.restoreLog, lastResult_.ownValuesLog, lastResult_.hint};
  }
  // The program ends as soon as the ending has been shown.
  if (lastResult_.outcome == upgrade::RunOutcome::UpToDate) s_.host.Exit(1);
  if (lastResult_.outcome == upgrade::RunOutcome::SelectionClosed) s_.host.Exit(0);
  return lastResult_.outcome;
}

std::vector<std::string> CUpgradeToolDlg::RecoveryHintNow() const {
  const upgrade::ChangedUnit& unit = runChanged_.changed ? runChanged_ : changed_;
  if (!unit.changed) return {};
  const link::Route route = link.discovery.Addressed(unit_).route;
  return upgrade::RecoveryHintLines(settings, unit, upgrade::RestoreInterfaceArg(settings, route));
}

bool CUpgradeToolDlg::SearchOnce() {
  s_.display.KillTimer(kStartTimer);
  searching_ = false;
  if (link.discovery.SearchRouter(unit_)) return true;
  for (const std::string& hint : link.discovery.NothingFoundHints()) logs.AppendProcessLog(hint);
  return false;
}

bool CUpgradeToolDlg::RunScript() {
  // Retry is disabled while the script runs: a run started inside the
  // script's waits would be sent the rest of the script.
  const bool retryEnabled = s_.display.ButtonEnabled(kButtonRetry);
  s_.display.EnableButton(kButtonRetry, false);
  scripting_ = true;
  std::string current;
  platform::CurrentDirectory(&current);
  const bool ran = scripts.Run(current, unit_);
  scripting_ = false;
  s_.display.EnableButton(kButtonRetry, retryEnabled);
  return ran;
}

}  // namespace ramtune
