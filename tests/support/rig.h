// Everything a test needs to drive the program in virtual time: the clock,
// the recording display, the scripted network with one healthy router, the
// fake processes and host, and the main dialog's logic on top of them.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/upgrade_tool_dlg.h"
#include "support/doubles.h"
#include "support/scripted_router.h"
#include "support/virtual_time.h"

namespace ramtune::test {

class Rig {
 public:
  Rig();
  ~Rig();

  RouterModel& router(size_t i = 0) { return network.routers.at(i); }
  // The program's logic again on another front end (clock, display and
  // host in one), with the same settings, network and processes.
  void UseFrontEnd(Clock& clock, Display& display, Host& host);
  // The first search and the whole run, as the search timer would start them.
  // Returns the exit code when the program ended the process, else -1.
  int SearchAndRun();
  // Runs timers and messages until nothing is left; returns the exit code
  // when the process was ended, else -1.
  int RunMessages(int64_t limitMs = 3600 * 1000);

  // Lines of a log file (without their CR LF); empty when the file is missing.
  static std::vector<std::string> FileLines(const std::string& path);
  // Process log lines as written (the list shows the same lines).
  std::vector<std::string> ProcessLog() const { return FileLines(dlg->logs.ProcessLogPath); }
  std::vector<std::string> DataLog() const { return FileLines(dlg->logs.DataLogPath); }
  // The last `n` display events before the recovery hint, the lines that
  // follow every failure once the router has been changed; empty when the
  // events do not end with that hint.
  std::vector<std::string> EventsBeforeRecoveryHint(size_t n) const;
  // Where a front end ends the process: a final ending of the session
  // ends the test's run (ProcessExit with the program's code).
  static void EndIfFinal(const std::optional<Ending>& ending);
  // The commands the first router received.
  const std::vector<std::string>& Commands() { return router().commands; }

  std::string folder;  // a fresh temporary current directory
  VirtualClock clock;
  RecordingDisplay display{clock};
  ScriptedNetwork network{clock};
  FakeProcesses processes;
  FakeHost host;
  std::unique_ptr<CUpgradeToolDlg> dlg;

 private:
  std::filesystem::path ledgerFolder_;  // the rig's folder, or its twin in /dev/shm
};

}  // namespace ramtune::test
