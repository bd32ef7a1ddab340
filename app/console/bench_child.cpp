#include "app/console/bench_child.h"

#include "platform/platform.h"

namespace ramtune::console {

void BenchChannel::Send(bench::EventKind kind, std::vector<std::string> fields) {
  // A bench that has gone cannot be told; the run goes on as it would alone.
  platform::WriteAll(pipe_, bench::EncodeEvent(bench::Event{kind, std::move(fields)}) + "\n");
}

void BenchChannel::LogsNamed(const std::string& processLog, const std::string& dataLog) {
  Send(bench::EventKind::Logs, {processLog, dataLog});
}

void BenchChannel::UnitChanged(const upgrade::ChangedUnit& /*unit*/) {
  if (changed_) return;
  changed_ = true;
  Send(bench::EventKind::Changed);
}

void BenchChannel::Ended(const upgrade::RunResult& result) {
  runEnded_ = true;
  result_ = result;
}

bool BenchChannel::Poll() {
  if (!platform::StopRequested()) return false;
  if (!changed_) return true;
  if (!deferredSent_) {
    deferredSent_ = true;
    Send(bench::EventKind::Deferred);
  }
  return false;
}

void BenchChannel::Finish(int status) {
  const upgrade::RunResult& r = result_;
  const std::string after = !r.bootloaderAfter.empty() || changed_ ? r.bootloaderAfter : r.bootloaderBefore;
  Send(bench::EventKind::Versions, {r.bootloaderBefore, after});
  std::string differing;
  for (const std::string& item : r.differing) differing += (differing.empty() ? "" : ", ") + item;
  Send(bench::EventKind::Ended,
       {std::to_string(status), runEnded_ ? upgrade::OutcomeWords(r.outcome) : "", differing});
}

}  // namespace ramtune::console
