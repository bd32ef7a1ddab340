// The engineering script runner: sends the lines of a ".script" file to the
// router one after the other and appends every command and its reply to
// "Result.txt" in the current directory.
#pragma once

#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
#include "link/command_channel.h"

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
  ScriptRunner(Display& display, RunLogs& logs, link::CommandChannel& channel)
      : display_(display), logs_(logs), channel_(channel) {}

  // Asks for a script file and runs it. `currentDirectory` is the program's
  // current directory; the dialog starts in its "Script" folder.
  // True when the script was read and every command and reply reached
  // Result.txt. The commands go to `unit`.
  bool Run(const std::string& currentDirectory, const link::Target& unit);
  // Runs the script at `path` without asking ("" behaves like a cancelled dialog).
  bool RunFile(const std::string& path, const link::Target& unit);

  std::vector<std::string> CommandList;

 private:
  Display& display_;
  RunLogs& logs_;
  link::CommandChannel& channel_;
};

}  // namespace ramtune
