#include "link/udp_transport.h"

#include <cstring>

#include "link/packets.h"

namespace ramtune::link {

namespace {
// The listener wakes this often to see whether Close asks it to end.
constexpr int kListenerWakeMs = 250;
// How long Close waits for the listener to leave its wait.
constexpr int kListenerEndMs = 1500;
}  // namespace

// The listener is never joined: it ends by itself after Close, or with the
// process. Should no thread be had, nothing is received and every search
// ends with nothing found: no command is ever sent to a router then.
void UdpTransport::StartListener(DatagramSink sink) {
  listening_ = true;
  if (!platform::StartDetachedThread([this, sink] { ServiceListener(sink); })) listening_ = false;
}

void UdpTransport::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t length) {
  socket_.SendTo(ip, port, data, length);
}

void UdpTransport::Close() {
  closing_ = true;
  for (int waited = 0; listening_ && waited < kListenerEndMs; waited += 10) platform::SleepMs(10);
  socket_.Close();
}

void UdpTransport::ServiceListener(const DatagramSink& sink) {
  uint8_t buffer[kPacketSize];
  while (!closing_ && socket_.IsOpen()) {
    const int64_t waitFrom = platform::ProcessClockMs();
    if (!socket_.WaitReadable(kListenerWakeMs)) {
      // A socket that cannot be waited on (unbound) fails at once: no spinning.
      if (platform::ProcessClockMs() - waitFrom < kListenerWakeMs / 2) platform::SleepMs(100);
      continue;
    }
    std::memset(buffer, 0, sizeof buffer);
    std::string source;
    unsigned arrival = 0;
    const int received = socket_.ReceiveFrom(buffer, sizeof buffer, &source, &arrival);
    if (received < 0) continue;
    sink(buffer, static_cast<size_t>(received), source, arrival);
  }
  listening_ = false;
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
