// Every way a run or a session ends, as one value, and the one table that
// says what each means: its words (the bench's events and report), the exit
// status of the console program, the code Ramtune.exe ends with, how it
// weighs in a bench's status, the line the console ends with and the help
// text. --help, the console's README and the bench are made from this table.
#pragma once

#include <string>

namespace ramtune::upgrade {

enum class RunOutcome {
  // How a run ends.
  Completed,          // the new bootloader is in and every value verified
  BackedUp,           // a backup run wrote the unit's values to a Data log
  CheckSame,          // a check found the unit holding the Data log's values
  Failed,             // any other ending before the unit was changed
  DataLogNotWritten,  // stopped before the flash: the Data log is not on the disk
  UnitChanged,        // ended after the unit was changed and it is not restored
  NotResumed,         // an unfinished run was not taken up again
  Unfinished,         // the ledger holds an open change that stops this run: nothing was written
  LedgerUnusable,     // the unit ledger could not be opened, read or written: nothing was changed
  UnitBusy,           // another run of this PC works on the unit: nothing was done to it
  OtherUnit,          // another unit than the planned one answered: nothing was read or written
  CheckDiffers,       // a check found differences
  UpToDate,           // the unit already has the image's bootloader: nothing was done
  SelectionClosed,    // the choice among several routers was closed without one
  // How a session ends without a run.
  NoRouter,           // the search series found no router
  DataLogRefused,     // the Data log to restore or check against was refused
  Interrupted,        // a second Ctrl+C while a changed unit was written back
  WarningRefused,     // the warning dialog was refused
  FileNotChosen,      // the open-file dialog for the Data log was cancelled
  StartupRefused,     // a start-up check refused: another instance, the system, a missing file
  StartupFailed,      // the echo library or the current folder could not be had
  UtilityKept,        // the competing utility's question answered No
  ExitPressed,        // Exit before any run or search series ended
  // The console's command line.
  CommandLineError,   // the command line makes no sense
  InputMissing,       // a file named on the command line cannot be opened
};

struct OutcomeRow {
  RunOutcome outcome;
  const char* words;  // the bench's events and report: "completed", "up to date", ...
  int status;         // the console's exit status
  // The code Ramtune.exe ends with when this ending ends the program.
  int programCode;
  // The weight of the status in a bench's status, the most serious wins;
  // -1: done (completed, or nothing to do), 0: not weighed (counted as failed).
  int benchWeight;
  const char* summary;  // the console's last line: "ramtune: exit status N: SUMMARY"
  const char* help;     // --help, a clause of at most 66 characters a line
};

// In the order of the help: by status, then the most common ending first.
// Statuses 10 and 11 are the program ending itself with code 0 and 1, as
// Ramtune.exe does; a script may rely on every number here.
inline constexpr OutcomeRow kOutcomeTable[] = {
    {RunOutcome::Completed, "completed", 0, 0, -1, "the run completed", "the run completed (PASS)"},
    {RunOutcome::BackedUp, "backed up", 0, 0, -1, "the unit's values are in the Data log; nothing was changed",
     "a backup wrote the unit's values to its Data log"},
    {RunOutcome::CheckSame, "check same", 0, 0, -1, "the unit holds the Data log's values",
     "a check found the unit holding the Data log's values"},
    {RunOutcome::Failed, "failed", 2, 0, 5, "the run ended with a failure",
     "a run started and ended with a failure; nothing was changed on the\nrouter"},
    {RunOutcome::UnitBusy, "unit busy", 2, 0, 5, "another run of this PC works on this unit; nothing was done",
     "another run of this PC was working on the unit (nothing was done)"},
    {RunOutcome::NoRouter, "no router", 3, 0, 1, "no router was found",
     "the search series ended without finding a router"},
    {RunOutcome::DataLogNotWritten, "data log not written", 4, 0, 2,
     "the Data log could not be written; nothing was changed on the router",
     "a run stopped before the flash: its Data log could not be written to\nthe disk, or would not restore the "
     "values read (nothing was changed on\nthe router)"},
    {RunOutcome::LedgerUnusable, "ledger unusable", 4, 0, 2,
     "the unit ledger could not be used; nothing was changed on the router",
     "the unit ledger could not be opened, read or written (nothing was\nchanged on the router)"},
    {RunOutcome::DataLogRefused, "data log refused", 5, 0, 0, "the Data log was refused; nothing was sent",
     "the Data log given to --restore or --verify was refused (the message\nnames the line and what is wrong); "
     "nothing was sent"},
    {RunOutcome::UnitChanged, "unit changed", 6, 0, 6, "the unit was changed; restore it from its Data log",
     "a run failed after it had changed the router: the unit was changed;\nrestore it from its Data log (the "
     "output names the command). Until a\nrun completes, every later ending of the session is 6 too"},
    {RunOutcome::NotResumed, "not resumed", 6, 0, 6,
     "the unit was left by an unfinished run that was not taken up; restore it from its Data log",
     "the unit was left by an unfinished run that was not taken up again"},
    {RunOutcome::Unfinished, "unfinished", 6, 0, 6,
     "a run on this unit did not finish; nothing was written to it; restore it (see above)",
     "a run on this unit (or, for a unit that looks left mid-run, on\nanother) did not finish: nothing was "
     "written; restore it first"},
    {RunOutcome::Interrupted, "interrupted", 6, 0, 6,
     "stopped while the changed unit was written back; restore it from its Data log",
     "a second Ctrl+C ended the program while the changed unit was written\nback"},
    {RunOutcome::OtherUnit, "other unit", 7, 0, 4,
     "another unit than the planned one answered; nothing was done to it",
     "a run of a bench met another unit than the one planned on its link;\nnothing was read from or written to it"},
    {RunOutcome::CheckDiffers, "check differs", 8, 0, 3, "the check found differences",
     "a check found differences between the unit and the Data log"},
    {RunOutcome::WarningRefused, "warning refused", 10, 0, 0, "the warning was refused; nothing was sent",
     "the program ended itself with code 0: the warning refused,"},
    {RunOutcome::SelectionClosed, "selection closed", 10, 0, 0, "the router choice was closed; nothing was changed",
     "the router choice closed,"},
    {RunOutcome::StartupRefused, "start-up refused", 10, 0, 0, "a start-up check refused to go on",
     "a start-up check failed (missing file, already running),"},
    {RunOutcome::FileNotChosen, "no file chosen", 10, 0, 0, "no Data log was chosen; nothing was sent",
     "or no Data log chosen"},
    {RunOutcome::UpToDate, "up to date", 11, 1, -1, "the router already has the latest bootloader",
     "the program ended itself with code 1: the router already has the\nlatest bootloader,"},
    {RunOutcome::ExitPressed, "exit", 11, 1, 0, "Exit before any run or search series ended",
     "Exit before any run or search series ended (after one, Exit gives\nthat ending's status),"},
    {RunOutcome::UtilityKept, "utility kept", 11, 1, 0, "the other utility was kept open; nothing was sent",
     "the other utility kept open,"},
    {RunOutcome::StartupFailed, "start-up failed", 11, 1, 0, "the program could not start",
     "or the echo library could not be loaded"},
    {RunOutcome::CommandLineError, "command line", 64, 0, 0, "the command line makes no sense",
     "the command line makes no sense"},
    {RunOutcome::InputMissing, "no input", 66, 0, 0, "a file named on the command line cannot be opened",
     "the --script file (or Result.txt) cannot be opened; nothing was sent"},
};

constexpr const OutcomeRow& Row(RunOutcome outcome) {
  for (const OutcomeRow& row : kOutcomeTable) {
    if (row.outcome == outcome) return row;
  }
  return kOutcomeTable[3];  // every outcome has its row (a unit test holds it); failed otherwise
}

const char* OutcomeWords(RunOutcome outcome);
// The outcome of `words`; false for words that name none.
bool OutcomeOfWords(const std::string& words, RunOutcome* outcome);
constexpr int ExitStatusOf(RunOutcome outcome) { return Row(outcome).status; }
// The done outcomes: the unit needs nothing more (completed, backed up,
// checked the same, up to date).
constexpr bool IsDone(RunOutcome outcome) { return Row(outcome).benchWeight < 0; }

// The exit statuses with their help, for --help; and the same as the
// console README's table rows.
std::string ExitStatusHelp();
std::string ExitStatusMarkdown();
// The summary of `status` for a status no outcome of this session gave (the
// first row that has it).
const char* StatusSummary(int status);
// The bench weight of a status, for a unit whose outcome is not known.
int StatusWeight(int status);

// The status the process ends with. `unitChanged`: a run of the session
// changed the unit and no run has completed since; then every ending but a
// completion is 6 (a backup or a check of the changed unit too), whatever ended the session (a Retry whose search found
// nothing, a router choice closed, Exit, a stop, a failed start-up step).
int SessionExitStatus(RunOutcome outcome, bool unitChanged);

}  // namespace ramtune::upgrade
