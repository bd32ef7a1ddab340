// The engineering script runner: sends the lines of a ".script" file to the
// router one after the other and appends every command and its reply to
// "Result.txt" in the current directory.
#pragma once

#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
#include "link/router_link.h"

namespace ramtune {

constexpr size_t kScriptReadBytes = 2048;
inline const char* const kScriptFilter = "SCRIPT File(*.script)|*.script|";
inline const char* const kResultFile = "Result.txt";

// The commands of a script text: every line that a line feed ends, with one
// carriage return before the line feed dropped; lines starting with ";" are
// comments; text after the last line feed is ignored; the text ends at its
// first zero byte.
std::vector<std::string> SplitScript(const std::string& text);

class ScriptRunner {
 public:
  ScriptRunner(Display& display, RunLogs& logs, link::RouterLink& link)
      : display_(display), logs_(logs), link_(link) {}

  // Asks for a script file and runs it. `currentDirectory` is the program's
  // current directory; the dialog starts in its "Script" folder.
  // True when the script was read and every command and reply reached
  // Result.txt.
  bool Run(const std::string& currentDirectory);
  // Runs the script at `path` without asking ("" behaves like a cancelled dialog).
  bool RunFile(const std::string& path);

  std::vector<std::string> CommandList;

 private:
  Display& display_;
  RunLogs& logs_;
  link::RouterLink& link_;
};

}  // namespace ramtune
