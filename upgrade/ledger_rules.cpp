// What a run asks the unit ledger, and what it tells it. The rules that keep a
// unit's values safe across runs, processes and folders live here and only
// here: a unit changed and not finished is written back from its own values,
// never backed up again; a unit that looks left mid-run is never taken for a
// new one without a person; a run closes only the change it took up or made.
// A run on a unit with nothing open adds no line and no pause.
#include "core/sha256.h"
#include "core/text.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"
#include "upgrade/run_mark.h"
#include "upgrade/unit_check.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

// "20261208093000" as "2026-12-08 09:30:00"; other text as it is.
std::string ShownTime(const std::string& stamp) {
  if (stamp.size() != 14 || stamp.find_first_not_of("0123456789") != std::string::npos) return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
         stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

// The SHA-256 of a file as a Data log is read; empty when it cannot be read.
std::string FileSha256(const std::string& path) {
  std::string bytes;
  return platform::ReadFilePrefix(path, kDataLogMaxBytes + 1, &bytes) ? Sha256Hex(bytes) : std::string();
}

// The MAC a unit answers under once the image's bootloader has started
// with its own defaults: the 2.4 GHz MAC of the image's boot configuration
// (its "et0macaddr=" line). Empty when the image holds none.
std::string ImageDefaultMac(const Settings& settings) {
  const std::string path = settings.ToolFolderPath + platform::kPathSeparator + kBootImageFile;
  std::string image;
  if (!platform::ReadFilePrefix(path, 16 * 1024 * 1024, &image)) return "";
  const std::string key = "\net0macaddr=";
  const size_t at = image.find(key);
  if (at == std::string::npos) return "";
  const size_t end = image.find_first_of("\r\n", at + key.size());
  return NormalMac(image.substr(at + key.size(), end == std::string::npos ? end : end - at - key.size()));
}

const char* ModeWords(RunKind kind) {
  switch (kind) {
    case RunKind::Restore: return "restore";
    case RunKind::Backup: return "backup";
    case RunKind::Check: return "check";
    default: return "upgrade";
  }
}

}  // namespace

std::string UpgradeRun::UnitMac() const { return NormalMac(state_.Unit.macText); }

RunOutcome UpgradeRun::EndLedgerUnusable() {
  EndRun(kPicturePause, s_.ledger.Error(), "[System]-" + s_.ledger.Error());
  return RunOutcome::LedgerUnusable;
}

PhaseEnd UpgradeRun::AskLedger() {
  if (s_.settings.LedgerPath.empty() || !s_.ledger.Open(s_.settings.LedgerPath)) {
    if (s_.settings.LedgerPath.empty()) {
      EndRun(kPicturePause, "", "[System]-This PC has no folder for the unit ledger; name one with --ledger. "
                                "Nothing has been changed on the router.");
      return RunOutcome::LedgerUnusable;
    }
    return EndLedgerUnusable();
  }
  // Marks that earlier versions left in this folder become open changes.
  std::vector<std::string> taken;
  for (const RunMark& mark : OpenMarks(LogFolder())) {
    bool isNew = false;
    if (mark.mac.empty()) continue;
    if (!s_.ledger.TakeInMark(mark.path, mark.mac, mark.dataLog, mark.time, &isNew)) return EndLedgerUnusable();
    if (isNew) taken.push_back(mark.path);
  }
  if (!taken.empty()) {
    std::string names;
    for (const std::string& path : taken) names += (names.empty() ? "" : ", ") + path;
    Log("[System]-Taken into the unit ledger " + s_.ledger.Path() + " as unfinished runs (the files stay as they "
        "are): " + names);
  }
  // One run at a time on a unit, whatever process or bench it belongs to.
  const std::string mac = UnitMac();
  bool busy = false;
  std::string why;
  claim_ = platform::TryLockFile(s_.ledger.Path() + ".unit-" + mac + ".lock", &busy, &why);
  if (claim_ == -1) {
    const std::string text = busy ? "Another run of this PC is working on the unit " + mac +
                                        ". Nothing has been done to it; start this one again once that run has ended."
                                  : "The unit ledger's lock for the unit " + mac + " cannot be taken (" + why +
                                        "). Nothing has been changed on the router.";
    EndRun(kPicturePause, text, "[System]-" + text);
    return busy ? RunOutcome::UnitBusy : RunOutcome::LedgerUnusable;
  }
  LedgerRun run;
  run.unit = mac;
  run.model = state_.Unit.model;
  run.started = s_.waits.clock().LocalTimeStamp();
  run.mode = ModeWords(mode_.kind);
  run.link = Addressed().route.name;
  run.processLog = s_.logs.ProcessLogPath;
  run.slot = s_.settings.BenchSlot;
  run.session = s_.settings.BenchSession;
  ledgerRun_ = run;

  std::vector<LedgerChange> open;
  if (!s_.ledger.OpenChanges(&open)) return EndLedgerUnusable();
  std::vector<LedgerChange> others;
  for (const LedgerChange& change : open) {
    if (change.mac == mac) return OwnOpenChange(change);
    others.push_back(change);
  }
  if (mode_.IsRestore()) return RestoreOfOpenChange(others);
  if (mode_.kind == RunKind::Check || others.empty()) return kGoOn;
  const std::string defaultMac = ImageDefaultMac(s_.settings);
  if (!defaultMac.empty() && mac == defaultMac) {
    return LeftMidRun(others, "answers under the image's default MAC " + mac);
  }
  return kGoOn;
}

PhaseEnd UpgradeRun::OwnOpenChange(const LedgerChange& change) {
  const std::string when = ShownTime(change.since);
  const std::string restore =
      "To write its values back, run: " + RestoreCommandLine(s_.settings, change.dataLog, RestoreInterfaceArg());
  switch (mode_.kind) {
    case RunKind::Upgrade:
      return ResumeChange(change);
    case RunKind::Check:
      Log("[System]-Check: the last run on this unit did not finish (" + when + "): the Data log " + change.dataLog +
          " holds the unit's own values.");
      checkOfOpenChange_ = true;
      return kGoOn;
    case RunKind::Backup: {
      const std::string refused = "[System]-Backup refused: the last run on this unit did not finish (" + when +
                                  "); the Data log " + change.dataLog + " holds its own values. " + restore +
                                  ". Nothing has been changed on the router.";
      EndRun(kPicturePause, refused, refused);
      return RunOutcome::Unfinished;
    }
    case RunKind::Restore:
      break;
  }
  // A restore of the change's own Data log (by its name, or the same file
  // under another name) takes the change up.
  if (mode_.source.path == change.dataLog || (!change.sha256.empty() && FileSha256(mode_.source.path) == change.sha256)) {
    ledgerChange_ = change.mac;
    return kGoOn;
  }
  const std::string question = "The last run on this unit did not finish (" + when + "); its own values are kept in " +
                               change.dataLog + ".\nWrite the values of " + mode_.source.path +
                               " into it instead?";
  if (s_.display.AskYesNoInPerson(question)) {
    Log("[System]-Restore: the values of " + mode_.source.path + " are written in place of those of " +
        change.dataLog + ", as asked.");
    ledgerChange_ = change.mac;
    return kGoOn;
  }
  EndRun(kPicturePause, "", "[System]-Restore stopped: nothing has been written to the router. " + restore);
  return RunOutcome::Unfinished;
}

PhaseEnd UpgradeRun::ResumeChange(const LedgerChange& change) {
  const std::string when = ShownTime(change.since);
  DataLogValues values;
  DataLogDefect defect;
  const bool readable = ReadDataLog(change.dataLog, &values, &defect);
  const bool same = readable && (change.sha256.empty() || FileSha256(change.dataLog) == change.sha256);
  // From here on the unit counts as changed: every ending names its restore.
  changed_.changed = true;
  changed_.dataLog = change.dataLog;
  if (readable && !same && change.hasValues) {
    Log("[System]-The Data log " + change.dataLog + " is not the file the run wrote (its SHA-256 differs): the values "
        "are taken from the unit ledger's copy.");
    values = change.values.values;
  } else if (!readable && change.hasValues && change.dataLogMissed) {
    Log("[System]-The Data log " + change.dataLog + " still cannot be read (" + DescribeDefect(change.dataLog, defect) +
        "): the values are taken from the unit ledger's copy.");
    values = change.values.values;
  } else if (!readable) {
    // Once, the run stops: a Data log out of reach for a moment (a share,
    // a removable disk) comes back. The next start uses the ledger's copy.
    if (change.hasValues && !s_.ledger.NoteDataLogMissed(change.mac)) return EndLedgerUnusable();
    dataLogOutOfReach_ =
        change.hasValues
            ? "[System]-This unit's values are kept in the unit ledger " + s_.ledger.Path() + " (its Data log " +
                  change.dataLog + " cannot be read). Start the upgrade of this unit again: it writes them back."
            : "[System]-This unit's values are kept only in the Data log " + change.dataLog +
                  ", which cannot be read now. Bring it back, then start the upgrade of this unit again.";
    const std::string text =
        "The last run on this unit did not finish (" + when + "), and its Data log cannot be read (" +
        DescribeDefect(change.dataLog, defect) + "). Nothing has been written to the router. If the Data log is on a "
        "share or a removable disk, bring it back and start again." +
        (change.hasValues ? " Started again without it, the program writes back the copy of its values that the "
                            "unit ledger keeps."
                          : " No other copy of this unit's values is known.");
    EndRun(kPicturePause, text, "[System]-" + text);
    return RunOutcome::Unfinished;
  }
  Log("[System]-The last run on this unit did not finish: it changed the unit at " + when +
      ", and the unit's values are kept in the Data log " + change.dataLog +
      ". No new backup is made: the unit may now hold the image's defaults.");
  const std::string question = "The last run on this unit did not finish (" + when + ").\nIts values are kept in " +
                               change.dataLog + ".\nWrite those values back to the unit now?";
  if (!s_.display.AskYesNo(question)) {
    EndRun(kPicturePause, "",
           "[System]-The unfinished run was not taken up: nothing has been read from or written to the router. "
           "The unit ledger keeps it open until a run of this unit completes.");
    return RunOutcome::NotResumed;
  }
  Log("[System]-Writing the values of " + change.dataLog + " back to this unit.");
  const RunMode before = mode_;
  mode_ = RunMode::Restore(RestoreSource{values, change.dataLog}, RestoreOrigin::Resumed);
  mode_.plannedMac = before.plannedMac;
  mode_.intoMac = before.intoMac;
  ledgerChange_ = change.mac;
  observer_.UnitChanged(changed_);
  return kGoOn;
}

PhaseEnd UpgradeRun::RestoreOfOpenChange(const std::vector<LedgerChange>& open) {
  const std::string sha = FileSha256(mode_.source.path);
  for (const LedgerChange& change : open) {
    if (change.dataLog != mode_.source.path && (change.sha256.empty() || change.sha256 != sha)) continue;
    // Another unit's change: this unit answers under another MAC than the
    // one the run changed (the image's default, after a power cycle). The
    // restore asks whether it is that unit; once it completes, the change
    // it took up is closed.
    ledgerChange_ = change.mac;
    return kGoOn;
  }
  return kGoOn;
}

PhaseEnd UpgradeRun::LeftMidRun(const std::vector<LedgerChange>& others, const std::string& why) {
  for (const LedgerChange& change : others) {
    Log("[System]-The unit " + change.mac + " was changed by a run that did not finish (" + ShownTime(change.since) +
        "): its values are kept in " + change.dataLog + ". To write them back, run: " +
        RestoreCommandLine(s_.settings, change.dataLog, RestoreInterfaceArg()));
  }
  const std::string question = "This unit (" + state_.Unit.macText + ") " + why +
                               ": it may be one of the units listed above, left by a run that did not finish.\n"
                               "Go on with it as a new unit?";
  if (s_.display.AskYesNoInPerson(question)) {
    Log("[System]-This unit is taken for a new one, as asked.");
    return kGoOn;
  }
  EndRun(kPicturePause, "",
         "[System]-Stopped: nothing has been written to the router. If it is one of the units listed above, restore "
         "it with the command that names its Data log.");
  return RunOutcome::Unfinished;
}

bool UpgradeRun::OtherOpenChanges(std::vector<LedgerChange>* others) {
  std::vector<LedgerChange> open;
  if (!s_.ledger.OpenChanges(&open)) return false;
  others->clear();
  for (const LedgerChange& change : open) {
    if (change.mac != UnitMac() && change.mac != ledgerChange_) others->push_back(change);
  }
  return true;
}

PhaseEnd UpgradeRun::NewBootloaderGate(bool known) {
  std::vector<LedgerChange> others;
  if (!OtherOpenChanges(&others)) return EndLedgerUnusable();
  if (others.empty()) return kGoOn;
  bool completed = false;
  if (!s_.ledger.HasCompletedRun(UnitMac(), &completed)) return EndLedgerUnusable();
  if (completed) return kGoOn;
  std::string version = state_.BootloaderBefore;
  if (!known) {
    // Member mode skips the version gate; with units open, their bootloader is looked at.
    version = Ask("nvram get bl_version", 1000);
    state_.BootloaderBefore = version;
    if (OlderThanImage(version)) return kGoOn;
  }
  return LeftMidRun(others, "has the image's bootloader " + version + ", and no run of this PC completed it");
}

PhaseEnd UpgradeRun::RecordBackup(const DataLogFile& file) {
  std::vector<LedgerChange> others;
  if (!OtherOpenChanges(&others)) return EndLedgerUnusable();
  const std::string defaultMac = ImageDefaultMac(s_.settings);
  const std::string backedUpMac = NormalMac(state_.Values[kMac2G]);
  if (!others.empty() && !defaultMac.empty() && backedUpMac == defaultMac) {
    if (PhaseEnd end = LeftMidRun(others, "holds the image's default MAC " + backedUpMac)) return end;
  }
  const UnitValues values{DataLogValues{state_.Values, modelName_}, state_.OperatingMode};
  ledgerRun_->dataLog = file.path;
  ledgerRun_->dataLogSha256 = FileSha256(file.path);
  if (!s_.ledger.RecordBackup(*ledgerRun_, values, s_.waits.clock().LocalTimeStamp())) {
    return EndLedgerUnusable();
  }
  return kGoOn;
}

PhaseEnd UpgradeRun::MarkUnitChanged() {
  if (changed_.changed) return kGoOn;
  const std::string dataLog = mode_.IsRestore() ? mode_.source.path : s_.logs.DataLogPath;
  if (ledgerChange_.empty()) {
    LedgerChange change;
    change.mac = UnitMac();
    change.dataLog = dataLog;
    // A restore's source may be out of reach: its values are in the run's own Data log.
    change.sha256 = FileSha256(dataLog);
    change.hasValues = true;
    change.values = UnitValues{DataLogValues{state_.Values, modelName_}, state_.OperatingMode};
    change.since = s_.waits.clock().LocalTimeStamp();
    if (change.mac.empty() || !s_.ledger.RecordChange(*ledgerRun_, change)) return EndLedgerUnusable();
    ledgerChange_ = change.mac;
  }
  changed_.changed = true;
  changed_.dataLog = dataLog;
  observer_.UnitChanged(changed_);
  return kGoOn;
}

void UpgradeRun::FinishInLedger(RunOutcome outcome) {
  if (!ledgerRun_) return;
  LedgerRun& run = *ledgerRun_;
  run.model = state_.Unit.model;
  run.ended = s_.waits.clock().LocalTimeStamp();
  run.bootloaderBefore = state_.BootloaderBefore;
  run.bootloaderAfter = state_.BootloaderAfter;
  run.outcome = OutcomeWords(outcome);
  run.exitStatus = SessionExitStatus(outcome, changed_.changed && outcome != RunOutcome::Completed);
  run.dataLog.clear();
  run.dataLogSha256.clear();
  if (platform::FileExists(s_.logs.DataLogPath)) {
    run.dataLog = s_.logs.DataLogPath;
    run.dataLogSha256 = FileSha256(run.dataLog);
  }
  // A completed run closes the change it took up or made, and only that one.
  const bool closes = outcome == RunOutcome::Completed && !ledgerChange_.empty();
  const char* state = mode_.IsRestore() ? kStateRestored : kStateCompleted;
  if (!s_.ledger.FinishRun(run, closes ? ledgerChange_ : "", state)) {
    Log("[System]-" + s_.ledger.Error() +
        (closes ? " The unit is complete; the ledger still lists it as unfinished." : ""));
  }
  platform::ReleaseFileLock(claim_);
  claim_ = -1;
  ledgerRun_.reset();
}

}  // namespace ramtune::upgrade
