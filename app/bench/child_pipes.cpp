#include "app/bench/child_pipes.h"

#include <cstdlib>

namespace ramtune::bench {
namespace {

constexpr int kPipeAfterEndMs = 1000;

// Takes the whole lines out of `pending`.
std::vector<std::string> WholeLines(std::string* pending, bool ended) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = pending->find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = pending->substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  pending->erase(0, start);
  if (ended && !pending->empty()) {
    lines.push_back(*pending);
    pending->clear();
  }
  return lines;
}

}  // namespace

void Drain(BenchSystem& sys, Child* child, std::vector<std::string>* outputLines, std::vector<Event>* events) {
  if (!child->reaped && sys.Ended(&child->process, &child->exitCode, &child->signal)) {
    child->reaped = true;
    child->reapedMs = sys.NowMs();
  }
  sys.ReadPipe(&child->process.output, &child->output);
  sys.ReadPipe(&child->process.events, &child->events);
  // Its pipes end with it; should something it started still hold one, what
  // comes later is not the run's.
  if (child->reaped && sys.NowMs() - child->reapedMs > kPipeAfterEndMs) {
    sys.ClosePipe(&child->process.output);
    sys.ClosePipe(&child->process.events);
  }
  for (const std::string& line : WholeLines(&child->output, child->process.output < 0)) {
    outputLines->push_back(line);
  }
  for (const std::string& line : WholeLines(&child->events, child->process.events < 0)) {
    Event event;
    if (DecodeEvent(line, &event)) events->push_back(event);
  }
}

std::vector<intptr_t> Pipes(const std::vector<Child>& children) {
  std::vector<intptr_t> fds;
  for (const Child& child : children) {
    fds.push_back(child.process.output);
    fds.push_back(child.process.events);
  }
  return fds;
}

int StatusOf(const Event& ended) {
  const std::string& text = ended.fields.front();
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::atoi(text.c_str());
}

}  // namespace ramtune::bench
