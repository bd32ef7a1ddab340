// An in-process router behind the Transport seam, for tests in virtual time.
//
// It decodes requests with its own offsets (not the program's packet code, so
// that a layout mistake cannot hide), answers discovery and commands like a
// healthy LM-7210A would, and lets a test change any answer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/seams.h"
#include "support/virtual_time.h"

namespace ramtune::test {

using Bytes = std::vector<uint8_t>;

// Hand-made packets, independent of link/packets.
Bytes DiscoveryResponse(const std::array<uint8_t, 6>& mac, const std::string& model,
                        const std::string& label, uint8_t modeByte = 0);
Bytes CommandResponse(uint32_t sequence, const std::array<uint8_t, 6>& mac, const std::string& text,
                      uint16_t operation = 0x0033, int lengthField = -1);

// How one command is answered.
struct Reply {
  std::string text;
  bool drop = false;        // no answer at all
  int delayMs = 5;          // after the request arrives
  int copies = 1;
  uint16_t operation = 0x0033;
  int sequenceDelta = 0;    // answer with another sequence
  bool wrongMac = false;    // answer with another router's MAC
};

struct RouterModel {
  std::string ip = "10.77.0.2";
  std::array<uint8_t, 6> mac{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};
  std::string model = "LM-7210A";
  std::string label = "LM-7210A";
  uint8_t modeByte = 0;
  bool answersDiscovery = true;
  bool answersEveryDiscovery = false;  // also requests sent to another address (a stray)
  unsigned link = 1;  // the index of the PC's interface it is cabled to
  int discoveryDelayMs = 20;

  bool ready = true;
  std::string firmware = "3.0.0.4.386_45958";
  std::vector<std::pair<std::string, std::string>> nvram;
  std::vector<std::pair<std::string, std::string>> mtd0;
  std::vector<std::pair<std::string, std::string>> pendingAte;  // set, shown in mtd0 after reboot
  std::string imageLine = "bl_version=1.0.1.6";  // what grep finds in the uploaded image
  int rebootSilenceMs = 30000;
  int64_t silentUntilMs = 0;
  int reboots = 0;
  int flashes = 0;

  // Changes an answer: return true when `reply` is set for this command.
  std::function<bool(const std::string& command, Reply& reply)> script;
  // Called after each reboot has carried the values over (1 for the first).
  std::function<void(RouterModel& router, int reboot)> afterReboot;

  std::vector<std::string> commands;  // every command received, in order

  std::string Get(const std::string& key) const;  // nvram
  void Set(const std::string& key, const std::string& value);
  std::string Mtd0(const std::string& key) const;
  void SetMtd0(const std::string& key, const std::string& value);
  // The default answer of a healthy router.
  std::string Run(const std::string& command, int64_t nowMs);
  void Reboot();
};

// A healthy unit with plausible per-unit values of the right lengths.
RouterModel HealthyRouter();

// The MAC a unit whose values were wiped shows.
inline const char* const kFactoryMac = "00:90:4C:00:00:01";
// What a run that failed after the flash may leave: calibration values
// zeroed, factory country codes, revisions and PIN, and unless `keepMac` the
// factory MACs, under which the unit then answers.
void WipeToFactory(RouterModel& router, bool keepMac);

// What a completed upgrade leaves: the image's bootloader in the boot
// partition and in the running variables, its board settings, and every
// per-unit value in the boot partition under its plain key. The running
// variables keep their values, so a test can make them differ from the
// boot partition's.
void UpgradeInPlace(RouterModel& router);

class ScriptedNetwork : public Transport {
 public:
  explicit ScriptedNetwork(VirtualClock& clock) : clock_(clock) {}

  bool StartLibrary() override { return startOk; }
  void CleanupLibrary() override { ++cleanups; }
  bool CreateSocket() override { return createOk; }
  bool Bind(uint16_t port) override;
  bool EnableBroadcast() override { return broadcastOk; }
  void StartListener(DatagramSink sink) override { sink_ = std::move(sink); ++listenersStarted; }
  void SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t length) override;
  std::vector<platform::NetInterface> ListInterfaces() override;
  void SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t length,
               const platform::NetInterface& via) override;
  bool CanChooseInterface() override { return canChoose; }

  // Hands a datagram to the listener after delayMs, as if it had arrived on
  // interface `link` (reported as 0 when reportsArrival is false).
  void Deliver(Bytes datagram, const std::string& sourceIp, int delayMs, unsigned link = 1);

  // The PC's interfaces; the first holds the default route, so SendTo's
  // datagrams leave by it. One by default, like most test machines.
  std::vector<platform::NetInterface> interfaces{{1, "eth0", "10.77.0.1", "255.255.255.0", true, true, ""}};
  bool reportsArrival = true;  // false: the system does not tell (Windows)
  bool canChoose = true;       // false: a unicast cannot be tied (Windows XP)
  std::vector<unsigned> links;  // the interface every request left by
  std::vector<bool> viaUsed;    // whether it was sent with SendVia

  std::vector<RouterModel> routers;
  bool startOk = true, createOk = true, broadcastOk = true;
  int bindFailures = 0;  // this many binds fail first
  int bindAttempts = 0;
  int cleanups = 0;
  int listenersStarted = 0;
  std::vector<std::string> destinations;  // of every request sent
  std::vector<Bytes> requests;            // every request sent

 private:
  void SendOn(const std::string& ip, const uint8_t* data, size_t length, unsigned link);

  VirtualClock& clock_;
  DatagramSink sink_;
};

}  // namespace ramtune::test
