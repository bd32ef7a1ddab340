// The main dialog's logic, which is the session: the Win32 dialog and the
// console front end forward their events here and draw what the Display
// seam tells them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ending.h"
#include "app/reporting_display.h"
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

// The session: the process-wide objects, the two timers, Retry, Exit and
// the runs. Its handlers return how the session ended, when it did; the
// front end ends the process.
class CUpgradeToolDlg {
  // First, as every part of the session below draws through it: the
  // observers of the session and the display that tells them what is shown.
  std::vector<upgrade::RunObserver*> observers_;
  ReportingDisplay shown_;

 public:
  explicit CUpgradeToolDlg(const AppServices& services);
  CUpgradeToolDlg(const CUpgradeToolDlg&) = delete;
  CUpgradeToolDlg& operator=(const CUpgradeToolDlg&) = delete;

  // ---- before the first event ----------------------------------------------------
  // `observer` is told what every run of the session does.
  void Observe(upgrade::RunObserver& observer) { observers_.push_back(&observer); }
  // A run of a bench: only the unit with these MAC digits may be worked on.
  void PlanUnit(const std::string& macDigits) { mode_.plannedMac = macDigits; }
  // What every run of the session does: an upgrade unless a front end
  // asks for another mode. A Data log path left empty (a restore's, a
  // check's) is asked for when the start timer fires. The planned unit stays.
  void Request(const upgrade::RunMode& mode) { mode_ = mode.ForUnit(mode_.plannedMac); }
  // Searches and talks on this interface only (its name or address).
  void ChooseInterface(const std::string& nameOrAddress) { link.discovery.ChooseInterface(nameOrAddress); }

  // ---- event handlers ----------------------------------------------------------------
  // A value when the event ended a search series or a run (`final`: the
  // program ends with it now).
  std::optional<Ending> OnTimer(int timerId);
  void OnRetry();
  // Exit: the timers killed and the socket library cleaned up; the ending
  // the program ends with (the last run's or search series', else Exit's).
  Ending OnCancel();
  // A second Ctrl+C while a changed unit is written back: the lines that
  // say so and what restores the unit, logged; the program ends with it.
  Ending Interrupt(const std::string& line);
  // A line of the session's own to the Process log and the list.
  void LogLine(const std::string& line) { logs.AppendProcessLog(line); }
  // The front end stops the session for `outcome` (a bench's stop).
  Ending Stop(upgrade::RunOutcome outcome);

  // Runs one upgrade (or restore) on the router the search found; a value
  // when the program ends with the run (up to date, the choice closed).
  std::optional<Ending> RunUpgrade();
  // Retry after a run that changed its unit and did not complete: the
  // following runs restore that run's Data log, read back from the disk.
  // False when the Data log cannot be restored (the message says why).
  bool RestoreChangedUnit();
  // One search outside a search series (the router of a script, the search
  // of a bench's link), instead of the start timer's warning and series.
  // When nothing answered, what was tried and what to check go to the log.
  // The routers that answered go to `found`. A value when the program ends
  // instead (the competing utility's question answered No).
  std::optional<Ending> SearchOnce(bool* answered, std::vector<link::DeviceEntry>* found = nullptr);
  // One round of a bench station's watch on the run's link: one discovery
  // request, nothing logged, the routers that answered within `waitMs`. A
  // value when the program ends instead (as SearchOnce).
  std::optional<Ending> WatchRound(int waitMs, std::vector<link::DeviceEntry>* found);
  // The engineering script runner; true when the script ran and its replies
  // were recorded.
  bool RunScript();
  // Whether the script runner may start now: not during start-up, a search
  // series, an upgrade run or another script. Each of them pumps messages,
  // so a script started inside one would interleave its commands with the
  // other's (a run is never sent a script's commands, nor a script a run's).
  bool CanRunScript() const { return activity_ == Activity::Idle; }

  // ---- what the session tells ------------------------------------------------------
  // How the last run or search series ended (none before the first one).
  const std::optional<Ending>& LastEnding() const { return lastEnding_; }
  // How the last run ended.
  const upgrade::RunResult& LastResult() const { return lastResult_; }
  // A run changed the unit and no run has completed since (also while the
  // run that changed it goes on): Retry restores it.
  bool UnitChanged() const { return changed_.changed; }
  // The recovery hint for the unit as it stands now (empty while it is not
  // changed): what an interrupted run leaves to the user.
  std::vector<std::string> RecoveryHintNow() const;
  // Where the session's requests go outside a run's own: the unit the last
  // run addressed, until a new search series releases it.
  const link::Target& Unit() const { return unit_; }

  Display& display() { return s_.display; }
  Host& host() { return s_.host; }
  Clock& clock() { return s_.clock; }

  // Process-wide state.
  Settings settings;
  Waits waits;
  RunLogs logs;
  // The unit ledger, opened by the first run that asks it.
  upgrade::Ledger ledger;
  link::RouterLink link;
  link::ToolRunner runner;
  ScriptRunner scripts;
  int64_t SearchStartTime = 0;
  double LastSearchSeconds = 0.0;

 private:
  // What the session is doing; handlers that pump messages set it, so that a
  // script or a second run cannot start inside them.
  enum class Activity { Idle, Starting, Searching, Running, Scripting };

  std::optional<Ending> OnStartTimer();
  // Reads and checks the Data log of a restore or a check; a value when
  // there is none (the file dialog cancelled) or it is refused.
  std::optional<Ending> LoadRestoreDataLog();
  // Reads the Data log at `path` into `source`; empty when it was read,
  // else the message that says why it cannot be restored (or checked).
  std::string ReadRestoreValues(const std::string& path, upgrade::RestoreSource* source) const;
  // Says so when the ledger knows the Data log at `path` with other contents.
  void SayIfChangedSinceWritten(const std::string& path);
  std::optional<Ending> OnSearchTimer();
  void StartSearchSeries();
  // Clears the log list; while a changed unit waits for its restore, its
  // recovery hint stays in the list.
  void ClearLogList();
  // The ending of `outcome` for the unit as it stands now.
  Ending EndingOf(upgrade::RunOutcome outcome, bool final, const std::string& detail = "") const;
  // The competing utility kept open: Exit's steps, then that ending.
  Ending UtilityKept();

  AppServices s_;  // the display is shown_
  Activity activity_ = Activity::Starting;  // start-up's start timer leads into a search series
  // What every run of the session does (and, on a bench, the planned unit).
  upgrade::RunMode mode_;
  std::optional<Ending> lastEnding_;
  upgrade::RunResult lastResult_;
  link::Target unit_;
  // The unit a run changed and no run has completed since (the run going on
  // included): the Data log that restores it, the log of its own values, the
  // hint last shown.
  upgrade::ChangedUnit changed_;
};

}  // namespace ramtune
