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
#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
#include "link/packets.h"

namespace ramtune::link {

struct DeviceEntry {
  std::string Model;
  std::string Ip;
  std::string MacText;  // twelve upper-case hexadecimal digits
  std::string Label;
  MacAddress Mac{};
  // The interface the answer came in on; index 0 while one interface is all
  // the PC has (the system's own routing then decides, as it always did).
  unsigned InterfaceIndex = 0;
  std::string InterfaceName;
  std::string LocalAddress;
  bool AnsweredElsewhere = false;  // the log has said it answered on another interface too
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

  // ---- interfaces ----------------------------------------------------------------
  // With one candidate interface (up, with a link and an IPv4 address) the
  // requests leave as the system routes them. With more, or with a choice,
  // each request names its interface: discovery goes out on every candidate
  // until a router answers, then everything of the run leaves by the
  // interface its answer came in on.
  //
  // Searches and talks on this interface only (its name or address).
  void ChooseInterface(const std::string& nameOrAddress);
  // A new search series may find a router elsewhere.
  void ForgetRouterInterface();
  bool PicksInterface() const;
  // The interface of the router of this run; false when not known.
  bool RouterInterface(platform::NetInterface* out) const;
  std::vector<platform::NetInterface> Candidates() const;
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
  // run cannot reach another unit; ReleaseTarget undoes it at the next run.
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
  void LogNotes();
  // Windows XP: says so when another interface shares the router's network.
  void WarnWhenUnpinnable();
  // Under the table lock: the interface a datagram came in on, from the
  // index the system reported or else from the source's subnet.
  bool ArrivalInterface(unsigned arrivalIndex, const std::string& sourceIp,
                        platform::NetInterface* out) const;

  LinkServices s_;
  bool socketReady_ = false;
  std::atomic<int> listenMode_{kListenDiscovery};
  uint8_t sendBuffer_[kPacketSize] = {};

  mutable platform::Lock tableLock_;
  std::vector<DeviceEntry> table_;
  CurrentRouter current_;
  bool targetPinned_ = false;
  bool alternateAccepted_ = false;
  MacAddress alternateMac_{};
  std::string choice_;
  std::vector<platform::NetInterface> interfaces_;
  std::vector<platform::NetInterface> candidates_;
  bool picks_ = false;
  bool routerInterfaceKnown_ = false;
  platform::NetInterface routerInterface_;
  bool sharedSubnetWarned_ = false;
  std::vector<std::string> notes_;  // written by the listener, logged by the search
  bool bound_ = true;

  mutable platform::Lock responseLock_;
  std::string responseText_;
  std::atomic<bool> awaiting_{false};
  uint32_t awaitedSequence_ = 0;
  MacAddress awaitedMac_{};
};

}  // namespace ramtune::link
