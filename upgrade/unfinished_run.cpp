// The mark of a run that changes its unit, and what the next start does with
// a mark left behind: the unit's values come back from the Data log the
// interrupted run wrote, never from a new backup of what the run left on it.
#include "core/text.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"
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

// Why the mark's Data log cannot restore a unit; empty when it can.
std::string UnreadableWhy(const RunMark& mark, DataLogValues* values) {
  if (mark.mac.empty()) return "the mark itself cannot be read";
  DataLogDefect defect;
  return ReadDataLog(mark.dataLog, values, &defect) ? "" : DescribeDefect(mark.dataLog, defect);
}

std::string RemoveByHand(const RunMark& mark) {
  return "Delete the file " + mark.path + " by hand once that unit has been dealt with.";
}

}  // namespace

std::string UpgradeRun::UnitMac() const { return NormalMac(state_.Unit.macText); }

PhaseEnd UpgradeRun::MarkUnitChanged() {
  if (changed_.changed) return kGoOn;
  const std::string dataLog = mode_.IsRestore() ? mode_.source.path : s_.logs.DataLogPath;
  const RunMark mark{MarkPath(LogFolder(), UnitMac()), UnitMac(), dataLog, s_.waits.clock().LocalTimeStamp()};
  std::string why = mark.mac.empty() ? "the unit's MAC " + state_.Unit.macText + " is not one" : "";
  if (why.empty() && !WriteMark(mark, &why) && why.empty()) why = "unknown error";
  if (!why.empty()) {
    EndNotWritten("The mark of this run", mark.path, why);
    return RunOutcome::DataLogNotWritten;
  }
  changed_.changed = true;
  changed_.dataLog = dataLog;
  observer_.UnitChanged(changed_);
  return kGoOn;
}

void UpgradeRun::CloseMarks() {
  const std::string folder = LogFolder();
  RemoveMark(folder, UnitMac());
  if (!mode_.IsRestore()) return;
  for (const RunMark& mark : OpenMarks(folder)) {
    if (!mark.mac.empty() && mark.dataLog == mode_.source.path) platform::RemoveFile(mark.path);
  }
}

PhaseEnd UpgradeRun::TakeUpUnfinishedRun() {
  // A restore names its Data log itself; reading runs are runs of their own.
  if (mode_.kind != RunKind::Upgrade) return kGoOn;
  const std::string mac = UnitMac();
  const std::vector<RunMark> marks = OpenMarks(LogFolder());
  const std::string ownPath = MarkPath(LogFolder(), mac);
  std::vector<RunMark> others;
  for (const RunMark& mark : marks) {
    if (mark.path != ownPath) {
      others.push_back(mark);
      continue;
    }
    DataLogValues values;
    const std::string why = UnreadableWhy(mark, &values);
    if (!why.empty()) {
      Log("[System]-The mark " + mark.path + " says that an earlier run on this unit did not finish, but " + why +
          ". The mark stops nothing. " + RemoveByHand(mark));
      continue;
    }
    const std::string when = ShownTime(mark.time);
    Log("[System]-The last run on this unit did not finish: it changed the unit at " + when +
        ", and the unit's values are kept in the Data log " + mark.dataLog +
        ". No new backup is made: the unit may now hold the image's defaults.");
    // From here on the unit counts as changed: every ending names its restore.
    changed_.changed = true;
    changed_.dataLog = mark.dataLog;
    const std::string question = "The last run on this unit did not finish (" + when + ").\nIts values are kept in " +
                                 mark.dataLog + ".\nWrite those values back to the unit now?";
    if (!s_.display.AskYesNo(question)) {
      EndRun(kPicturePause, "",
             "[System]-The unfinished run was not taken up: nothing has been read from or written to the router. "
             "The mark " + mark.path + " stays until a run of this unit completes.");
      return RunOutcome::NotResumed;
    }
    Log("[System]-Writing the values of " + mark.dataLog + " back to this unit.");
    const std::string planned = mode_.plannedMac;
    mode_ = RunMode::Restore(RestoreSource{values, mark.dataLog}, RestoreOrigin::Resumed);
    mode_.plannedMac = planned;
    observer_.UnitChanged(changed_);
    return kGoOn;
  }
  return OtherUnfinishedRuns(others);
}

PhaseEnd UpgradeRun::OtherUnfinishedRuns(const std::vector<RunMark>& marks) {
  // A bench plans its units by MAC and runs them side by side in one folder:
  // the marks of its other units are those of runs still going.
  if (marks.empty() || !mode_.plannedMac.empty()) return kGoOn;
  bool restorable = false;
  for (const RunMark& mark : marks) {
    DataLogValues values;
    const std::string why = UnreadableWhy(mark, &values);
    if (!why.empty()) {
      Log("[System]-The mark " + mark.path + " names an unfinished run, but " + why + ". The mark stops nothing. " +
          RemoveByHand(mark));
      continue;
    }
    restorable = true;
    Log("[System]-An earlier run on the unit " + mark.mac + " did not finish (" + ShownTime(mark.time) +
        "): its values are kept in " + mark.dataLog + ". To write them back, run: " +
        RestoreCommandLine(s_.settings, mark.dataLog, RestoreInterfaceArg()) + ". " + RemoveByHand(mark));
  }
  if (!restorable) return kGoOn;
  // A unit that rebooted after an interrupted flash may answer with the
  // image's default MAC: it would be backed up with the image's defaults.
  const std::string question =
      "Runs on other units did not finish (listed above). A unit whose run was interrupted after the flash may "
      "answer with another MAC than its own.\nGo on with this unit (" + state_.Unit.macText +
      ") as a new one and back it up?";
  if (s_.display.AskYesNoInPerson(question)) {
    Log("[System]-This unit is upgraded as a new one, as asked.");
    return kGoOn;
  }
  EndRun(kPicturePause, "", "[System]-Stopped before the backup: nothing has been read from or written to the router.");
  return RunOutcome::NotResumed;
}

}  // namespace ramtune::upgrade
