// One child of a bench (a search or a unit's run) as the bench's course
// reads it: its pipes drained into whole lines and events, and its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/bench/bench.h"
#include "app/bench/run.h"

namespace ramtune::bench {

struct Child {
  platform::ChildProcess process;
  std::string output;  // not yet a whole line
  std::string events;
  bool reaped = false;
  int exitCode = -1;  // the process's own: only whether it crashed counts
  int signal = 0;
  int64_t reapedMs = 0;

  bool Done() const { return reaped && process.output < 0 && process.events < 0; }
};

// Reads what the child has written: its whole output lines and its events.
// Its pipes end with it; should something it started still hold one a
// second after its end, the pipe is closed.
void Drain(BenchSystem& sys, Child* child, std::vector<std::string>* outputLines, std::vector<Event>* events);

// Every pipe of the children, for WaitForPipes.
std::vector<intptr_t> Pipes(const std::vector<Child>& children);

// The status an ended event carries; -1 when it carries none.
int StatusOf(const Event& ended);

}  // namespace ramtune::bench
