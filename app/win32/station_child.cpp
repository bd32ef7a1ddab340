#include "app/win32/station_child.h"

#include <cstdio>

#include "app/bench/child_front_end.h"
#include "app/bench/watch.h"
#include "app/startup.h"
#include "app/upgrade_tool_dlg.h"
#include "core/platform_processes.h"
#include "core/system_time.h"
#include "link/interfaces.h"
#include "link/udp_transport.h"
#include "platform/platform.h"

namespace ramtune::win32 {
namespace {

// The station reads the child's standard output line by line.
void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

[[noreturn]] void Refuse(const std::string& message) {
  WriteLine("Ramtune.exe: " + message);
  platform::ExitProcess(upgrade::ExitStatusOf(upgrade::RunOutcome::CommandLineError));
}

}  // namespace

void RunStationChild(const Options& options) {
  platform::NetInterface adapter;
  if (!link::FindInterface(platform::ListInterfaces(), options.interfaceAddress, &adapter)) {
    Refuse("a station's run needs the /interface of its adapter; no adapter has the name or address '" +
           options.interfaceAddress + "'");
  }
  bench::ParentChannel parent;
  std::string error;
  if (!parent.Open(options.benchChild.channel, &error)) Refuse("--bench-events: " + error);
  bench::BenchChannel channel(parent);
  SystemTime time;
  // The socket is closed before the child ends, so that the next child on
  // this adapter can hold the port at once.
  link::LinkTiedTransport* socket = nullptr;
  bench::ChildFrontEnd frontEnd(time, channel, bench::ChildAnswers{options.acceptWarning, options.yesNo},
                                WriteLine, [&socket](int status) {
                                  if (socket != nullptr) socket->Close();
                                  platform::ExitProcess(status);
                                });
  // Bound to the adapter's own address: each child of the station holds the
  // service port on its adapter.
  link::LinkTiedTransport transport(options.interfaceAddress, [&frontEnd](const std::string& message) {
    frontEnd.FailAndExit(message, upgrade::RunOutcome::Failed);
  });
  socket = &transport;
  PlatformProcesses processes;
  CUpgradeToolDlg dlg(AppServices{frontEnd, frontEnd, transport, processes, frontEnd});
  frontEnd.Attach(&dlg);
  dlg.Observe(frontEnd);
  dlg.Observe(channel);
  dlg.settings.StartsSsidTool = false;
  RequestRun(options, dlg);
  if (!options.benchChild.unit.empty()) dlg.PlanUnit(options.benchChild.unit);
  dlg.settings.BenchSlot = options.benchChild.slot;
  dlg.settings.BenchSession = options.benchChild.session;
  dlg.ChooseInterface(options.interfaceAddress);
  BenchChildStartup system;
  if (std::optional<Ending> ended = RunStartup(dlg, system)) frontEnd.Finish(*ended);
  // The station knows the link by what it gave as /interface (the adapter's
  // address): what was found is reported under that, not under the adapter's name.
  if (options.benchChild.search) frontEnd.Finish(bench::ReportSearch(dlg, channel, options.interfaceAddress));
  if (options.benchChild.watch) frontEnd.Finish(bench::WatchLink(dlg, channel, options.interfaceAddress));
  frontEnd.Run();
}

}  // namespace ramtune::win32
