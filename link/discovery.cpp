#include "link/discovery.h"

#include <cstring>

#include "core/programs.h"
#include "core/text.h"

namespace ramtune::link {
namespace {
constexpr int kBindAttempts = 12;
constexpr int kFirstSearchRounds = 20;
}  // namespace

Discovery::Discovery(const LinkServices& services) : s_(services) {}

bool Discovery::SetUpSocket() {
  s_.logs.AppendProcessLog("Start Create Socket...");
  if (!s_.transport.StartLibrary()) s_.display.MessageBox("starting windows sockets failed");
  if (!s_.transport.CreateSocket()) s_.display.MessageBox("Create socket failed");
  bool bound = false;
  for (int attempt = 1; !(bound = s_.transport.Bind(kServicePort)); ++attempt) {
    if (attempt >= kBindAttempts) break;  // go on unbound, without a message
    const intptr_t window = s_.host.FindTopLevelWindow(kCompetingUtilityTitle);
    if (window == 0) continue;
    // No: the session ends the program, as Exit does.
    if (!s_.display.AskYesNo(kCompetingUtilityQuestion)) {
      utilityKept_ = true;
      return false;
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
  return true;
}

bool Discovery::SearchRouter(const Target& target) {
  s_.display.SetPhase(RunPhase::Searching, 0);
  if (!socketReady_ && !SetUpSocket()) return false;
  // Only a newly recorded router ends a search, so every attempt starts with
  // an empty table: otherwise a router found once (by an earlier run) would
  // never be found again and Retry could not reach it.
  ClearDeviceTable();
  s_.logs.AppendProcessLog("Search Device, Waiting a few seconds.........");
  s_.waits.PumpMessages(1);
  if (!SearchRounds(kFirstSearchRounds, target)) return false;
  s_.logs.AppendProcessLog("Search Model:" + LastFound().Model + "......OK!");
  return true;
}

bool Discovery::SearchRounds(int rounds, const Target& target) {
  auto found = [this] {
    platform::LockGuard lock(lock_);
    return !foundLabel_.empty();
  };
  {
    platform::LockGuard lock(lock_);
    foundLabel_.clear();
  }
  int progress = 0;
  for (int round = 0; round < rounds; ++round) {
    SendDiscoveryRound(target);
    s_.waits.PumpingDelay(1000);
    if (round % 4 == 3) {
      ++progress;
      s_.logs.AppendProcessLog(Format("[System]-Searching for LM-7210A/LM-7210B...%d", progress));
    }
    s_.waits.PumpMessages(1);
    if (found()) break;
  }
  return found();
}

bool Discovery::Listen(const Target& target, int waitMs, std::vector<DeviceEntry>* answers) {
  if (!socketReady_ && !SetUpSocket()) return false;
  ClearDeviceTable();
  uint8_t packet[kPacketSize] = {};
  BuildDiscoveryRequest(packet);
  SendServicePacket(packet, target, kListenDiscovery);
  s_.waits.PumpingDelay(waitMs);
  *answers = DeviceTable();
  return true;
}

void Discovery::ClearDeviceTable() {
  platform::LockGuard lock(lock_);
  table_.clear();
}

void Discovery::SendDiscoveryRound(const Target& target) {
  s_.processes.StartDetached(platform::SystemProgramPath(kArpProgram), std::string(kArpProgram) + " -d");
  uint8_t packet[kPacketSize] = {};
  BuildDiscoveryRequest(packet);
  SendServicePacket(packet, target, kListenDiscovery);
}

std::vector<DeviceEntry> Discovery::DeviceTable() const {
  platform::LockGuard lock(lock_);
  return table_;
}

DeviceEntry Discovery::LastFound() const {
  platform::LockGuard lock(lock_);
  return lastFound_;
}

Target Discovery::Addressed(const Target& target) const {
  platform::LockGuard lock(lock_);
  Target to = target;
  if (!target.pinned) to.mac = lastMac_;
  to.route = interfaces_.RouteTo(target, lastVia_);
  return to;
}

void Discovery::SendServicePacket(const uint8_t* packet, const Target& target, ListenMode mode) {
  listenMode_.store(mode);
  // The links may change during a run (a reboot of the router takes its
  // link down and up again, an adapter may come back under another index).
  RefreshInterfaces();
  const std::string destination = target.unicast ? target.ip : "255.255.255.255";
  std::vector<Route> ways;
  {
    platform::LockGuard lock(lock_);
    inFlight_ = target;
    ways = interfaces_.WaysOut(target, lastVia_, mode == kListenCommand);
  }
  for (const Route& way : ways) {
    if (way.SystemRouting()) {
      s_.transport.SendTo(destination, kServicePort, packet, kPacketSize);
    } else if (way.index != 0) {  // never by another interface while this one is gone
      s_.transport.SendVia(destination, kServicePort, packet, kPacketSize,
                           platform::NetInterface{way.index, way.name, way.localAddress, way.netmask, true, true, ""});
    }
  }
  s_.waits.PumpMessages(1);
}

void Discovery::OnDatagram(const uint8_t* data, size_t length, const std::string& sourceIp, unsigned arrivalIndex) {
  if (length > kPacketSize) return;
  switch (listenMode_.load()) {
    case kListenDiscovery: RecordDevice(data, length, sourceIp, arrivalIndex); break;
    case kListenCommand:
      if (commandAnswers_) commandAnswers_(data, length, arrivalIndex);
      break;
    default: break;
  }
}

void Discovery::RecordDevice(const uint8_t* data, size_t length, const std::string& sourceIp, unsigned arrivalIndex) {
  DiscoveryInfo info;
  if (!ParseDiscoveryResponse(data, length, &info)) return;
  const MacAddress mac = info.Mac();
  platform::LockGuard lock(lock_);
  Route via;
  if (interfaces_.NamesInterfaces(inFlight_) && !interfaces_.ArrivalRoute(inFlight_, arrivalIndex, sourceIp, &via)) {
    return;
  }
  // A request to one address asks that router only: another's answer is a stray.
  if (inFlight_.unicast && sourceIp != inFlight_.ip) return;
  // Commands not yet pinned to a unit follow the last answer, recorded or not.
  if (!inFlight_.pinned) {
    lastMac_ = mac;
    lastVia_ = via;
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
  lastFound_ = entry;
  foundLabel_ = entry.Label;
}

void Discovery::RefreshInterfaces() {
  const std::vector<platform::NetInterface> all = s_.transport.ListInterfaces();
  platform::LockGuard lock(lock_);
  interfaces_.Update(all);
}

void Discovery::ChooseInterface(const std::string& nameOrAddress) {
  {
    platform::LockGuard lock(lock_);
    interfaces_.Choose(nameOrAddress);
  }
  RefreshInterfaces();
}

std::string Discovery::RouteRefusal(const DeviceEntry& chosen) {
  const bool tiesUnicast = s_.transport.CanChooseInterface();
  platform::LockGuard lock(lock_);
  return interfaces_.RouteRefusal(chosen, tiesUnicast);
}

std::vector<std::string> Discovery::NothingFoundHints() const {
  platform::LockGuard lock(lock_);
  return interfaces_.NothingFoundHints(bound_);
}

}  // namespace ramtune::link
