// The UDP socket of the router link on Windows Sockets.
#include "platform/platform.h"

#include <winsock2.h>
#include <windows.h>

namespace ramtune::platform {
namespace {

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

}  // namespace

bool SocketLibraryStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void SocketLibraryCleanup() { WSACleanup(); }

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
  Close();
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return false;
  handle_ = static_cast<intptr_t>(s);
  return true;
}

bool UdpSocket::Bind(uint16_t port) {
  if (!IsOpen()) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  return bind(AsSocket(handle_), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

bool UdpSocket::EnableBroadcast() {
  if (!IsOpen()) return false;
  int on = 1;  // a 4-byte integer, as the option expects
  return setsockopt(AsSocket(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool UdpSocket::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t len) {
  if (!IsOpen()) return false;
  // inet_addr answers INADDR_NONE for text it cannot read, which is also the
  // broadcast address: only the literal broadcast text may mean broadcast.
  unsigned long address = inet_addr(ip.c_str());
  if (address == INADDR_NONE && ip != "255.255.255.255") return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  int sent = sendto(AsSocket(handle_), reinterpret_cast<const char*>(data), static_cast<int>(len),
                    0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<int>(len);
}

bool UdpSocket::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(handle_), &readable);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int r = select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
  return r > 0;
}

int UdpSocket::ReceiveFrom(uint8_t* buf, size_t cap, std::string* sourceIp) {
  if (!IsOpen()) return -1;
  sockaddr_in from{};
  int fromLen = sizeof from;
  // A datagram longer than cap fails with WSAEMSGSIZE.
  int n = recvfrom(AsSocket(handle_), reinterpret_cast<char*>(buf), static_cast<int>(cap), 0,
                   reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n == SOCKET_ERROR) return -1;
  if (sourceIp != nullptr) *sourceIp = inet_ntoa(from.sin_addr);
  return n;
}

void UdpSocket::Close() {
  if (handle_ >= 0) {
    closesocket(AsSocket(handle_));
    handle_ = -1;
  }
}

}  // namespace ramtune::platform
