#include "link/udp_transport.h"

#include <cstring>

#include "link/packets.h"

namespace ramtune::link {

// The listener lives as long as the process; it is never joined. Should no
// thread be had, nothing is received and every search ends with nothing
// found: no command is ever sent to a router then.
void UdpTransport::StartListener(DatagramSink sink) {
  platform::StartDetachedThread([this, sink] { ServiceListener(sink); });
}

void UdpTransport::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t length) {
  socket_.SendTo(ip, port, data, length);
}

void UdpTransport::ServiceListener(const DatagramSink& sink) {
  uint8_t buffer[kPacketSize];
  for (;;) {
    if (!socket_.IsOpen()) return;
    if (!socket_.WaitReadable(-1)) {
      // A socket that cannot be waited on (unbound, closed) must not spin.
      platform::SleepMs(100);
      continue;
    }
    std::memset(buffer, 0, sizeof buffer);
    if (!socket_.WaitReadable(1000)) continue;
    std::string source;
    unsigned arrival = 0;
    const int received = socket_.ReceiveFrom(buffer, sizeof buffer, &source, &arrival);
    if (received < 0) continue;
    sink(buffer, static_cast<size_t>(received), source, arrival);
  }
}

namespace {
constexpr int kTiedBindAttempts = 40;
constexpr int kTiedBindPauseMs = 250;
}  // namespace

bool LinkTiedTransport::Bind(uint16_t port) {
  std::string error;
  if (!TieToDevice(device_, &error)) {
    fail_("this unit's run cannot tie its service socket to " + device_ + " (" + error +
          "); it ends here, nothing was sent.");
    return false;
  }
  // The slot's search that the station ended a moment ago may still hold
  // the port for a while (Wine frees it late, later still on a loaded PC):
  // tries over 10 s.
  for (int attempt = 0; attempt < kTiedBindAttempts; ++attempt) {
    if (UdpTransport::Bind(port)) return true;
    platform::SleepMs(kTiedBindPauseMs);
  }
  fail_("this unit's run cannot receive on UDP port " + std::to_string(port) + " on " + device_ +
        ": another program holds it on this link; it ends here, nothing was sent.");
  return false;
}

}  // namespace ramtune::link
