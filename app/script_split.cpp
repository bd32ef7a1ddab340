#include <string>
#include <vector>

#include "app/script_runner.h"

namespace ramtune {

std::vector<std::string> SplitScript(const std::string& raw) {
  const std::string text = raw.substr(0, raw.find('\0'));
  std::vector<std::string> commands;
  size_t start = 0;
  for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::string line = text.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != ';') commands.push_back(line);
  }
  return commands;
}

}  // namespace ramtune
