// The PC's network interfaces: which of them a router could answer on, the
// one the user chose, and the interfaces a request leaves by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/target.h"
#include "platform/platform.h"

namespace ramtune::link {

// The interface a command-line choice names, by name or by address; false
// when no interface has it.
bool FindInterface(const std::vector<platform::NetInterface>& interfaces, const std::string& choice,
                   platform::NetInterface* found);
// "eth1 10.77.0.1/255.255.255.0, link up" for lists shown to the user.
std::string DescribeInterface(const platform::NetInterface& network);
// One DescribeInterface line per interface, "  " before each; a line
// saying so when there is none.
std::string InterfaceListText(const std::vector<platform::NetInterface>& interfaces);
// A dotted IPv4 text as a number, first octet in the high byte; false when it is not one.
bool ParseDotted(const std::string& text, uint32_t* address);

// The interfaces as last listed and the user's choice among them. With one
// candidate interface (up, with a link and an IPv4 address) and none chosen,
// requests leave as the system routes them. With more, or with a choice,
// each request names its interface: until the router is chosen, discovery
// goes out on every candidate (a router is recorded once per interface it
// answers on) and commands go where the last answer came in; for a pinned
// target, everything leaves by its route.
// Not locked: its owner guards it.
class InterfaceSet {
 public:
  // Searches and talks on this interface only (its name or address).
  void Choose(const std::string& nameOrAddress) { choice_ = nameOrAddress; }
  void Update(const std::vector<platform::NetInterface>& all);

  bool NamesInterfaces(const Target& target) const;
  // A pinned route as the interfaces are now: found again by its name, with
  // index 0 while it is gone.
  Route Resolve(const Route& route) const;
  // The route of requests to `target`: its own once pinned, else `lastVia`
  // (where the last answer came in); the system's routing when neither names one.
  Route RouteTo(const Target& target, const Route& lastVia) const;
  // Where the next request leaves: one route, or every candidate while a
  // search has not settled on one.
  std::vector<Route> WaysOut(const Target& target, const Route& lastVia, bool command) const;
  // The interface a datagram came in on, from the index the system reported
  // or else from the source's subnet; false when it is not one the program
  // listens on (for a pinned target, only its route).
  bool ArrivalRoute(const Target& target, unsigned arrivalIndex, const std::string& sourceIp, Route* out) const;
  // Where a unicast cannot be tied to an interface (`tiesUnicast` false:
  // Windows XP) and another interface is in the router's network, the text
  // that says which one to disconnect; empty when the entry's route holds.
  std::string RouteRefusal(const DeviceEntry& chosen, bool tiesUnicast) const;
  // "[System]" lines saying what was tried and what to check when a search
  // series found nothing; `bound`: the service port is the program's.
  std::vector<std::string> NothingFoundHints(bool bound) const;

 private:
  std::string choice_;
  std::vector<platform::NetInterface> interfaces_;
  std::vector<platform::NetInterface> candidates_;
};

}  // namespace ramtune::link
