// ramtune: the console front end. Builds the main dialog's logic on the
// terminal, runs the start-up checks and then the event loop.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/bench/child_channel.h"
#include "app/bench/watch.h"
#include "app/console/bench_main.h"
#include "app/console/front_end.h"
#include "app/console/options.h"
#include "app/console/run_guard.h"
#include "app/history.h"
#include "core/platform_processes.h"
#include "app/startup.h"
#include "app/upgrade_tool_dlg.h"
#include "link/udp_transport.h"
#include "platform/platform.h"

namespace {

using namespace ramtune;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "ramtune: %s\n\n%s", message.c_str(), console::HelpText().c_str());
  return console::kExitUsage;
}

// --script FILE: the script and Result.txt must open before any socket is
// opened or anything is sent. "-" names no file yet: the path is asked later.
bool ScriptFilesOpen(const std::string& scriptFile) {
  std::string text;
  if (scriptFile != "-" && !platform::ReadFilePrefix(scriptFile, kScriptReadBytes, &text)) {
    std::fprintf(stderr, "ramtune: cannot open the script file '%s'; nothing was sent.\n", scriptFile.c_str());
    return false;
  }
  if (!platform::AppendToFile(kResultFile, "")) {
    std::fprintf(stderr, "ramtune: cannot write '%s' in the current directory; nothing was sent.\n",
                 kResultFile);
    return false;
  }
  return true;
}

// --script: instead of the warning and the upgrade, find the router once and
// send it the commands of a script file (the file answers the open-file
// dialog; "-" asks for the path). The replies go to Result.txt.
int RunScriptFile(console::FrontEnd& frontEnd, CUpgradeToolDlg& dlg) {
  bool answered = false;
  if (std::optional<Ending> ended = dlg.SearchOnce(&answered)) frontEnd.Finish(*ended);
  if (!answered) {
    frontEnd.Settle();
    frontEnd.Say(stderr, "ramtune: no router answered; nothing was sent.");
    return console::kExitNoRouter;
  }
  const bool ran = dlg.RunScript();
  frontEnd.Settle();
  if (!ran) {
    frontEnd.Say(stderr, std::string("ramtune: the script could not be run or its replies could not all be "
                                     "written to ") + kResultFile + ".");
    return console::kExitNoInput;
  }
  frontEnd.Say(stdout, std::string("Commands and replies were appended to ") + kResultFile +
                           " in the current directory.");
  return console::kExitCompleted;
}

// --history: every unit of the unit ledger, as a table or as CSV. No
// router, no start-up check, no network.
int ShowHistory(const console::Options& options) {
  const std::string path = LedgerPathFor(options.ledger, platform::ExecutableFolder());
  std::vector<upgrade::LedgerUnit> units;
  std::string error;
  // The table lists each unit once; the CSV every run of every unit.
  if (!ReadHistory(path, &units, &error, !options.csvFile.empty())) {
    std::fprintf(stderr, "ramtune: %s\n", error.c_str());
    return console::kExitLedger;
  }
  if (options.csvFile.empty()) {
    std::fputs(HistoryText(path, units).c_str(), stdout);
    return console::kExitCompleted;
  }
  const std::string csv = HistoryCsv(units);
  if (options.csvFile == "-") {
    std::fwrite(csv.data(), 1, csv.size(), stdout);
    return console::kExitCompleted;
  }
  if (!platform::ReplaceFileDurably(options.csvFile, csv, &error)) {
    std::fprintf(stderr, "ramtune: --csv: %s cannot be written (%s).\n", options.csvFile.c_str(), error.c_str());
    return console::kExitNoInput;
  }
  std::printf("Unit ledger: %s: %zu run(s) written to %s\n", path.c_str(), units.size(), options.csvFile.c_str());
  return console::kExitCompleted;
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
  // A reader that went away must not kill the run halfway through a flash,
  // nor a bench while its units finish.
  signal(SIGPIPE, SIG_IGN);
  if (options.all) return console::RunBenchConsole(options);
  if (options.version) {
    std::printf("ramtune %s (bootloader image %s)\n", RAMTUNE_VERSION, kBootImageVersion);
    return 0;
  }
  if (options.history) return ShowHistory(options);
  if (options.listInterfaces) {
    std::fputs(link::InterfaceListText(platform::ListInterfaces()).c_str(), stdout);
    return 0;
  }
  if (!options.interfaceChoice.empty() &&
      !link::FindInterface(platform::ListInterfaces(), options.interfaceChoice, nullptr)) {
    std::fprintf(stderr, "ramtune: --interface: no network interface is named or has the address '%s'. "
                         "The interfaces are:\n%s",
                 options.interfaceChoice.c_str(), link::InterfaceListText(platform::ListInterfaces()).c_str());
    return console::kExitUsage;
  }
  if (!options.scriptFile.empty() && !ScriptFilesOpen(options.scriptFile)) return console::kExitNoInput;

  console::FrontEnd frontEnd(isatty(STDIN_FILENO) == 1, console::StandardOutputCaps());
  console::CommandLineAnswers answers(options, frontEnd, [&frontEnd](const std::string& note) {
    frontEnd.Say(stdout, note);
  });
  frontEnd.AnswerWith(&answers);
  // A search or a run started by a bench: tied to its link, reporting to it.
  const bool ofBench = options.benchChild.Active();
  platform::NetInterface benchLink;
  if (ofBench && !link::FindInterface(platform::ListInterfaces(), options.interfaceChoice, &benchLink)) {
    return UsageError("--bench-events needs the --interface of the run's link");
  }
  // The bench's channel, kept from what this run starts (curl, arp); the
  // bench's stop request is taken from here on.
  bench::ParentChannel parent;
  std::string channelError;
  if (ofBench && !parent.Open(options.benchChild.channel, &channelError)) {
    return UsageError("--bench-events: " + channelError);
  }
  bench::BenchChannel channel(parent);
  if (ofBench) frontEnd.AttachBench(&channel);
  link::UdpTransport plainTransport;
  link::LinkTiedTransport tiedTransport(benchLink.name, [&frontEnd](const std::string& message) {
    frontEnd.FailAndExit(message, upgrade::RunOutcome::Failed);
  });
  link::UdpTransport& transport = ofBench ? tiedTransport : plainTransport;
  PlatformProcesses processes;
  CUpgradeToolDlg dlg(AppServices{frontEnd, frontEnd, transport, processes, frontEnd});
  frontEnd.Attach(&dlg);
  dlg.Observe(frontEnd);
  if (ofBench) dlg.Observe(channel);
  // A single run's Ctrl+C waits while the unit it changed is written back.
  console::ChangedRunGuard guard;
  if (!ofBench) {
    dlg.Observe(guard);
    frontEnd.AttachGuard(&guard);
  }

  if (!options.ledger.empty()) dlg.settings.LedgerPath = options.ledger;
  if (!options.restoreFile.empty()) {
    upgrade::RunMode restore = upgrade::RunMode::RestoreFrom(options.restoreFile);
    restore.intoMac = options.intoMac;
    dlg.Request(restore);
  }
  if (!options.benchChild.unit.empty()) dlg.PlanUnit(options.benchChild.unit);
  dlg.settings.BenchSlot = options.benchChild.slot;
  dlg.settings.BenchSession = options.benchChild.session;
  dlg.settings.StartsSsidTool = !ofBench;
  if (options.backup) dlg.Request(upgrade::RunMode::Backup());
  if (options.verify) dlg.Request(upgrade::RunMode::CheckAgainst(options.verifyFile));
  if (!options.interfaceChoice.empty()) dlg.ChooseInterface(options.interfaceChoice);
  StartupSystem ownSystem;
  BenchChildStartup benchSystem;
  if (std::optional<Ending> ended = RunStartup(dlg, ofBench ? benchSystem : ownSystem)) frontEnd.Finish(*ended);
  if (ofBench && options.benchChild.search) frontEnd.Finish(bench::ReportSearch(dlg, channel, benchLink.name));
  if (ofBench && options.benchChild.watch) frontEnd.Finish(bench::WatchLink(dlg, channel, benchLink.name));
  if (!options.scriptFile.empty()) return RunScriptFile(frontEnd, dlg);
  return frontEnd.RunEventLoop();
}
