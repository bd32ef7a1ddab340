// One upgrade run: from a router found on the network to its new bootloader
// with every per-unit value restored and verified.
//
// The run is strictly sequential. Every read of a router value is a bounded
// retry loop; every ending reports through the run display in the order
// picture (and progress), message box, log line, buttons.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
#include "core/settings.h"
#include "link/tool_runner.h"
#include "link/router_link.h"
#include "upgrade/calibration_items.h"
#include "upgrade/data_log.h"
#include "upgrade/ledger.h"
#include "upgrade/recovery_hint.h"
#include "upgrade/run_mark.h"
#include "upgrade/run_mode.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_result.h"
#include "upgrade/unit_reads.h"

namespace ramtune::upgrade {

// What a run keeps between its phases. Reset at the start of every run.
struct RunState {
  std::array<std::string, kCalibrationItemCount> Values;
  std::string OperatingMode;  // "7" or empty
  // The unit the run works on: every request of the run carries it. Pinned
  // to the router's entry by the choice of Identify.
  link::Target Unit;
  bool PassFlag = true;
  // The unit's bootloader version as the version gate read it, and the
  // image's once the flash check found it in the boot partition.
  std::string BootloaderBefore;
  std::string BootloaderAfter;
};

// A Data log being written: the file, why a line could not be written
// (empty while every line has reached it), and whether a restore must be
// able to read it back.
struct DataLogFile {
  std::string path;
  std::string error;
  bool restorable = true;
};

// How a phase ended the run; empty (kGoOn) while the run goes on.
using PhaseEnd = std::optional<RunOutcome>;
inline constexpr std::nullopt_t kGoOn = std::nullopt;

struct RunServices {
  const Settings& settings;
  Waits& waits;
  RunLogs& logs;
  link::RouterLink& link;
  link::ToolRunner& runner;
  Display& display;
  Ledger& ledger;
};

// The interface a pasted restore command names for a run on `route`; empty
// for the system's routing.
std::string RestoreInterfaceArg(const Settings& settings, const link::Route& route);

class UpgradeRun {
 public:
  // The run owns what it keeps between its phases and the model name the
  // backup settles; it tells `observer` what happens. While the unit is
  // changed (by this run, or before it: a restore after a change) every
  // ending other than completion shows the recovery hint.
  UpgradeRun(const RunServices& services, const RunMode& mode, RunObserver& observer);
  ~UpgradeRun();
  UpgradeRun(const UpgradeRun&) = delete;
  UpgradeRun& operator=(const UpgradeRun&) = delete;

  // Every ending has been shown when the run returns it.
  RunResult Execute();
  // What the run kept (for the tests of its phases).
  const RunState& State() const { return state_; }

  // The common report for a router that stops answering.
  void ReportInfoFailure();

 private:
  // The run from its start checks to its ending.
  RunOutcome Run();
  // Phases, in run order. Those that return bool end the run as failed when
  // they return false; a PhaseEnd says how the phase ended the run.
  bool StartChecks();
  PhaseEnd Identify();
  bool WaitReadyAndStartSsidTool();
  void BackupBanner();
  PhaseEnd ModelAndVersionGates();
  bool ModelGate();
  bool BootloaderIsOlder();
  // Whether a bootloader version as the router prints it is older than the image's.
  static bool OlderThanImage(const std::string& version);
  // A restore writes the board settings of the image's bootloader: a unit
  // whose bootloader is newer, or whose version cannot be read, is refused.
  // `flash`: the unit's bootloader is older than the image's.
  enum class BootloaderGate { Refused, FlashFirst, NoFlash };
  BootloaderGate RestoreBootloaderGate();
  // Reads every value into `file`. A restore records what the unit holds:
  // a value that cannot be read is recorded as empty and the reads go on.
  // `fromBootPartition`: each value is read where the verification reads it.
  bool BackupValues(DataLogFile& file, bool fromBootPartition = false);
  // Nothing is flashed or written unless `file` on disk holds `values` and,
  // when it is `restorable`, a restore would read them back from it. Only the
  // record of what a unit held before a restore may hold values that the
  // backup could not read.
  bool DataLogIsDurable(const DataLogFile& file, const DataLogValues& values);
  // The run's own Data log.
  DataLogFile RunDataLog() const { return DataLogFile{s_.logs.DataLogPath, s_.logs.DataLogError, true}; }
  void AppendDataLog(DataLogFile& file, const std::string& writeCommand);
  // A run of a bench works on the planned unit only.
  bool IsPlannedUnit();
  // ---- the unit ledger (ledger_rules.cpp) ----
  // Once the unit is identified, before anything is read for a backup: the
  // ledger opened, the working folder's marks taken in, the unit claimed for
  // this run, and the one decision: the unit's own open change is taken up
  // (an upgrade becomes the restore of its values), a read-only run of a
  // changed unit ends unfinished, and a unit that looks left mid-run by
  // another unit's open change goes on only when a person says so.
  PhaseEnd AskLedger();
  PhaseEnd OwnOpenChange(const LedgerChange& change);
  PhaseEnd ResumeChange(const LedgerChange& change);
  PhaseEnd RestoreOfOpenChange(const std::vector<LedgerChange>& open);
  // Asks in person whether a unit that looks left mid-run (`why`) by one
  // of `others` is a new one; without a Yes the run ends unfinished.
  PhaseEnd LeftMidRun(const std::vector<LedgerChange>& others, const std::string& why);
  // The version gate found the image's bootloader (`known`), or member mode
  // skips it: a unit that no run of this PC completed while other units are
  // open looks left mid-run.
  PhaseEnd NewBootloaderGate(bool known);
  // The backup is on the disk: its values go to the ledger (after a last
  // look at them: the image's default MAC looks left mid-run).
  PhaseEnd RecordBackup(const DataLogFile& file);
  // The run's ending in the ledger; a completed run closes the open change
  // it took up or made, and only that one.
  void FinishInLedger(RunOutcome outcome);
  // Ends the run with the ledger's own message (nothing changed on the unit).
  RunOutcome EndLedgerUnusable();
  // The open changes other than the unit's own, or the ledger's failure.
  bool OtherOpenChanges(std::vector<LedgerChange>* others);
  // The unit's MAC as twelve hex digits, and the folder of the run's logs.
  std::string UnitMac() const;
  std::string LogFolder() const { return FolderOf(s_.logs.ProcessLogPath); }
  RunResult Result(RunOutcome outcome) const;
  // The restore run from the backup banner on.
  RunOutcome ExecuteRestore();
  // The runs that only read: a backup from the backup banner on, and a
  // check of the unit against a Data log once it is ready.
  RunOutcome ExecuteBackup();
  RunOutcome ExecuteCheck();
  // Write-back, reboot and verification, with the one second pass.
  RunOutcome WriteRebootVerify();
  bool IdentityGuard(const std::string& beforeRestoreLog);
  // The router is about to be changed: the mark of the unfinished run goes to
  // the disk first. Ends the run (DataLogNotWritten) when it cannot be written.
  PhaseEnd MarkUnitChanged();
  // After a failure once the unit has been changed: where the unit's values
  // are and how to write them back.
  void RecoveryHint();
  std::string RestoreInterfaceArg() const { return upgrade::RestoreInterfaceArg(s_.settings, Addressed().route); }
  // Ends a run before anything is changed because `what` at `path` is not
  // on the disk.
  void EndNotWritten(const std::string& what, const std::string& path, const std::string& why);
  PhaseEnd TransferAndFlash();
  PhaseEnd RestoreAndCommit();
  bool RebootAndReconnect();
  enum class Verdict { Completed, SecondPass, Failed };
  Verdict Verify();

  // The run's unit as requests reach it now (its route found again).
  link::Target Addressed() const { return s_.link.discovery.Addressed(state_.Unit); }
  // Sends a command to the run's unit; Ask returns the first line of the reply.
  void Send(const std::string& command, int limitMs);
  std::string Ask(const std::string& command, int limitMs);
  UnitReader Reader() {
    return UnitReader(s_.link.commands, state_.Unit, s_.waits, [this](const std::string& line) { Log(line); });
  }
  // Runs `attempt` up to `attempts` times with `pauseMs` between failures;
  // true as soon as an attempt succeeds.
  bool Retry(int attempts, int pauseMs, RetryVariant variant, const std::function<bool()>& attempt);
  bool WaitUntilReady(int attempts, const char* logPrefix);
  void Log(const std::string& line) { s_.logs.AppendProcessLog(line); }
  void Banner(const char* title);
  void SetProgress(int position);         // position and its "SetPos(n)" line
  // The phase is told on the display; the session's observers hear it there.
  void EnterPhase(RunPhase phase, int countdownMs) { s_.display.SetPhase(phase, countdownMs); }
  // Ends the run: picture (0 leaves it), message box and log line (each
  // skipped when empty), then Retry and Exit enabled.
  void EndRun(int picture, const std::string& message, const std::string& logLine);

  RunServices s_;
  // An unfinished run taken up turns an upgrade into a restore.
  RunMode mode_;
  RunObserver& observer_;
  RunState state_;
  std::string modelName_;
  ChangedUnit changed_;
  // A check: the items in which the unit differs from the Data log.
  std::vector<std::string> differing_;
  // The ledger's view of this run: its record, the open change it took up
  // or made (the only one it closes) and the unit's claim.
  std::optional<LedgerRun> ledgerRun_;  // once the run has asked the ledger
  std::string ledgerChange_;
  intptr_t claim_ = -1;
  // A check of a unit whose change is open ends unfinished, whatever it found.
  bool checkOfOpenChange_ = false;
  // The recovery hint when the Data log of the unit's open change cannot be read.
  std::string dataLogOutOfReach_;
};

// Texts of the run that more than one phase shows.
inline const char* const kUnableToConnect = "Unable to connect to the LM-7210A/LM-7210B!!";
inline const char* const kBannerLine = "############################";
// The model-name probe of the backup, asked again by the verification.
inline const char* const kModelNameQuery = "cat /dev/mtd0 |grep odmpid";
// What the unit held before a restore is kept under this name in place of "_Data_".
inline const char* const kBeforeRestoreLogKind = "_BeforeRestore_";
// The log of what the unit held before a restore, beside the restore's Data
// log: "_Data_" replaced in the file's name, never in its folder.
std::string BeforeRestoreLogPath(const std::string& dataLogPath);

}  // namespace ramtune::upgrade
