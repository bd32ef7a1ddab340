// A bench: several units upgraded at once, one per link. This unit holds
// what the bench decides without touching the system: which links run, the
// record of each unit, the events a unit's run reports, the summary, the
// report and the bench's exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "upgrade/outcome.h"

namespace ramtune::bench {

// The statuses the bench names: those of a single run, from the outcome table.
// Whether a unit is done is its run's outcome, never its number.
inline constexpr int kStatusCompleted = upgrade::ExitStatusOf(upgrade::RunOutcome::Completed);
inline constexpr int kStatusFailed = upgrade::ExitStatusOf(upgrade::RunOutcome::Failed);
inline constexpr int kStatusNoRouter = upgrade::ExitStatusOf(upgrade::RunOutcome::NoRouter);
inline constexpr int kStatusChanged = upgrade::ExitStatusOf(upgrade::RunOutcome::UnitChanged);
inline constexpr int kStatusCheckDiffers = upgrade::ExitStatusOf(upgrade::RunOutcome::CheckDiffers);
inline constexpr int kStatusUpToDate = upgrade::ExitStatusOf(upgrade::RunOutcome::UpToDate);

// What every run of a bench does.
enum class BenchMode { Upgrade, Backup, Check };

// The Data log a check of the unit `mac` (twelve hex digits) is made
// against: among `paths`, those whose file name carries the MAC and
// "_Data_", the newest by the time in the name. Empty when there is none.
std::string NewestDataLog(const std::vector<std::string>& paths, const std::string& mac);

// How long the bench's search may take, in seconds.
constexpr int kSearchSeconds = 20;

// One answer of the bench's search.
struct FoundRouter {
  std::string link;
  std::string mac;  // twelve upper-case hexadecimal digits
  std::string model;
  std::string ip;
  std::string label;
};

struct PlannedUnit {
  std::string link;
  std::string mac;
  std::string model;
  std::string ip;
  std::string slot;  // the link's name on the bench; the link's own when it has none
  // Asked on a station's slot instead of the bench's mode: a restore of this
  // Data log into the unit (`mac`, without the identity question: a person
  // answered it), or a check against this Data log.
  std::string restoreLog;
  std::string checkLog;
};

// A link of a bench with its slot's name: `--slot "Port 1=eth1"`, or the
// line `Port 1=eth1` of config.ini's [Slots].
struct NamedLink {
  std::string name;
  std::string link;  // by name or address, as the command line gave it
};
// The name before the last '=', the link after it, both trimmed; false with
// the reason when either is missing.
bool ParseSlot(const std::string& text, NamedLink* slot, std::string* error);

// "Port 3 (eth3)", or the link alone when the slot is named after it.
std::string SlotLabel(const std::string& slot, const std::string& link);

struct SkippedLink {
  std::string link;
  std::string reason;                // a sentence, shown and reported
  std::vector<std::string> routers;  // "MAC model at IP" of each router found there
  int status = kStatusFailed;        // how it weighs in the bench's exit status
};

struct Plan {
  std::vector<PlannedUnit> units;
  std::vector<SkippedLink> skipped;
  std::vector<std::string> lines;  // "[System]" lines that say what is skipped and why
};

// The links to run, in the order of `links`: a link on which exactly one
// router answered runs it; a link with more than one router, a router whose
// MAC is already on the bench, and a link that nothing answered on are
// skipped with their reason. A link in `searchFailed` (its search could not
// run) is skipped as a failure, whatever it found.
Plan MakePlan(const std::vector<std::string>& links, const std::vector<FoundRouter>& found,
              const std::vector<std::string>& searchFailed = {});

// The links that answered, in the order of their first answer (the bench's
// links when none were named).
std::vector<std::string> AnsweredLinks(const std::vector<FoundRouter>& found);

// ---- one unit's run -------------------------------------------------------------------

// Where a unit's run stands on the bench. It moves forward only: from
// Planned to Running (or StartFailed, or Withheld when a stop came first),
// from Running to Ended, or to StopAsked and then Stopped.
enum class UnitLife {
  Planned,      // not started yet
  Running,      // its run is under way
  StopAsked,    // under way; the bench asked it to stop (a changed unit finishes first) or ended it
  Ended,        // its run ended by itself
  Stopped,      // its run ended after the bench asked it to stop or ended it
  StartFailed,  // its run could not be started
  Withheld,     // a stop came before the runs were started: it never ran
};

struct UnitRecord {
  PlannedUnit unit;
  UnitLife life = UnitLife::Planned;
  // It ran (or runs); it is over (ended, or will never run); the bench stopped it.
  bool Started() const { return life == UnitLife::Running || life == UnitLife::StopAsked || Ran(); }
  bool Over() const { return Ran() || life == UnitLife::StartFailed || life == UnitLife::Withheld; }
  bool StoppedByBench() const {
    return life == UnitLife::StopAsked || life == UnitLife::Stopped || life == UnitLife::Withheld;
  }

  // What its run reported.
  std::string phase;         // the words of the run's phase, empty before the first
  int64_t phaseMs = 0;       // when the phase began, on the bench's clock
  int countdownMs = 0;       // the fixed wait that began with the phase
  int progress = 0;
  int progressHigh = 20;
  std::string picture;        // PASS, FAIL, PAUSE or empty
  // The unit is changed: its run changed it (flash sent), or found it left
  // changed by an earlier run and did not restore it.
  bool changed = false;
  // How it ended: its ended event, and how its process ended.
  int status = -1;            // the status its ended event carried; -1: no ended event (it failed)
  std::optional<upgrade::RunOutcome> outcome;  // the outcome its ended event named; none when no run ended
  int signal = 0;             // what ended its process abnormally (a signal, a Windows exception code), 0 when none
  std::string blBefore;
  std::string blAfter;
  std::string processLog;
  std::string dataLog;         // the Data log the run wrote; empty when it wrote none
  std::string restoreLog;      // while the unit is changed: the Data log that restores it
  std::string checkedAgainst;  // a check: the Data log the unit was checked against
  std::string differing;       // a check: the differing items, ", " between them
  std::string ledgerState;  // the unit's state in the unit ledger once the runs ended; empty: unknown
  std::string startTime;  // "YYYY-mm-ddTHH:MM:SS", local
  std::string endTime;
  int64_t startMs = 0;
  int64_t endMs = 0;

 private:
  bool Ran() const { return life == UnitLife::Ended || life == UnitLife::Stopped; }
};

// The status the unit's run counts with: its own, but a run that changed the
// unit and did not complete is 6 whatever it ended with, and a run that
// crashed, was killed, ended without its ended event or with a status the
// bench does not weigh is 2. Up to date (11) only when the ended event says so.
int EffectiveStatus(const UnitRecord& record);

// One word or two for the summary: "PASS", "up to date", "FAIL", ...
std::string EndingText(const UnitRecord& record);

// 0 only when every unit completed (an up-to-date unit counts as done) and no
// link was skipped; otherwise the most serious status in the order
// 6 > 2 > 7 > 8 > 4 > 3 (the exit-status table's bench weights).
int BenchExitStatus(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped);

// The summary table: link, MAC, model, bootloader before and after, ending,
// Data log; the skipped links below it.
std::string SummaryTable(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped);

// The report file's text: JSON, one object per unit and the skipped links.
std::string ReportJson(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped,
                       const std::string& startTime, const std::string& endTime, int exitStatus);

// The report's default name: beside the logs, the bench's start time in it.
std::string DefaultReportPath(const std::string& folder, const std::string& timeStamp);

// "20261208143005" as "2026-12-08T14:30:05"; other texts as they are.
std::string IsoTime(const std::string& timeStamp);

// A run's time so far as minutes and seconds: "2:05".
std::string ElapsedText(int64_t ms);

// ---- a station: a bench that keeps going -----------------------------------------------

// How long a unit may stay silent on its slot before it counts as gone.
constexpr int kGoneAfterMs = 10000;
// How long a watch asked to stop may take before it is killed. It ends
// within a second when asked; the room is for a loaded PC, where a Wine
// process can take seconds to end, and a killed one's socket can hold the
// link's port for good.
constexpr int kWatchEndMs = 15000;

// Where a station's slot stands.
enum class SlotState {
  Waiting,   // no unit: the slot's watch looks for one
  Starting,  // a unit answered: the watch is ending, then its run starts
  Running,   // the unit's run is under way
  Finished,  // its run ended: the result stays until the unit leaves
  Done,      // the ledger shows the unit completed: it is not run again until it leaves
  Closed,    // the station is ending: nothing more starts here
};
const char* SlotStateWords(SlotState state);

struct SlotRecord {
  std::string name;
  std::string link;
  SlotState state = SlotState::Waiting;
  UnitRecord unit;   // the unit on the slot, its last run; unit.mac is empty when there is none
  std::string note;  // beside the state: "done at 10:32", why an answer is not run, what to do
};

// The header of a station: its session so far.
struct SessionCounts {
  int completed = 0;   // completed, or found up to date
  int failed = 0;
  int unfinished = 0;  // left changed (6): each needs a restore
  int running = 0;
  double perHour = 0;  // units completed per hour since the session began
};
SessionCounts CountSession(const std::vector<UnitRecord>& ended, int running, int64_t sessionMs);

// ---- what a unit's run reports to the bench ------------------------------------------
//
// A run started by the bench writes one line per event on a channel of its
// own: the kind, then its fields, separated by tabs. Fields never hold a tab
// or a line end (they are replaced by blanks).

enum class EventKind {
  Found,     // search: link, MAC, model, IP, label
  Round,     // a station's watch: a round ended (its answers were the found events before it); "up" or "down"
  Phase,     // words, countdown in ms (0 when none)
  Progress,  // position, high
  Picture,   // PASS, FAIL, PAUSE
  Changed,   // the unit has been changed
  Logs,      // Process log, Data log
  Versions,  // bootloader before, after
  Deferred,  // a stop was asked; the unit is changed and is left to finish
  // Exit status, the run's outcome (empty when no run ended), a check's
  // differing items; after a run: its Data log (empty: none written), the
  // Data log that restores the unit, and "1" when the unit is left changed.
  Ended,
};

struct Event {
  EventKind kind = EventKind::Phase;
  std::vector<std::string> fields;
};

std::string EncodeEvent(const Event& event);
// False for a line that is not an event (unknown kind, too few fields).
bool DecodeEvent(const std::string& line, Event* event);
// What the event, arrived at `nowMs`, changes in the unit's record (Found
// changes nothing).
void ApplyEvent(const Event& event, UnitRecord* record, int64_t nowMs);

}  // namespace ramtune::bench
