// The station: `ramtune --all --continuous`. A bench that keeps going: each
// slot (a named link) waits for a unit, runs it as soon as it answers, shows
// its result until it is taken out, and waits for the next. It ends with
// Ctrl+C (or SIGTERM) once no unit is running.
#pragma once

#include <string>
#include <vector>

#include "app/bench/run.h"
#include "platform/platform.h"

namespace ramtune::bench {

// Runs the station over `setup`'s links until it is stopped; returns its
// exit status, weighed over every unit of the session as a bench's is (0
// when every unit it ran completed or was up to date, also when none ran).
// The summary and the report cover the session.
int RunStation(const Setup& setup, View& view, BenchSystem& system);

}  // namespace ramtune::bench
