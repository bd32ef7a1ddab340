#include "link/router_link.h"

#include <cstring>

#include "core/programs.h"
#include "core/text.h"

namespace ramtune::link {
namespace {
constexpr int kBindAttempts = 12;
constexpr int kFirstSearchRounds = 20;
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
  return platform::NetInterface{route.index, route.name, route.localAddress, route.netmask, true, true};
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

RouterLink::RouterLink(const LinkServices& services) : s_(services) {
  CancelAction = [this] { s_.host.Exit(1); };
}

// ---- search ---------------------------------------------------------------------

void RouterLink::SetUpSocket() {
  s_.logs.AppendProcessLog("Start Create Socket...");
  if (!s_.transport.StartLibrary()) s_.display.MessageBox("starting windows sockets failed");
  if (!s_.transport.CreateSocket()) s_.display.MessageBox("Create socket failed");
  bool bound = false;
  for (int attempt = 1; !(bound = s_.transport.Bind(kServicePort)); ++attempt) {
    if (attempt >= kBindAttempts) break;  // go on unbound, without a message
    const intptr_t window = s_.host.FindTopLevelWindow(kCompetingUtilityTitle);
    if (window == 0) continue;
    if (!s_.display.AskYesNo(kCompetingUtilityQuestion)) {
      CancelAction();
      return;
    }
    s_.host.CloseWindowSync(window);
    s_.waits.PumpingDelay(1000);
  }
  bound_ = bound;
  if (!s_.transport.EnableBroadcast()) s_.display.MessageBox("setsockopt failed!!");
  ClearDeviceTable();
  RefreshInterfaces();
  s_.transport.StartListener(
      [this](const uint8_t* data, size_t length, const std::string& sourceIp, unsigned arrival) {
        OnDatagram(data, length, sourceIp, arrival);
      });
  socketReady_ = true;
}

bool RouterLink::SearchRouter() {
  s_.display.SetPhase(RunPhase::Searching, 0);
  if (!socketReady_) SetUpSocket();
  // Only a newly recorded router ends a search, so every attempt starts with
  // an empty table: otherwise a router found once (by an earlier run) would
  // never be found again and Retry could not reach it.
  ClearDeviceTable();
  s_.logs.AppendProcessLog("Search Device, Waiting a few seconds.........");
  s_.waits.PumpMessages(1);
  if (!SearchRounds(kFirstSearchRounds)) return false;
  s_.logs.AppendProcessLog("Search Model:" + Current().CurrentModel + "......OK!");
  return true;
}

bool RouterLink::SearchRounds(int rounds) {
  {
    platform::LockGuard lock(tableLock_);
    current_.FoundLabel.clear();
  }
  int progress = 0;
  for (int round = 0; round < rounds; ++round) {
    SendDiscoveryRound();
    s_.waits.PumpingDelay(1000);
    if (round % 4 == 3) {
      ++progress;
      s_.logs.AppendProcessLog(Format("[System]-Searching for LM-7210A/LM-7210B...%d", progress));
    }
    s_.waits.PumpMessages(1);
    if (!Current().FoundLabel.empty()) break;
  }
  return !Current().FoundLabel.empty();
}

void RouterLink::ClearDeviceTable() {
  platform::LockGuard lock(tableLock_);
  table_.clear();
}

void RouterLink::SendDiscoveryRound() {
  s_.processes.StartDetached(platform::SystemProgramPath(kArpProgram),
                             std::string(kArpProgram) + " -d");
  std::memset(sendBuffer_, 0, sizeof sendBuffer_);
  BuildDiscoveryRequest(sendBuffer_);
  listenMode_.store(kListenDiscovery);
  SendServicePacket();
}

void RouterLink::SendServicePacket() {
  // The links may change during a run (a reboot of the router takes its
  // link down and up again, an adapter may come back under another index).
  RefreshInterfaces();
  std::string destination = "255.255.255.255";
  std::vector<Route> ways;
  {
    platform::LockGuard lock(tableLock_);
    if (current_.UnicastMode) {
      destination = current_.SelectedIp;
      current_.DeviceIp = current_.SelectedIp;
    }
    ways = WaysOut(listenMode_.load() == kListenCommand);
  }
  for (const Route& way : ways) {
    if (way.SystemRouting()) {
      s_.transport.SendTo(destination, kServicePort, sendBuffer_, sizeof sendBuffer_);
    } else if (way.index != 0) {  // never by another interface while this one is gone
      s_.transport.SendVia(destination, kServicePort, sendBuffer_, sizeof sendBuffer_, InterfaceOf(way));
    }
  }
  s_.waits.PumpMessages(1);
}

void RouterLink::OnDatagram(const uint8_t* data, size_t length, const std::string& sourceIp,
                            unsigned arrivalIndex) {
  if (length > kPacketSize) return;
  switch (listenMode_.load()) {
    case kListenDiscovery: RecordDevice(data, length, sourceIp, arrivalIndex); break;
    case kListenCommand: DeliverResponse(data, length, arrivalIndex); break;
    default: break;
  }
}

bool RouterLink::ArrivalRoute(unsigned arrivalIndex, const std::string& sourceIp, Route* out) const {
  if (route_) {
    *out = *route_;
    return arrivalIndex != 0 ? arrivalIndex == route_->index : SameSubnet(InterfaceOf(*route_), sourceIp);
  }
  for (const platform::NetInterface& network : candidates_) {
    if (arrivalIndex != 0 ? network.index == arrivalIndex : SameSubnet(network, sourceIp)) {
      *out = RouteOf(network);
      return true;
    }
  }
  return false;
}

void RouterLink::RecordDevice(const uint8_t* data, size_t length, const std::string& sourceIp,
                              unsigned arrivalIndex) {
  DiscoveryInfo info;
  if (!ParseDiscoveryResponse(data, length, &info)) return;
  const MacAddress mac = info.Mac();
  platform::LockGuard lock(tableLock_);
  Route via;
  if (NamesInterfaces() && !ArrivalRoute(arrivalIndex, sourceIp, &via)) return;
  if (!targetPinned_) {
    current_.TargetMac = mac;
    targetVia_ = via;
  }
  if (targetPinned_ && alternateAccepted_ && mac == alternateMac_ && sourceIp == current_.SelectedIp) {
    current_.TargetMac = mac;
  }
  // Two units reset to the factory share a MAC: the interface tells them apart.
  for (const DeviceEntry& entry : table_) {
    if (entry.Mac == mac && entry.Via.name == via.name) return;
  }
  if (info.ModeByte() > 1) return;
  if (table_.size() >= kDeviceTableCapacity) return;
  DeviceEntry entry;
  entry.Model = info.Model();
  entry.Ip = sourceIp;
  entry.MacText = MacDigits(mac);
  entry.Label = info.Label();
  entry.Mac = mac;
  entry.Via = via;
  table_.push_back(entry);
  current_.FoundLabel = entry.Label;
  current_.DeviceIp = entry.Ip;
  current_.CurrentMacText = entry.MacText;
  current_.CurrentModel = entry.Model;
}

std::vector<DeviceEntry> RouterLink::DeviceTable() const {
  platform::LockGuard lock(tableLock_);
  return table_;
}

CurrentRouter RouterLink::Current() const {
  platform::LockGuard lock(tableLock_);
  return current_;
}

void RouterLink::SetUnicastMode(bool on) {
  platform::LockGuard lock(tableLock_);
  current_.UnicastMode = on;
}

void RouterLink::SetSelectedIp(const std::string& ip) {
  platform::LockGuard lock(tableLock_);
  current_.SelectedIp = ip;
}

void RouterLink::SetDeviceIp(const std::string& ip) {
  platform::LockGuard lock(tableLock_);
  current_.DeviceIp = ip;
}

void RouterLink::SetCurrentModel(const std::string& model) {
  platform::LockGuard lock(tableLock_);
  current_.CurrentModel = model;
}

void RouterLink::SetCurrentMacText(const std::string& macText) {
  platform::LockGuard lock(tableLock_);
  current_.CurrentMacText = macText;
}

void RouterLink::PinTarget(const MacAddress& mac) {
  platform::LockGuard lock(tableLock_);
  current_.TargetMac = mac;
  targetPinned_ = true;
}

void RouterLink::AcceptTargetAlsoAs(const MacAddress& mac) {
  platform::LockGuard lock(tableLock_);
  alternateMac_ = mac;
  alternateAccepted_ = true;
}

void RouterLink::ReleaseTarget() {
  platform::LockGuard lock(tableLock_);
  targetPinned_ = false;
  alternateAccepted_ = false;
  route_.reset();
}

// ---- interfaces ---------------------------------------------------------------------

void RouterLink::RefreshInterfaces() {
  std::vector<platform::NetInterface> all = s_.transport.ListInterfaces();
  platform::LockGuard lock(tableLock_);
  interfaces_ = all;
  candidates_.clear();
  for (const platform::NetInterface& network : all) {
    if (!Usable(network)) continue;
    if (!choice_.empty() && network.name != choice_ && network.address != choice_) continue;
    candidates_.push_back(network);
  }
  if (!route_ || route_->SystemRouting()) return;
  // The route's link may be back under another index or address; while it
  // is gone, nothing is sent rather than sent elsewhere.
  route_->index = 0;
  for (const platform::NetInterface& network : all) {
    if (network.name == route_->name && Usable(network)) route_ = RouteOf(network);
  }
}

bool RouterLink::NamesInterfaces() const {
  if (route_) return !route_->SystemRouting();
  return !choice_.empty() || candidates_.size() > 1;
}

Route RouterLink::TargetRouteLocked() const {
  if (route_) return *route_;
  return NamesInterfaces() ? targetVia_ : Route{};
}

Route RouterLink::TargetRoute() const {
  platform::LockGuard lock(tableLock_);
  return TargetRouteLocked();
}

std::vector<Route> RouterLink::WaysOut(bool command) const {
  const Route target = TargetRouteLocked();
  if (route_ || !NamesInterfaces() || (command && !target.SystemRouting())) return {target};
  std::vector<Route> each;
  for (const platform::NetInterface& network : candidates_) each.push_back(RouteOf(network));
  return each;
}

void RouterLink::ChooseInterface(const std::string& nameOrAddress) {
  {
    platform::LockGuard lock(tableLock_);
    choice_ = nameOrAddress;
  }
  RefreshInterfaces();
}

std::string RouterLink::FixRoute(const DeviceEntry& chosen) {
  const bool tiesUnicast = s_.transport.CanChooseInterface();
  platform::LockGuard lock(tableLock_);
  std::string others;
  // Where a unicast cannot be tied, it leaves by whichever interface the
  // system picks for the router's network.
  for (const platform::NetInterface& network : interfaces_) {
    if (tiesUnicast || chosen.Via.SystemRouting() || network.name == chosen.Via.name) continue;
    if (!Usable(network) || !SameSubnet(network, chosen.Ip)) continue;
    others += (others.empty() ? "" : ", ") + network.name;
  }
  if (!others.empty()) {
    return "The router answered on " + chosen.Via.name + ", but " + others +
           " is in the router's network too, and this version of Windows cannot send the commands "
           "through one interface only. Disconnect " + others + " for the upgrade, then press Retry.";
  }
  route_ = chosen.Via;
  return "";
}

std::vector<std::string> RouterLink::NothingFoundHints() const {
  platform::LockGuard lock(tableLock_);
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
  if (!bound_) {
    lines.push_back(kHint + std::string("UDP port 9999 is held by another program: close it and press Retry."));
  }
  if (!candidates_.empty() && bound_) {
    lines.push_back(kHint + std::string("Check that the PC's firewall lets this program receive UDP port 9999."));
    lines.push_back(kHint + std::string("The router may still be starting: wait a minute and press Retry."));
    lines.push_back(kHint + std::string("Check that the PC's address is in the router's network."));
  }
  return lines;
}

// ---- command channel --------------------------------------------------------------

void RouterLink::SendCommand(const std::string& command, int limitMs) {
  if (command.size() > kTextFieldSize) {
    // Cut to the field it would run as another command: it is not sent, and
    // the caller sees no answer. An answer still due to the command before
    // does not count for this one either.
    {
      platform::LockGuard lock(responseLock_);
      responseText_.clear();
      awaiting_.store(false);
    }
    s_.logs.AppendProcessLog(Format("Command not sent: %d bytes, a command carries at most %d",
                                    static_cast<int>(command.size()), static_cast<int>(kTextFieldSize)));
    return;
  }
  const MacAddress target = Current().TargetMac;
  {
    platform::LockGuard lock(responseLock_);
    responseText_.clear();
    const CommandBlock block = MakeCommandBlock(command);
    awaiting_.store(true);
    std::memset(sendBuffer_, 0, sizeof sendBuffer_);
    awaitedSequence_ = BuildCommandRequest(sendBuffer_, target, ZeroBlock{}, block);
    awaitedMac_ = target;
  }
  listenMode_.store(kListenCommand);
  SendServicePacket();
  if (limitMs <= 0) return;
  const int64_t start = s_.waits.clock().ProcessClockMs();
  while (awaiting_.load() && s_.waits.clock().ProcessClockMs() - start <= limitMs) {
    s_.waits.PumpMessages(1);
  }
}

void RouterLink::DeliverResponse(const uint8_t* data, size_t length, unsigned arrivalIndex) {
  {
    // An answer from another link is not from the router of this run.
    platform::LockGuard lock(tableLock_);
    const Route target = TargetRouteLocked();
    if (!target.SystemRouting() && arrivalIndex != 0 && arrivalIndex != target.index) return;
  }
  CheckOutcome outcome = CheckOutcome::NoMatch;
  {
    platform::LockGuard lock(responseLock_);
    if (!awaiting_.load()) return;
    ResultBlock result;
    outcome = ParseCommandResponse(data, length, awaitedSequence_, awaitedMac_, &result);
    if (outcome == CheckOutcome::Success) {
      responseText_ += result.Text();
      awaiting_.store(false);
      return;
    }
  }
  // The box is shown outside the lock, so that the waiting side is never
  // stuck behind a modal box.
  if (outcome == CheckOutcome::PasswordError) s_.display.MessageBox("NET_RES_ERR_PASSWORD");
  if (outcome == CheckOutcome::FieldError) s_.display.MessageBox("NET_RES_ERR_FIELD_UNDEF");
}

void RouterLink::QueryMtd0Value(const std::string& key) {
  SendCommand("cat /dev/mtd0 | grep " + key, 1000);
  platform::LockGuard lock(responseLock_);
  const std::string line = FirstLine(responseText_);
  responseText_ = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
}

std::string RouterLink::ResponseText() const {
  platform::LockGuard lock(responseLock_);
  return responseText_;
}

}  // namespace ramtune::link
