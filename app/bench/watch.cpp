#include "app/bench/watch.h"

#include <vector>

#include "platform/platform.h"

namespace ramtune::bench {

std::string LinkStateOf(const std::string& device) {
  for (const platform::NetInterface& network : platform::ListInterfaces()) {
    if (network.name == device || network.address == device) return network.up && network.hasLink ? "up" : "down";
  }
  return "down";
}

Ending ReportSearch(CUpgradeToolDlg& dlg, BenchChannel& channel, const std::string& device) {
  bool found = false;
  std::vector<link::DeviceEntry> answers;
  if (std::optional<Ending> ended = dlg.SearchOnce(&found, &answers)) return *ended;
  for (const link::DeviceEntry& entry : answers) {
    channel.Send(EventKind::Found, {device, entry.MacText, entry.Model, entry.Ip, entry.Label});
  }
  return dlg.Stop(found ? upgrade::RunOutcome::Completed : upgrade::RunOutcome::NoRouter);
}

Ending WatchLink(CUpgradeToolDlg& dlg, BenchChannel& channel, const std::string& device) {
  for (;;) {
    std::vector<link::DeviceEntry> answers;
    if (std::optional<Ending> ended = dlg.WatchRound(kWatchRoundMs, &answers)) return *ended;
    for (const link::DeviceEntry& entry : answers) {
      channel.Send(EventKind::Found, {device, entry.MacText, entry.Model, entry.Ip, entry.Label});
    }
    channel.Send(EventKind::Round, {LinkStateOf(device)});
  }
}

}  // namespace ramtune::bench
