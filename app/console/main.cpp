// ramtune: the console front end. Builds the main dialog's logic on the
// terminal, runs the start-up checks and then the event loop.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/console/front_end.h"
#include "app/console/options.h"
#include "app/startup.h"
#include "app/upgrade_tool_dlg.h"
#include "link/udp_transport.h"

namespace {

using namespace ramtune;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "ramtune: %s\nTry 'ramtune --help'.\n", message.c_str());
  return console::kExitUsage;
}

// Hook for the script runner. --script FILE already answers the open-file
// dialog of RUN SCRIPT (FrontEnd::ChooseFile returns FILE), so once the runner
// exists this only has to start it after start-up:
//   RunStartup(dlg, system); dlg.RunScript(); then end with a status.
// TODO(script runner): replace the refusal by that.
int RunScriptFile(const console::Options& /*options*/) {
  return UsageError("--script: the script runner is not available in this build yet");
}

}  // namespace

int main(int argc, char** argv) {
  const console::ParsedOptions parsed =
      console::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) return UsageError(parsed.error);
  const console::Options& options = parsed.options;
  if (options.help) {
    std::fputs(console::HelpText().c_str(), stdout);
    return 0;
  }
  if (!options.scriptFile.empty()) return RunScriptFile(options);

  // A reader that went away must not kill the run halfway through a flash.
  signal(SIGPIPE, SIG_IGN);

  console::FrontEnd frontEnd(options, isatty(STDIN_FILENO) == 1);
  link::UdpTransport transport;
  console::PlatformProcesses processes;
  CUpgradeToolDlg dlg(AppServices{frontEnd, frontEnd, transport, processes, frontEnd});
  frontEnd.Attach(&dlg);

  StartupSystem system;
  RunStartup(dlg, system);
  return frontEnd.RunEventLoop();
}
