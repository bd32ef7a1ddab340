#include "app/bench/child_channel.h"

#include "platform/platform.h"

namespace ramtune::bench {

bool ParentChannel::Open(const std::string& channel, std::string* error) {
  return platform::OpenParentChannel(channel, &pipe_, error);
}

void ParentChannel::Send(const std::string& line) { platform::WriteAll(pipe_, line); }

bool ParentChannel::StopRequested() { return platform::StopRequested(); }

void BenchChannel::Send(EventKind kind, std::vector<std::string> fields) {
  link_.Send(EncodeEvent(Event{kind, std::move(fields)}) + "\n");
}

void BenchChannel::Phase(RunPhase phase, int countdownMs) {
  Send(EventKind::Phase, {RunPhaseWords(phase), std::to_string(countdownMs)});
}

// The high end of the range stays the bench's own (the program's 20).
void BenchChannel::Progress(int position) { Send(EventKind::Progress, {std::to_string(position), ""}); }

void BenchChannel::Picture(int resourceId) {
  switch (resourceId) {
    case kPicturePass: Send(EventKind::Picture, {"PASS"}); break;
    case kPictureFail: Send(EventKind::Picture, {"FAIL"}); break;
    case kPicturePause: Send(EventKind::Picture, {"PAUSE"}); break;
    default: break;  // the logo is no ending
  }
}

void BenchChannel::LogsNamed(const std::string& processLog, const std::string& dataLog) {
  Send(EventKind::Logs, {processLog, dataLog});
}

void BenchChannel::UnitChanged(const upgrade::ChangedUnit& /*unit*/) {
  if (changed_) return;
  changed_ = true;
  Send(EventKind::Changed);
}

void BenchChannel::Ended(const upgrade::RunResult& result) {
  runEnded_ = true;
  result_ = result;
}

bool BenchChannel::Poll() {
  if (!link_.StopRequested()) return false;
  if (!changed_) return true;
  if (!deferredSent_) {
    deferredSent_ = true;
    Send(EventKind::Deferred);
  }
  return false;
}

void BenchChannel::Finish(int status) {
  const upgrade::RunResult& r = result_;
  const std::string after = !r.bootloaderAfter.empty() || changed_ ? r.bootloaderAfter : r.bootloaderBefore;
  Send(EventKind::Versions, {r.bootloaderBefore, after});
  std::string differing;
  for (const std::string& item : r.differing) differing += (differing.empty() ? "" : ", ") + item;
  std::vector<std::string> ended = {std::to_string(status), runEnded_ ? upgrade::OutcomeWords(r.outcome) : "",
                                    differing};
  // A run's own ending: the Data log it wrote (none: empty), the one that
  // restores the unit, and whether the unit is left changed.
  if (runEnded_) ended.insert(ended.end(), {r.dataLog, r.restoreLog, r.unitChanged ? "1" : "0"});
  Send(EventKind::Ended, ended);
}

}  // namespace ramtune::bench
