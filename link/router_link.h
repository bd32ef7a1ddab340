// Router search, listener dispatch and command channel.
//
// The link owns the service socket (through the Transport seam), the table of
// routers found, the current-router values and the text of the last command
// answer. Two locks guard its state and are never held together:
//   table lock:    DeviceTable and the current-router values;
//   response lock: ResponseText, the awaiting flag and the awaited pair.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
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

constexpr size_t kDeviceTableCapacity = 255;

// A discovery utility that holds the service port when it runs.
inline const char* const kCompetingUtilityTitle = "Beacon Finder";
inline const char* const kCompetingUtilityQuestion =
    "The system has detected that Beacon Finder is running. It will affect current DDR "
    "Configuration Upgrade Process.\r\nDo you want to terminate Beacon Finder?\r\nIf Yes, "
    "the DDR Configuration Upgrade Process will continue. If No, it will exit.";

// The router that requests are addressed to and what the search last found.
struct CurrentRouter {
  MacAddress TargetMac{};
  std::string DeviceIp;
  std::string SelectedIp;
  bool UnicastMode = false;
  std::string CurrentModel;
  std::string CurrentMacText;
  std::string FoundLabel;
};

enum ListenMode : int { kListenDiscovery = 0, kListenCommand = 9 };

struct LinkServices {
  Transport& transport;
  Waits& waits;
  RunLogs& logs;
  Display& display;
  Host& host;
  ProcessRunner& processes;
};

class RouterLink {
 public:
  explicit RouterLink(const LinkServices& services);

  // What a "No" to the competing-utility question does: the dialog's cancel
  // action. Until the dialog sets it, the process ends with exit code 1.
  std::function<void()> CancelAction;

  // ---- search ---------------------------------------------------------------
  bool SearchRouter();
  bool SearchRounds(int rounds);
  void ClearDeviceTable();
  void SendDiscoveryRound();
  void SendServicePacket();
  // Every datagram of the service, from the listener.
  void OnDatagram(const uint8_t* data, size_t length, const std::string& sourceIp,
                  unsigned arrivalIndex = 0);
  void RecordDevice(const uint8_t* data, size_t length, const std::string& sourceIp,
                    unsigned arrivalIndex = 0);

  // ---- interfaces and the run's route ---------------------------------------------
  // With one candidate interface (up, with a link and an IPv4 address) and
  // none chosen, the requests leave as the system routes them. With more, or
  // with a choice, each request names its interface: until the router is
  // chosen, discovery goes out on every candidate (a router is recorded once
  // per interface it answers on) and commands go where their target
  // answered; from the choice on, everything leaves by the route.
  //
  // Searches and talks on this interface only (its name or address).
  void ChooseInterface(const std::string& nameOrAddress);
  // Fixes the run's route from the chosen entry. Where a unicast cannot be
  // tied to an interface (Windows XP) and another interface is in the
  // router's network, nothing is fixed and the text returned says which one
  // to disconnect; empty when the route is fixed.
  std::string FixRoute(const DeviceEntry& chosen);
  // The route of requests to the target: the fixed one, else the interface
  // the target answered on; the system's routing when neither names one.
  Route TargetRoute() const;
  // "[System]" lines saying what was tried and what to check when a search
  // series found nothing.
  std::vector<std::string> NothingFoundHints() const;

  std::vector<DeviceEntry> DeviceTable() const;  // a copy, taken under the lock
  CurrentRouter Current() const;                 // a copy, taken under the lock
  void SetUnicastMode(bool on);
  void SetSelectedIp(const std::string& ip);
  void SetDeviceIp(const std::string& ip);
  void SetCurrentModel(const std::string& model);
  void SetCurrentMacText(const std::string& macText);
  // Addresses every later command to this router. Once pinned, discovery
  // answers of other routers no longer move TargetMac, so the commands of a
  // run cannot reach another unit; ReleaseTarget undoes it, and forgets the
  // route, at the next run.
  void PinTarget(const MacAddress& mac);
  // While pinned, a discovery answer from the selected address under `mac`
  // moves the target to `mac`: a unit whose identity was just written may
  // come back from its reboot under its new MAC. ReleaseTarget undoes it.
  void AcceptTargetAlsoAs(const MacAddress& mac);
  void ReleaseTarget();

  // ---- command channel --------------------------------------------------------
  // A command longer than the text field of a request is never sent: the
  // caller finds no answer, as from a router that did not answer.
  void SendCommand(const std::string& command, int limitMs);
  void DeliverResponse(const uint8_t* data, size_t length, unsigned arrivalIndex = 0);
  void QueryMtd0Value(const std::string& key);
  std::string ResponseText() const;  // a copy, taken under the response lock
  bool AwaitingResponse() const { return awaiting_.load(); }

 private:
  void SetUpSocket();
  void RefreshInterfaces();
  // Under the table lock from here on.
  bool NamesInterfaces() const;
  Route TargetRouteLocked() const;
  // Where the next request leaves: one route, or every candidate while a
  // search has not settled on one.
  std::vector<Route> WaysOut(bool command) const;
  // The interface a datagram came in on, from the index the system reported
  // or else from the source's subnet; false when it is not one the program
  // listens on (once a route is fixed, only the route).
  bool ArrivalRoute(unsigned arrivalIndex, const std::string& sourceIp, Route* out) const;

  LinkServices s_;
  bool socketReady_ = false;
  std::atomic<int> listenMode_{kListenDiscovery};
  uint8_t sendBuffer_[kPacketSize] = {};

  mutable platform::Lock tableLock_;
  std::vector<DeviceEntry> table_;
  CurrentRouter current_;
  Route targetVia_;  // where TargetMac's answer came in
  bool targetPinned_ = false;
  bool alternateAccepted_ = false;
  MacAddress alternateMac_{};
  std::string choice_;
  std::vector<platform::NetInterface> interfaces_;
  std::vector<platform::NetInterface> candidates_;
  std::optional<Route> route_;  // the run's, from the choice of its router
  bool bound_ = true;

  mutable platform::Lock responseLock_;
  std::string responseText_;
  std::atomic<bool> awaiting_{false};
  uint32_t awaitedSequence_ = 0;
  MacAddress awaitedMac_{};
};

}  // namespace ramtune::link
