#include "app/bench/bench.h"

#include "upgrade/outcome.h"

#include <algorithm>
#include <cstdlib>

namespace ramtune::bench {
namespace {

const char* const kHint = "[System]-";

std::string Describe(const FoundRouter& router) {
  return router.mac + " " + router.model + " at " + router.ip;
}

std::string Joined(const std::vector<std::string>& parts, const char* between) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
  return text;
}

// The order of seriousness of the statuses a bench reports; 0 for those it
// does not weigh.
int Rank(int status) { return std::max(upgrade::StatusWeight(status), 0); }

std::string Clean(std::string field) {
  for (char& c : field) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return field;
}

struct KindName {
  EventKind kind;
  const char* name;
  size_t fields;
};
const KindName kKinds[] = {
    {EventKind::Found, "found", 5},     {EventKind::Phase, "phase", 2},
    {EventKind::Progress, "progress", 2}, {EventKind::Picture, "picture", 1},
    {EventKind::Changed, "changed", 0}, {EventKind::Logs, "logs", 2},
    {EventKind::Versions, "versions", 2}, {EventKind::Deferred, "deferred", 0},
    {EventKind::Ended, "ended", 1},     {EventKind::Round, "round", 1},
};

// A decimal number of at most nine digits; -1 otherwise.
int Number(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  return std::atoi(text.c_str());
}

}  // namespace

bool ParseSlot(const std::string& text, NamedLink* slot, std::string* error) {
  auto trim = [](const std::string& part) {
    const size_t first = part.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : part.substr(first, part.find_last_not_of(" \t") - first + 1);
  };
  const size_t equals = text.rfind('=');
  if (equals != std::string::npos) {
    slot->name = trim(text.substr(0, equals));
    slot->link = trim(text.substr(equals + 1));
  }
  const bool clean = text.find_first_of("\t\r\n") == std::string::npos;
  if (equals != std::string::npos && clean && !slot->name.empty() && !slot->link.empty()) return true;
  *error = "'" + text + "' is not a slot: write it as NAME=LINK, e.g. \"Port 1=eth1\"";
  return false;
}

std::string SlotLabel(const std::string& slot, const std::string& link) {
  return slot.empty() || slot == link ? link : slot + " (" + link + ")";
}

const char* SlotStateWords(SlotState state) {
  switch (state) {
    case SlotState::Waiting: return "waiting";
    case SlotState::Starting: return "starting";
    case SlotState::Running: return "running";
    case SlotState::Finished: return "finished";
    case SlotState::Done: return "done";
    case SlotState::Closed: return "closed";
  }
  return "";
}

SessionCounts CountSession(const std::vector<UnitRecord>& ended, int running, int64_t sessionMs) {
  SessionCounts counts;
  counts.running = running;
  for (const UnitRecord& record : ended) {
    const int status = EffectiveStatus(record);
    if (status == kStatusCompleted || status == kStatusUpToDate) {
      ++counts.completed;
    } else if (status == kStatusChanged) {
      ++counts.unfinished;
    } else {
      ++counts.failed;
    }
  }
  // A rate after a minute: earlier it says little.
  if (sessionMs >= 60000) counts.perHour = counts.completed * 3600000.0 / static_cast<double>(sessionMs);
  return counts;
}

std::vector<std::string> AnsweredLinks(const std::vector<FoundRouter>& found) {
  std::vector<std::string> links;
  for (const FoundRouter& router : found) {
    if (std::find(links.begin(), links.end(), router.link) == links.end()) links.push_back(router.link);
  }
  return links;
}

Plan MakePlan(const std::vector<std::string>& links, const std::vector<FoundRouter>& found,
              const std::vector<std::string>& searchFailed) {
  Plan plan;
  for (const std::string& link : links) {
    std::vector<const FoundRouter*> here;
    for (const FoundRouter& router : found) {
      if (router.link != link) continue;
      // One router answers every round: count it once.
      bool known = false;
      for (const FoundRouter* other : here) known |= other->mac == router.mac && other->ip == router.ip;
      if (!known) here.push_back(&router);
    }
    SkippedLink skipped;
    skipped.link = link;
    for (const FoundRouter* router : here) skipped.routers.push_back(Describe(*router));
    if (std::find(searchFailed.begin(), searchFailed.end(), link) != searchFailed.end()) {
      skipped.reason = "the search failed on this link (what it said is above); nothing was run there";
    } else if (here.empty()) {
      skipped.reason = "no router answered within " + std::to_string(kSearchSeconds) + " s";
      skipped.status = kStatusNoRouter;
    } else if (here.size() > 1) {
      skipped.reason = "more than one router answered (" + Joined(skipped.routers, ", ") +
                       "); this link is not run: leave one router on it";
    } else {
      const FoundRouter& router = *here.front();
      auto same = std::find_if(plan.units.begin(), plan.units.end(),
                               [&](const PlannedUnit& unit) { return unit.mac == router.mac; });
      if (same == plan.units.end()) {
        plan.units.push_back(PlannedUnit{link, router.mac, router.model, router.ip, link, "", ""});
        continue;
      }
      skipped.reason = "the router " + router.mac + " has the MAC of the unit on " + same->link +
                       "; it is not run at the same time (their logs would share a name): "
                       "upgrade it after this bench";
    }
    plan.lines.push_back(kHint + link + ": " + skipped.reason + ".");
    plan.skipped.push_back(skipped);
  }
  return plan;
}

std::string NewestDataLog(const std::vector<std::string>& paths, const std::string& mac) {
  const std::string kind = "_Data_";
  std::string newest;
  std::string newestTime;
  for (const std::string& path : paths) {
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t at = name.find(mac + kind);
    const size_t end = name.size() >= 4 ? name.size() - 4 : 0;
    if (at == std::string::npos || name.compare(end, 4, ".txt") != 0) continue;
    const std::string time = name.substr(at + mac.size() + kind.size(), end - (at + mac.size() + kind.size()));
    if (time.empty() || time.find_first_not_of("0123456789") != std::string::npos) continue;
    const bool later = time.size() != newestTime.size() ? time.size() > newestTime.size() : time > newestTime;
    if (newest.empty() || later) {
      newest = path;
      newestTime = time;
    }
  }
  return newest;
}

int EffectiveStatus(const UnitRecord& record) {
  const bool told = record.Over() && record.signal == 0;
  const int status = told ? record.status : -1;
  // Done is what the run itself said (completed, backed up, checked the
  // same, up to date): status 11 is also Exit and a failed start-up.
  if (told && record.outcome && upgrade::IsDone(*record.outcome) && status == upgrade::ExitStatusOf(*record.outcome)) {
    return status;
  }
  if (record.changed) return kStatusChanged;
  return Rank(status) > 0 ? status : kStatusFailed;
}

std::string EndingText(const UnitRecord& record) {
  using upgrade::RunOutcome;
  if (!record.Started()) return "not started";
  if (!record.Over()) return "running";
  const int status = EffectiveStatus(record);
  const RunOutcome outcome = record.outcome.value_or(RunOutcome::Failed);
  if (upgrade::IsDone(outcome) && status == upgrade::ExitStatusOf(outcome)) {
    if (outcome == RunOutcome::BackedUp) return "backed up";
    if (outcome == RunOutcome::CheckSame) return "same";
    if (outcome == RunOutcome::UpToDate) return "up to date";
    return "PASS";
  }
  if (status == kStatusCheckDiffers) return "differs: " + record.differing + " (8)";
  std::string text = record.picture.empty() || record.picture == "PASS" ? "FAIL" : record.picture;
  if (record.StoppedByBench()) text = "stopped";
  if (record.signal != 0 && !record.StoppedByBench()) text = "crashed";
  if (status == kStatusChanged) text += ", restore it";
  // The unit was left by an earlier run that did not finish.
  if (outcome == RunOutcome::NotResumed || outcome == RunOutcome::Unfinished) text = "unfinished";
  if (status == kStatusNoRouter) text = "not found";
  return text + " (" + std::to_string(status) + ")";
}

int BenchExitStatus(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped) {
  if (units.empty() && skipped.empty()) return kStatusNoRouter;
  int worst = kStatusCompleted;
  auto weigh = [&worst](int status) {
    if (Rank(status) > Rank(worst)) worst = status;
  };
  for (const UnitRecord& record : units) weigh(EffectiveStatus(record));
  for (const SkippedLink& link : skipped) weigh(link.status);
  return worst;
}

std::string SummaryTable(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped) {
  std::vector<std::vector<std::string>> rows = {
      {"Slot", "MAC", "Model", "Bootloader", "Ending", "Data log"}};
  for (const UnitRecord& record : units) {
    const std::string before = record.blBefore.empty() ? "?" : record.blBefore;
    const std::string after = record.blAfter.empty() ? "?" : record.blAfter;
    // A check names the Data log it was checked against.
    const std::string& log = record.dataLog.empty() ? record.checkedAgainst : record.dataLog;
    rows.push_back({SlotLabel(record.unit.slot, record.unit.link), record.unit.mac, record.unit.model,
                    before + " -> " + after,
                    EndingText(record), log.empty() ? "-" : log});
  }
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    text += line + "\n";
  }
  for (const SkippedLink& link : skipped) text += link.link + ": not run: " + link.reason + "\n";
  return text;
}

std::string DefaultReportPath(const std::string& folder, const std::string& timeStamp) {
  return folder + "ramtune_bench_" + timeStamp + ".json";
}

std::string ElapsedText(int64_t ms) {
  const int64_t seconds = ms < 0 ? 0 : ms / 1000;
  const std::string ss = std::to_string(seconds % 60);
  return std::to_string(seconds / 60) + ":" + (ss.size() < 2 ? "0" : "") + ss;
}

std::string IsoTime(const std::string& stamp) {
  if (stamp.size() != 14 || Number(stamp.substr(0, 7)) < 0 || Number(stamp.substr(7)) < 0) return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + "T" + stamp.substr(8, 2) +
         ":" + stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

// ---- events -----------------------------------------------------------------------

std::string EncodeEvent(const Event& event) {
  std::string line;
  for (const KindName& known : kKinds) {
    if (known.kind == event.kind) line = known.name;
  }
  for (const std::string& field : event.fields) line += "\t" + Clean(field);
  return line;
}

bool DecodeEvent(const std::string& line, Event* event) {
  std::vector<std::string> words(1);
  for (char c : line) {
    if (c == '\t') {
      words.emplace_back();
    } else if (c != '\r' && c != '\n') {
      words.back() += c;
    }
  }
  for (const KindName& known : kKinds) {
    if (words.front() != known.name || words.size() - 1 < known.fields) continue;
    event->kind = known.kind;
    // Fields beyond those every event of the kind has are optional.
    event->fields.assign(words.begin() + 1, words.end());
    return true;
  }
  return false;
}

void ApplyEvent(const Event& event, UnitRecord* record, int64_t nowMs) {
  const std::vector<std::string>& f = event.fields;
  switch (event.kind) {
    case EventKind::Found:
    case EventKind::Round: break;
    case EventKind::Phase: {
      // The same phase told again without a wait goes on from where it began.
      const int countdown = Number(f[1]);
      if (f[0] == record->phase && countdown <= 0) break;
      record->phase = f[0];
      record->phaseMs = nowMs;
      record->countdownMs = countdown > 0 ? countdown : 0;
      break;
    }
    case EventKind::Progress: {
      const int position = Number(f[0]);
      const int high = Number(f[1]);
      if (position >= 0) record->progress = position;
      if (high > 0) record->progressHigh = high;
      break;
    }
    case EventKind::Picture: record->picture = f[0]; break;
    case EventKind::Changed: record->changed = true; break;
    case EventKind::Logs:
      if (!f[0].empty()) record->processLog = f[0];
      if (!f[1].empty()) record->dataLog = f[1];
      break;
    case EventKind::Versions:
      record->blBefore = f[0];
      record->blAfter = f[1];
      break;
    case EventKind::Deferred: break;  // the bench says so where it reads the events
    case EventKind::Ended: {
      const int status = Number(f[0]);
      if (status >= 0) record->status = status;
      upgrade::RunOutcome outcome;
      record->outcome.reset();
      if (f.size() > 1 && upgrade::OutcomeOfWords(f[1], &outcome)) record->outcome = outcome;
      record->differing = f.size() > 2 ? f[2] : std::string();
      // What the run's ending says wins over the names it was given at the
      // start: a run that wrote no Data log names none.
      if (f.size() > 5) {
        record->dataLog = f[3];
        record->restoreLog = f[4];
        record->changed |= f[5] == "1";
      }
      break;
    }
  }
}

}  // namespace ramtune::bench
