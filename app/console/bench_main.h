// `ramtune --all`: the bench on the console.
#pragma once

#include <string>

#include "app/console/options.h"

namespace ramtune::console {

// The whole bench; returns the exit status.
int RunBenchConsole(const Options& options);

}  // namespace ramtune::console
