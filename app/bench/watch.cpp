#include "app/bench/watch.h"

#include <vector>

#include "platform/platform.h"

namespace ramtune::bench {

std::string LinkStateOf(const std::string& device) {
  for (const platform::NetInterface& network : platform::ListInterfaces()) {
    if (network.name == device) return network.up && network.hasLink ? "up" : "down";
  }
  return "down";
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
