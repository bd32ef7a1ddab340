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

Ending::Kind EndingOf(upgrade::RunOutcome outcome, bool unitChanged) {
  switch (outcome) {
    case upgrade::RunOutcome::Completed: return Ending::Completed;
    case upgrade::RunOutcome::DataLogNotWritten: return Ending::DataLogNotWritten;
    case upgrade::RunOutcome::Failed: break;
  }
  return unitChanged ? Ending::RunFailedUnitChanged : Ending::RunFailed;
}
}  // namespace

CUpgradeToolDlg::CUpgradeToolDlg(const AppServices& services)
    : waits(services.clock),
      logs(waits, services.display, settings),
      link(link::LinkServices{services.transport, waits, logs, services.display, services.host,
                              services.processes}),
      runner(services.processes, waits, logs, settings, link),
      scripts(services.display, logs, link),
      s_(services) {
  waits.MeasureQpcReadCost();
  link.CancelAction = [this] { OnCancel(); };
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
  restoreRequested_ = true;
  restorePath_ = path;
}

void CUpgradeToolDlg::LoadRestoreDataLog() {
  if (restorePath_.empty()) {
    std::string current;
    platform::CurrentDirectory(&current);
    restorePath_ = s_.display.ChooseFile(kDataLogFilter, current);
    if (restorePath_.empty()) s_.host.Exit(0);
  }
  upgrade::DataLogDefect defect;
  if (upgrade::ReadDataLog(restorePath_, &restoreValues_, &defect)) return;
  const std::string text = "This Data log cannot be restored: " + upgrade::DescribeDefect(restorePath_, defect);
  lastEnding_ = Ending{Ending::DataLogRefused, 0, text};
  s_.display.MessageBox(text);
  s_.host.Exit(0);
}

void CUpgradeToolDlg::OnStartTimer() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  if (restoreRequested_) LoadRestoreDataLog();
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
  s_.display.LogListClear();
  logs.AppendProcessLog("[System]-Searching for LM-7210A/LM-7210B...");
  // A run holds its router and route only while it runs; a new attempt may find another.
  link.ReleaseTarget();
  if (link.SearchRouter()) {
    searching_ = false;  // the series ends in the run
    const upgrade::RunOutcome outcome = RunUpgrade();
    lastEnding_.kind = EndingOf(outcome, runState.UnitChanged);
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
    for (const std::string& hint : link.NothingFoundHints()) logs.AppendProcessLog(hint);
    return;
  }
  s_.display.SetTimer(kSearchTimer, kSearchTimerMs);
}

void CUpgradeToolDlg::OnRetry() {
  if (scripting_) return;  // Retry is disabled then; a click sent anyway changes nothing
  s_.display.EnableButton(kButtonRetry, false);
  s_.display.LogListClear();
  StartSearchSeries();
}

void CUpgradeToolDlg::OnCancel() {
  s_.display.KillTimer(kStartTimer);
  s_.display.KillTimer(kSearchTimer);
  s_.transport.CleanupLibrary();
  s_.host.Exit(1);
}

upgrade::RunOutcome CUpgradeToolDlg::RunUpgrade() {
  upgrade::UpgradeRun run(upgrade::RunServices{settings, waits, logs, link, runner, s_.display, s_.host},
                          runState, ModelName, restoreRequested_ ? &restoreValues_ : nullptr);
  running_ = true;
  const upgrade::RunOutcome outcome = run.Execute();
  running_ = false;
  return outcome;
}

bool CUpgradeToolDlg::RunScript() {
  // Retry is disabled while the script runs: a run started inside the
  // script's waits would be sent the rest of the script.
  const bool retryEnabled = s_.display.ButtonEnabled(kButtonRetry);
  s_.display.EnableButton(kButtonRetry, false);
  scripting_ = true;
  std::string current;
  platform::CurrentDirectory(&current);
  const bool ran = scripts.Run(current);
  scripting_ = false;
  s_.display.EnableButton(kButtonRetry, retryEnabled);
  return ran;
}

}  // namespace ramtune
