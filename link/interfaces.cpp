#include "link/interfaces.h"

namespace ramtune::link {
namespace {
const char* const kHint = "[System]-";

bool SameSubnet(const platform::NetInterface& network, const std::string& ip) {
  uint32_t local = 0, mask = 0, other = 0;
  if (!ParseDotted(network.address, &local) || !ParseDotted(network.netmask, &mask) ||
      !ParseDotted(ip, &other)) {
    return false;
  }
  return (local & mask) == (other & mask);
}

platform::NetInterface InterfaceOf(const Route& route) {
  return platform::NetInterface{route.index, route.name, route.localAddress, route.netmask, true, true, ""};
}

// Up, with a link and an IPv4 address: a router could answer there.
bool Usable(const platform::NetInterface& network) {
  return network.up && network.hasLink && !network.address.empty();
}

Route RouteOf(const platform::NetInterface& network) {
  return Route{network.name, network.index, network.address, network.netmask};
}
}  // namespace

bool ParseDotted(const std::string& text, uint32_t* address) {
  uint32_t value = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    uint32_t part = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      part = part * 10 + static_cast<uint32_t>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (part > 255) return false;
    value = value << 8 | part;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  *address = value;
  return true;
}

std::string InterfaceListText(const std::vector<platform::NetInterface>& interfaces) {
  if (interfaces.empty()) return "  (no network interface that can broadcast)\n";
  std::string text;
  for (const platform::NetInterface& network : interfaces) text += "  " + DescribeInterface(network) + "\n";
  return text;
}

bool FindInterface(const std::vector<platform::NetInterface>& interfaces, const std::string& choice,
                   platform::NetInterface* found) {
  for (const platform::NetInterface& network : interfaces) {
    if (choice.empty() || (network.name != choice && network.address != choice)) continue;
    if (found != nullptr) *found = network;
    return true;
  }
  return false;
}

std::string DescribeInterface(const platform::NetInterface& network) {
  std::string text = network.name + " ";
  text += network.address.empty() ? "(no IPv4 address)" : network.address + "/" + network.netmask;
  text += !network.up ? ", switched off" : network.hasLink ? ", link up" : ", no link";
  return text;
}

void InterfaceSet::Update(const std::vector<platform::NetInterface>& all) {
  interfaces_ = all;
  candidates_.clear();
  for (const platform::NetInterface& network : all) {
    if (!Usable(network)) continue;
    if (!choice_.empty() && network.name != choice_ && network.address != choice_) continue;
    candidates_.push_back(network);
  }
}

bool InterfaceSet::NamesInterfaces(const Target& target) const {
  if (target.pinned) return !target.route.SystemRouting();
  return !choice_.empty() || candidates_.size() > 1;
}

Route InterfaceSet::Resolve(const Route& route) const {
  if (route.SystemRouting()) return route;
  // The link may be back under another index or address; while it is gone,
  // nothing is sent rather than sent elsewhere.
  Route now = route;
  now.index = 0;
  for (const platform::NetInterface& network : interfaces_) {
    if (network.name == route.name && Usable(network)) now = RouteOf(network);
  }
  return now;
}

Route InterfaceSet::RouteTo(const Target& target, const Route& lastVia) const {
  if (target.pinned) return Resolve(target.route);
  return NamesInterfaces(target) ? lastVia : Route{};
}

std::vector<Route> InterfaceSet::WaysOut(const Target& target, const Route& lastVia, bool command) const {
  const Route route = RouteTo(target, lastVia);
  if (target.pinned || !NamesInterfaces(target) || (command && !route.SystemRouting())) return {route};
  std::vector<Route> each;
  for (const platform::NetInterface& network : candidates_) each.push_back(RouteOf(network));
  return each;
}

bool InterfaceSet::ArrivalRoute(const Target& target, unsigned arrivalIndex, const std::string& sourceIp,
                                Route* out) const {
  if (target.pinned) {
    *out = Resolve(target.route);
    return arrivalIndex != 0 ? arrivalIndex == out->index : SameSubnet(InterfaceOf(*out), sourceIp);
  }
  for (const platform::NetInterface& network : candidates_) {
    if (arrivalIndex != 0 ? network.index == arrivalIndex : SameSubnet(network, sourceIp)) {
      *out = RouteOf(network);
      return true;
    }
  }
  return false;
}

std::string InterfaceSet::RouteRefusal(const DeviceEntry& chosen, bool tiesUnicast) const {
  std::string others;
  // Where a unicast cannot be tied, it leaves by whichever interface the
  // system picks for the router's network.
  for (const platform::NetInterface& network : interfaces_) {
    if (tiesUnicast || chosen.Via.SystemRouting() || network.name == chosen.Via.name) continue;
    if (!Usable(network) || !SameSubnet(network, chosen.Ip)) continue;
    others += (others.empty() ? "" : ", ") + network.name;
  }
  if (others.empty()) return "";
  return "The router answered on " + chosen.Via.name + ", but " + others +
         " is in the router's network too, and this version of Windows cannot send the commands "
         "through one interface only. Disconnect " + others + " for the upgrade, then press Retry.";
}

std::vector<std::string> InterfaceSet::NothingFoundHints(bool bound) const {
  std::vector<std::string> lines;
  for (const platform::NetInterface& network : interfaces_) {
    bool searched = false;
    for (const platform::NetInterface& candidate : candidates_) searched |= candidate.index == network.index;
    if (searched) {
      lines.push_back(kHint + std::string("Searched on ") + DescribeInterface(network));
    } else {
      const bool chosen = choice_.empty() || network.name == choice_ || network.address == choice_;
      lines.push_back(kHint + std::string("Not searched: ") + DescribeInterface(network) +
                      (chosen ? "" : " (not the chosen interface)"));
    }
  }
  if (!choice_.empty() && !FindInterface(interfaces_, choice_, nullptr)) {
    lines.push_back(kHint + std::string("The chosen interface ") + choice_ + " is not there any more.");
  }
  bool anyLink = false;
  bool anyAddress = false;
  for (const platform::NetInterface& network : interfaces_) {
    anyLink |= network.up && network.hasLink;
    anyAddress |= network.up && network.hasLink && !network.address.empty();
  }
  if (!anyLink) {
    lines.push_back(kHint + std::string("No network interface has a link: check the cable (or the Wi-Fi connection)."));
  } else if (!anyAddress) {
    lines.push_back(kHint + std::string("No interface with a link has an IPv4 address: give the PC an address in the router's network."));
  }
  if (!bound) {
    lines.push_back(kHint + std::string("UDP port 9999 is held by another program: close it and press Retry."));
  }
  if (!candidates_.empty() && bound) {
    lines.push_back(kHint + std::string("Check that the PC's firewall lets this program receive UDP port 9999."));
    lines.push_back(kHint + std::string("The router may still be starting: wait a minute and press Retry."));
    lines.push_back(kHint + std::string("Check that the PC's address is in the router's network."));
  }
  return lines;
}

}  // namespace ramtune::link
