// What the PC's requests are addressed to: the interface they leave by (a
// Route), a router the search recorded (a DeviceEntry) and the unit a run
// works on (a Target).
#pragma once

#include <string>

#include "link/packets.h"

namespace ramtune::link {

// The interface one run talks to its router through: fixed from the chosen
// router's entry, it carries every request of the run, the readiness polls,
// the search after the reboot and the upload, and only answers that come in
// on it count. After a reboot the interface is found again by its name.
struct Route {
  std::string name;          // empty: as the system routes (one interface, none chosen)
  unsigned index = 0;        // the system's index now; 0 while the interface is gone
  std::string localAddress;  // the PC's own address on it
  std::string netmask;
  bool SystemRouting() const { return name.empty(); }
};

struct DeviceEntry {
  std::string Model;
  std::string Ip;
  std::string MacText;  // twelve upper-case hexadecimal digits
  std::string Label;
  MacAddress Mac{};
  // The interface the answer came in on; the system's routing while the
  // search does not name interfaces (one interface, none chosen).
  Route Via;
};

// The unit a run works on, passed with every request. The run's choice of
// its router pins it to that router's entry: from then on every command is
// addressed to its MAC and every request leaves by its route only. Until
// then a command goes to whichever router answered the search last, by the
// interface it answered on.
struct Target {
  std::string ip;        // the unit's address: the upload's host, and where requests go when `unicast`
  bool unicast = false;  // false: requests go to the broadcast address
  bool pinned = false;   // `mac` and `route` are the unit's own
  MacAddress mac{};
  std::string macText;   // as the labels and the log names show it
  std::string model;
  Route route;

  // The unit of a router's entry, chosen: pinned, and asked by unicast.
  static Target Chosen(const DeviceEntry& entry) {
    return Target{entry.Ip, true, true, entry.Mac, entry.MacText, entry.Model, entry.Via};
  }
  // The unit's address, for requests that no longer hold it: unpinned, and
  // still asked by unicast when it was.
  Target Released() const {
    Target released;
    released.ip = ip;
    released.unicast = unicast;
    return released;
  }
  // A router recorded but not chosen: its address and names; requests are
  // still broadcast and commands follow the last answer.
  static Target Unchosen(const DeviceEntry& entry) {
    return Target{entry.Ip, false, false, entry.Mac, entry.MacText, entry.Model, entry.Via};
  }
};

}  // namespace ramtune::link
