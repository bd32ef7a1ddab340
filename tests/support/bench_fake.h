// The bench's system for tests: scripted children (searches, watches and
// runs) in virtual time, and a view that keeps every line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/bench/child_channel.h"
#include "app/bench/run.h"

namespace ramtune::bench {

using platform::ChildSignal;

// A child's end of its bench that keeps what was sent; `stop` is the bench's request.
class RecordedLink : public BenchLink {
 public:
  std::string sent;
  bool stop = false;
  void Send(const std::string& line) override { sent += line; }
  bool StopRequested() override { return stop; }
};

// One child as the test scripts it: what it writes at once, and how it ends.
struct ScriptedChild {
  std::vector<std::string> args;
  std::string output;
  std::string events;
  int64_t endsAtMs = -1;  // ends by itself then; -1: only when signalled
  int status = 0;
  bool changed = false;   // a stop request is left to finish, as a changed unit's run does
  bool outlivesEnd = false;  // only Kill ends it
  int64_t startedAtMs = 0;
  int64_t askedAtMs = -1;   // the first AskToStop
  int64_t killedAtMs = -1;
  int signal = 0;
  bool ended = false;
  std::vector<ChildSignal> signals;

  bool Has(const char* word) const { return std::find(args.begin(), args.end(), word) != args.end(); }
  bool IsSearch() const { return Has("--bench-search") || Has("--bench-watch"); }
  bool IsWatch() const { return Has("--bench-watch"); }
  // The value after `option`; empty when it is not there.
  std::string Arg(const char* option) const {
    const auto at = std::find(args.begin(), args.end(), option);
    return at == args.end() || at + 1 == args.end() ? std::string() : *(at + 1);
  }
  int64_t nextRoundMs = 0;  // a watch: when it reports its next round
  std::string Link() const { return args[std::find(args.begin(), args.end(), "--interface") - args.begin() + 1]; }
};

class FakeSystem : public BenchSystem {
 public:
  std::vector<ScriptedChild> children;
  std::function<void(ScriptedChild&)> onStart;  // fills in a child as it starts
  std::function<void(FakeSystem&)> onTick;      // at every wait: stops arrive
  int64_t now = 0;
  int interrupts = 0;
  bool terminated = false;
  std::vector<std::string> refusedLinks;  // their children cannot be started
  int runStartsToRefuse = 0;              // so many unit runs' starts fail first (a loaded PC)
  bool watchesHearStops = true;           // false: a watch is stuck, only Kill ends it
  // A station's watches: the routers that answer on a link at a time, as
  // "MAC MODEL"; whether the link is up.
  std::function<std::vector<std::string>(const std::string& link, int64_t now)> answers =
      [](const std::string&, int64_t) { return std::vector<std::string>(); };
  std::function<bool(const std::string& link, int64_t now)> linkUp = [](const std::string&, int64_t) { return true; };

  bool Start(const std::string&, const platform::ChildArguments& args, platform::ChildProcess* child,
             std::string* error) override {
    ScriptedChild scripted;
    scripted.args = args("channel-" + std::to_string(children.size() + 1));
    if (std::find(refusedLinks.begin(), refusedLinks.end(), scripted.Link()) != refusedLinks.end()) {
      *error = "no such file";
      return false;
    }
    if (!scripted.IsSearch() && runStartsToRefuse > 0) {
      --runStartsToRefuse;
      *error = "Internal error.";
      return false;
    }
    scripted.nextRoundMs = now + 2000;
    scripted.startedAtMs = now;
    if (!scripted.IsWatch()) onStart(scripted);
    children.push_back(scripted);
    const intptr_t n = static_cast<intptr_t>(children.size());
    *child = platform::ChildProcess{n, 100 + 2 * n, 101 + 2 * n};
    return true;
  }
  bool Ended(platform::ChildProcess* process, int* status, int* signal) override {
    if (process->process <= 0) {
      ADD_FAILURE() << "asked whether a child that was never started, or was seen ended, has ended";
      return false;
    }
    ScriptedChild& child = children.at(static_cast<size_t>(process->process - 1));
    if (!child.ended) return false;
    process->process = -1;
    *status = child.signal != 0 ? -1 : child.status;
    *signal = child.signal;
    return true;
  }
  bool ReadPipe(intptr_t* fd, std::string* into) override {
    if (*fd < 0) return false;
    ScriptedChild& child = children.at(static_cast<size_t>((*fd - 100) / 2 - 1));
    std::string& data = *fd % 2 == 0 ? child.output : child.events;
    into->append(data);
    data.clear();
    if (!child.ended) return true;
    *fd = -1;
    return false;
  }
  void ClosePipe(intptr_t* fd) override { *fd = -1; }
  void Signal(const platform::ChildProcess& process, ChildSignal signal) override {
    ScriptedChild& child = children.at(static_cast<size_t>(process.process - 1));
    child.signals.push_back(signal);
    if (signal == ChildSignal::AskToStop && child.askedAtMs < 0) child.askedAtMs = now;
    if (signal == ChildSignal::AskToStop && child.IsWatch() && !watchesHearStops) return;
    if (signal == ChildSignal::AskToStop && child.changed) {
      child.events += "deferred\n";
      return;
    }
    if (signal == ChildSignal::End && child.outlivesEnd) return;
    if (signal == ChildSignal::Kill) child.killedAtMs = now;
    child.ended = true;
    child.signal = signal == ChildSignal::AskToStop ? 0 : signal == ChildSignal::End ? 15 : 9;
    if (signal == ChildSignal::AskToStop) {
      child.status = 2;
      child.events += "ended\t2\tfailed\n";
    }
  }
  void WaitForPipes(const std::vector<intptr_t>&, int timeoutMs) override {
    now += timeoutMs;
    for (ScriptedChild& child : children) {
      child.ended |= child.endsAtMs >= 0 && now >= child.endsAtMs;
      if (!child.IsWatch() || child.ended || now < child.nextRoundMs) continue;
      child.nextRoundMs += 2000;
      const std::string link = child.Link();
      for (const std::string& router : answers(link, now)) {
        const size_t blank = router.find(' ');
        child.events += "found\t" + link + "\t" + router.substr(0, blank) + "\t" +
                        (blank == std::string::npos ? "LM-7210A" : router.substr(blank + 1)) + "\t10.77.0.2\tl\n";
      }
      child.events += std::string("round\t") + (linkUp(link, now) ? "up" : "down") + "\n";
    }
    if (onTick) onTick(*this);
  }
  int Interrupts() override { return interrupts; }
  bool TerminationRequested() override { return terminated; }
  int64_t NowMs() override { return now; }
  // A station's window: each request is taken once its time has come.
  std::vector<std::pair<int64_t, SlotRequest>> requests;
  bool TakeSlotRequest(SlotRequest* request) override {
    for (auto it = requests.begin(); it != requests.end(); ++it) {
      if (it->first > now) continue;
      *request = it->second;
      requests.erase(it);
      return true;
    }
    return false;
  }
  std::string TimeStamp() override { return "20261209100000"; }

  std::vector<const ScriptedChild*> Runs() const {
    std::vector<const ScriptedChild*> runs;
    for (const ScriptedChild& child : children) {
      if (!child.IsSearch()) runs.push_back(&child);
    }
    return runs;
  }
};

class QuietView : public View {
 public:
  std::vector<std::string> lines;
  std::function<bool()> confirm = [] { return true; };
  void Line(const std::string& text) override { lines.push_back(text); }
  void UnitMessage(const UnitRecord&, const std::string& line) override { lines.push_back(line); }
  void Units(const std::vector<UnitRecord>&, int64_t) override {}
  bool Confirm(const std::string&) override { return confirm(); }
  bool Said(const std::string& part) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }
};

}  // namespace ramtune::bench
