// One upgrade run: from a router found on the network to its new bootloader
// with every per-unit value restored and verified.
//
// The run is strictly sequential. Every read of a router value is a bounded
// retry loop; every ending reports through the run display in the order
// picture (and progress), message box, log line, buttons.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/logs.h"
#include "core/seams.h"
#include "core/settings.h"
#include "link/tool_runner.h"
#include "link/router_link.h"
#include "upgrade/calibration_items.h"
#include "upgrade/data_log.h"
#include "upgrade/recovery_hint.h"
#include "upgrade/unit_reads.h"

namespace ramtune::upgrade {

// What a run keeps between its phases. Reset at the start of every run.
struct RunState {
  std::array<std::string, kCalibrationItemCount> Values;
  std::string OperatingMode;  // "7" or empty
  std::string ChosenAddress;
  bool PassFlag = true;
  // The router has been changed: the flash command or a restore's first
  // write has been sent. From then on the Data log is the unit's only copy.
  bool UnitChanged = false;
  // The unit's bootloader version as the version gate read it, and the
  // image's once the flash check found it in the boot partition.
  std::string BootloaderBefore;
  std::string BootloaderAfter;
};

// What a restore run writes: the values of a Data log and where they were read.
struct RestoreSource {
  DataLogValues values;
  std::string path;
};

struct RunServices {
  const Settings& settings;
  Waits& waits;
  RunLogs& logs;
  link::RouterLink& link;
  link::ConsoleRunner& runner;
  Display& display;
  Host& host;
};

// How a run ended. Every ending has been shown when the run returns it.
enum class RunOutcome {
  Completed,          // the new bootloader is in and every value verified
  Failed,             // any other ending
  DataLogNotWritten,  // stopped before the flash: the Data log is not on the disk
};

class UpgradeRun {
 public:
  // `modelName` is the process-wide model name settled by the backup.
  // `changed` is the session's changed unit: the run sets it when it
  // changes the router, clears it when it completes, and while it is set
  // every ending other than completion shows the recovery hint.
  // With `restoreFrom`, the run is a restore: it writes those values (read
  // from a Data log) back to the unit instead of the ones it backs up.
  UpgradeRun(const RunServices& services, RunState& state, std::string& modelName, ChangedUnit& changed,
             const RestoreSource* restoreFrom = nullptr)
      : s_(services), state_(state), modelName_(modelName), changed_(changed), restore_(restoreFrom) {}

  RunOutcome Execute();

  // The common report for a router that stops answering.
  void ReportInfoFailure();

 private:
  // The run from its start checks to its ending.
  RunOutcome Run();
  // Phases, in run order. Each returns false when it has ended the run.
  bool StartChecks();
  bool Identify();
  bool WaitReadyAndStartSsidTool();
  void BackupBanner();
  bool ModelAndVersionGates();
  bool ModelGate();
  bool BootloaderIsOlder();
  // A restore writes the board settings of the image's bootloader: a unit
  // whose bootloader is newer, or whose version cannot be read, is refused.
  // `flash`: the unit's bootloader is older than the image's.
  bool RestoreBootloaderGate(bool* flash);
  // Reads every value. `lenient`: a value that cannot be read is recorded
  // as empty and the reads go on (a restore records what the unit holds).
  // `fromBootPartition`: each value is read where the verification reads it.
  bool BackupValues(bool lenient = false, bool fromBootPartition = false);
  // Nothing is flashed or written unless the Data log on disk holds `values`
  // and, when `restorable`, a restore would read them back from it. Only the
  // record of what a unit held before a restore may hold values that the
  // backup could not read, and so need not be restorable.
  bool DataLogIsDurable(const DataLogValues& values, bool restorable = true);
  // The restore run from the backup banner on.
  RunOutcome ExecuteRestore();
  // Write-back, reboot and verification, with the one second pass.
  RunOutcome WriteRebootVerify();
  bool IdentityGuard(const std::string& beforeRestoreLog);
  // The router is about to be changed.
  void MarkUnitChanged();
  // After a failure once the unit has been changed: where the unit's values
  // are and how to write them back.
  void RecoveryHint();
  bool TransferAndFlash();
  bool RestoreAndCommit();
  bool RebootAndReconnect();
  enum class Verdict { Completed, SecondPass, Failed };
  Verdict Verify();

  // Sends a command and returns the first line of the reply.
  std::string Ask(const std::string& command, int limitMs);
  UnitReader Reader() {
    return UnitReader(s_.link, s_.waits, [this](const std::string& line) { Log(line); });
  }
  // Runs `attempt` up to `attempts` times with `pauseMs` between failures;
  // true as soon as an attempt succeeds.
  bool Retry(int attempts, int pauseMs, RetryVariant variant, const std::function<bool()>& attempt);
  bool WaitUntilReady(int attempts, const char* logPrefix);
  void Log(const std::string& line) { s_.logs.AppendProcessLog(line); }
  void Banner(const char* title);
  void SetProgress(int position);         // position and its "SetPos(n)" line
  // Ends the run: picture (0 leaves it), message box and log line (each
  // skipped when empty), then Retry and Exit enabled.
  void EndRun(int picture, const std::string& message, const std::string& logLine);

  RunServices s_;
  RunState& state_;
  std::string& modelName_;
  ChangedUnit& changed_;
  const RestoreSource* restore_;
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
