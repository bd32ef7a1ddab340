// Small helpers the tests share for the lines and commands a run leaves.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ramtune::test {

inline bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// How often `line` occurs in `lines`.
inline int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The last `n` lines (all of them when there are fewer).
inline std::vector<std::string> Tail(const std::vector<std::string>& lines, size_t n) {
  return {lines.end() - static_cast<long>(std::min(n, lines.size())), lines.end()};
}

// Whether this build is the Windows one (the tests run under Wine there).
inline bool WindowsSide() { return platform::kPathSeparator == '\\'; }

// A file of this checkout's sources, by its path under the top folder.
std::string SourcePath(const std::string& relative);

}  // namespace ramtune::test
