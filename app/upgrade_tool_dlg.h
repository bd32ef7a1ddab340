// The main dialog's logic: the process-wide objects, the two timers, Retry,
// Exit and the upgrade run. The Win32 dialog and the console front end
// forward their events here and draw what the Display seam tells them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ending.h"
#include "core/logs.h"
#include "app/script_runner.h"
#include "core/seams.h"
#include "core/settings.h"
#include "link/tool_runner.h"
#include "link/router_link.h"
#include "upgrade/upgrade_run.h"

namespace ramtune {

struct AppServices {
  Clock& clock;
  Display& display;
  Transport& transport;
  ProcessRunner& processes;
  Host& host;
};

class CUpgradeToolDlg {
 public:
  explicit CUpgradeToolDlg(const AppServices& services);
  CUpgradeToolDlg(const CUpgradeToolDlg&) = delete;
  CUpgradeToolDlg& operator=(const CUpgradeToolDlg&) = delete;

  // Event handlers.
  void OnTimer(int timerId);
  void OnRetry();
  [[noreturn]] void OnCancel();
  // Runs one upgrade (or restore) on the router the search found, and ends
  // the program when the run says so (up to date, the choice closed).
  upgrade::RunOutcome RunUpgrade();
  // `observer` is told what every run of the session does.
  void Observe(upgrade::RunObserver& observer) { observers_.push_back(&observer); }
  // A run of a bench: only the unit with these MAC digits may be worked on.
  void PlanUnit(const std::string& macDigits) { plannedMac_ = macDigits; }
  // Makes every run of this session a restore from the Data log at `path`;
  // an empty path asks for the file when the start timer fires.
  void RequestRestore(const std::string& path);
  // Makes every run of this session a backup (the unit's values to a Data
  // log, nothing written to it), or a check against the Data log at `path`
  // (an empty path asks for the file when the start timer fires).
  void RequestBackup();
  void RequestCheck(const std::string& path);
  // Retry after a run that changed its unit and did not complete: the
  // following runs restore that run's Data log, read back from the disk.
  // False when the Data log cannot be restored (the message says why).
  bool RestoreChangedUnit();
  // One search outside a search series (the router of a script, the search
  // of a bench's link), instead of the start timer's warning and series.
  // When nothing answered, what was tried and what to check go to the log.
  bool SearchOnce();
  // The engineering script runner; true when the script ran and its replies
  // were recorded.
  bool RunScript();
  // Whether the script runner may start now: not during start-up, a search
  // series, an upgrade run or another script. Each of them pumps messages,
  // so a script started inside one would interleave its commands with the
  // other's (a run is never sent a script's commands, nor a script a run's).
  bool CanRunScript() const { return !searching_ && !running_ && !scripting_; }

  // Process-wide state.
  Settings settings;
  Waits waits;
  RunLogs logs;
  link::RouterLink link;
  link::ToolRunner runner;
  ScriptRunner scripts;
  int64_t SearchStartTime = 0;
  double LastSearchSeconds = 0.0;

  // How the last run or search series ended (None before the first one).
  const Ending& LastEnding() const { return lastEnding_; }
  // How the last run ended.
  const upgrade::RunResult& LastResult() const { return lastResult_; }
  // A run changed the unit and no run has completed since: Retry restores it.
  bool UnitChangePending() const { return !changed_.dataLog.empty(); }
  // The unit is changed and not restored: a run changed it and no run has
  // completed since, or the run going on has changed it. The session's
  // exit status follows from this one value.
  bool UnitChanged() const { return UnitChangePending() || runChanged_.changed; }
  // The recovery hint for the unit as it stands now (empty while it is not
  // changed): what an interrupted run leaves to the user.
  std::vector<std::string> RecoveryHintNow() const;

  // Where the session's requests go outside a run's own: the unit the last
  // run addressed, until a new search series releases it.
  const link::Target& Unit() const { return unit_; }

  Display& display() { return s_.display; }
  Host& host() { return s_.host; }
  Clock& clock() { return s_.clock; }

 private:
  void OnStartTimer();
  // Reads and checks the Data log of a restore or a check; ends the program
  // when there is none or it is refused.
  void LoadRestoreDataLog();
  // Reads the Data log at `path` into the restore's values; empty when it
  // was read, else the message that says why it cannot be restored.
  std::string ReadRestoreValues(const std::string& path);
  void OnSearchTimer();
  void StartSearchSeries();
  // Clears the log list; while a changed unit waits for its restore, its
  // recovery hint stays in the list.
  void ClearLogList();

  AppServices s_;
  Ending lastEnding_;
  upgrade::RunMode mode_;
  std::string plannedMac_;
  std::vector<upgrade::RunObserver*> observers_;
  upgrade::RunResult lastResult_;
  link::Target unit_;
  // The unit a run changed and no run has completed since: the Data log
  // that restores it, the log of its own values, the hint last shown.
  upgrade::ChangedUnit changed_;
  bool searching_ = true;  // start-up's start timer leads into a search series
  bool running_ = false;
  bool scripting_ = false;
  upgrade::ChangedUnit runChanged_;  // the unit as the run going on has changed it
};

}  // namespace ramtune
