// The router search: the service socket and its listener, the table of
// routers found, and the interfaces requests leave by.
//
// The listener hands discovery answers to the table and command answers to
// the command channel. One lock guards the table, the last answer, the
// interfaces and the request in flight.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/logs.h"
#include "core/seams.h"
#include "link/interfaces.h"
#include "link/packets.h"
#include "link/target.h"

namespace ramtune::link {

constexpr size_t kDeviceTableCapacity = 255;

// A discovery utility that holds the service port when it runs.
inline const char* const kCompetingUtilityTitle = "Beacon Finder";
inline const char* const kCompetingUtilityQuestion =
    "The system has detected that Beacon Finder is running. It will affect current DDR "
    "Configuration Upgrade Process.\r\nDo you want to terminate Beacon Finder?\r\nIf Yes, "
    "the DDR Configuration Upgrade Process will continue. If No, it will exit.";

enum ListenMode : int { kListenDiscovery = 0, kListenCommand = 9 };

struct LinkServices {
  Transport& transport;
  Waits& waits;
  RunLogs& logs;
  Display& display;
  Host& host;
  ProcessRunner& processes;
};

using DatagramHandler = std::function<void(const uint8_t* data, size_t length, unsigned arrivalIndex)>;

class Discovery {
 public:
  explicit Discovery(const LinkServices& services);

  // ---- search ---------------------------------------------------------------
  // One search attempt for `target`: broadcast, or to its address when it
  // is unicast; by its route only once it is pinned. True when a router was
  // recorded; LastFound() describes the last one.
  // False too when the service socket could not be opened because the
  // competing utility's question was answered No: UtilityKept() says so.
  bool SearchRouter(const Target& target);
  bool UtilityKept() const { return utilityKept_; }
  bool SearchRounds(int rounds, const Target& target);
  // A bench station's watch on its link: one discovery request for
  // `target`, nothing logged and no helper program started, and the routers
  // that answered within `waitMs`. False when the service socket could not
  // be opened (as SearchRouter).
  bool Listen(const Target& target, int waitMs, std::vector<DeviceEntry>* answers);
  void ClearDeviceTable();
  std::vector<DeviceEntry> DeviceTable() const;  // a copy, taken under the lock
  // The last router recorded (empty before the first).
  DeviceEntry LastFound() const;
  // Where a command for `target` goes now: a pinned target by its route as
  // the interfaces are now; any other to the MAC of the last discovery
  // answer, by the interface that answer came in on.
  Target Addressed(const Target& target) const;

  // ---- interfaces -------------------------------------------------------------
  void ChooseInterface(const std::string& nameOrAddress);
  // Empty when `chosen`'s route can hold every request of the run, else the
  // text that says which interface to disconnect (Windows XP).
  std::string RouteRefusal(const DeviceEntry& chosen);
  std::vector<std::string> NothingFoundHints() const;

  // ---- the service socket -------------------------------------------------------
  // Sends one request (kPacketSize bytes) for `target` and listens for
  // answers of `mode`; ends with one pass of the message pump.
  void SendServicePacket(const uint8_t* packet, const Target& target, ListenMode mode);
  // Every datagram of the service, from the listener.
  void OnDatagram(const uint8_t* data, size_t length, const std::string& sourceIp, unsigned arrivalIndex = 0);
  // Where answers to commands go.
  void OnCommandAnswer(DatagramHandler handler) { commandAnswers_ = std::move(handler); }

 private:
  // False when the competing utility's question was answered No.
  bool SetUpSocket();
  void SendDiscoveryRound(const Target& target);
  void RefreshInterfaces();
  void RecordDevice(const uint8_t* data, size_t length, const std::string& sourceIp, unsigned arrivalIndex);

  LinkServices s_;
  bool socketReady_ = false;
  bool bound_ = true;
  bool utilityKept_ = false;
  std::atomic<int> listenMode_{kListenDiscovery};
  DatagramHandler commandAnswers_;

  mutable platform::Lock lock_;
  std::vector<DeviceEntry> table_;
  DeviceEntry lastFound_;
  std::string foundLabel_;  // set by a router recorded in the search going on
  // The MAC and interface of the last answer while no pinned target was asked.
  MacAddress lastMac_{};
  Route lastVia_;
  Target inFlight_;  // the target of the last request: which answers count
  InterfaceSet interfaces_;
};

}  // namespace ramtune::link
