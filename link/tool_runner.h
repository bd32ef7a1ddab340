// Starting outside programs: the uploader with captured output, and any
// command line without a window.
#pragma once

#include <string>

#include "core/logs.h"
#include "core/seams.h"
#include "core/settings.h"
#include "link/target.h"

namespace ramtune::link {

constexpr int kUploaderLimitMs = 50000;
constexpr size_t kUploaderOutputBytes = 8192;

// How the uploader's last run ended, for the line that tells the user why
// an upload did not count.
struct UploaderEnd {
  int exitCode = -1;    // its exit status; -1 when it did not end by itself or did not start
  std::string failure;  // the failure line logged, empty when it ran to its end and printed
};

// The line of the uploader's output that says what went wrong: its first
// "curl:" line, else its last line that is not blank (progress meters
// overwrite themselves with carriage returns).
std::string UploaderErrorLine(const std::string& output);

class ToolRunner {
 public:
  ToolRunner(ProcessRunner& processes, Waits& waits, RunLogs& logs, const Settings& settings)
      : processes_(processes), waits_(waits), logs_(logs), settings_(settings) {}

  // Runs the uploader of the tool folder with the command line and captures
  // what it printed; `end` gets its exit status. False, after logging why,
  // when it could not be started, did not end in time or printed nothing.
  bool ExecuteConsoleCommand(const std::string& commandLine, std::string* output, UploaderEnd* end = nullptr);
  // True only when the uploader ended in time with status 0: curl ends so
  // only once the server has confirmed the whole transfer. Otherwise a
  // "[System]" line names the file, curl's status and its first error line.
  // The upload goes to `unit`'s address, by its route (Discovery::Addressed).
  bool UploadBootImage(const Target& unit);
  bool UploadFlashTool(const Target& unit);
  // Starts the Wi-Fi helper (kSsidToolFile) with one argument, without a
  // window, from the program's folder or else from a PATH folder; false
  // when it is in neither, cannot be started or still runs at the limit,
  // and in a run of a bench, which does not start it (StartsSsidTool).
  bool RunSsidTool(const std::string& argument, int limitMs);

  std::string UploaderPath() const;
  // The upload command line for a file of the tool folder.
  std::string UploadCommandLine(const std::string& fileName, const Target& unit) const;

 private:
  bool Upload(const std::string& fileName, const Target& unit, const char* okLine, const char* failLine);

  ProcessRunner& processes_;
  Waits& waits_;
  RunLogs& logs_;
  const Settings& settings_;
};

}  // namespace ramtune::link
