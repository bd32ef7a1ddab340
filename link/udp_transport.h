// The production transport: one UDP socket and the listener thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/seams.h"
#include "platform/platform.h"

namespace ramtune::link {

class UdpTransport : public Transport {
 public:
  UdpTransport() = default;

  bool StartLibrary() override { return platform::SocketLibraryStartup(); }
  void CleanupLibrary() override { platform::SocketLibraryCleanup(); }
  bool CreateSocket() override { return socket_.Create(); }
  bool Bind(uint16_t port) override { return socket_.Bind(port); }
  bool EnableBroadcast() override { return socket_.EnableBroadcast(); }
  void StartListener(DatagramSink sink) override;
  void SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t length) override;
  std::vector<platform::NetInterface> ListInterfaces() override { return platform::ListInterfaces(); }
  void SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t length,
               const platform::NetInterface& via) override {
    socket_.SendVia(ip, port, data, length, via);
  }
  bool CanChooseInterface() override { return socket_.CanChooseInterface(); }
  // Ties the socket to one link before it is bound (platform::UdpSocket::TieToDevice).
  bool TieToDevice(const std::string& device, std::string* error) { return socket_.TieToDevice(device, error); }
  // Closes the socket before the process ends, once the listener has left
  // its wait (at most about a second): under Wine, a socket closed or left
  // behind while a thread waits on it can outlive the process and keep its
  // port for good (seen on a loaded PC).
  void Close();

 private:
  // Receives every datagram of the service until Close or the process ends.
  void ServiceListener(const DatagramSink& sink);

  platform::UdpSocket socket_;
  std::atomic<bool> closing_{false};
  std::atomic<bool> listening_{false};
};

// A run of a bench or a station ties its service socket to its link before
// binding it, so that the runs on the other links can hold the same port on
// theirs. When the socket cannot be tied or bound, `fail` ends the run with
// the reason (it does not return): never an untied socket.
class LinkTiedTransport : public UdpTransport {
 public:
  using Fail = std::function<void(const std::string& message)>;
  LinkTiedTransport(std::string device, Fail fail) : device_(std::move(device)), fail_(std::move(fail)) {}
  bool Bind(uint16_t port) override;

 private:
  std::string device_;
  Fail fail_;
};

}  // namespace ramtune::link
