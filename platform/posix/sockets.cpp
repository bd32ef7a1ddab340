// The UDP socket of the router link on POSIX sockets.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ramtune::platform {

bool SocketLibraryStartup() { return true; }
void SocketLibraryCleanup() {}

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
  Close();
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool UdpSocket::Bind(uint16_t port) {
  if (!IsOpen()) return false;
  // SO_REUSEADDR stays off: a port held by another program must make bind fail.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  return bind(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

bool UdpSocket::EnableBroadcast() {
  if (!IsOpen()) return false;
  int on = 1;
  return setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool UdpSocket::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t len) {
  if (!IsOpen()) return false;
  // inet_addr answers INADDR_NONE for text it cannot read, which is also the
  // broadcast address: only the literal broadcast text may mean broadcast.
  in_addr_t address = inet_addr(ip.c_str());
  if (address == INADDR_NONE && ip != "255.255.255.255") return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  ssize_t sent = sendto(static_cast<int>(handle_), data, len, MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(len);
}

bool UdpSocket::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return false;
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  for (;;) {
    int r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0 && errno == EINTR) continue;  // a signal is not a datagram
    return r > 0 && (p.revents & POLLIN) != 0;
  }
}

int UdpSocket::ReceiveFrom(uint8_t* buf, size_t cap, std::string* sourceIp) {
  if (!IsOpen()) return -1;
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  // MSG_TRUNC reports the datagram's real length, so an oversized datagram
  // fails here as it does with Winsock.
  ssize_t n = recvfrom(static_cast<int>(handle_), buf, cap, MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0 || static_cast<size_t>(n) > cap) return -1;
  if (sourceIp != nullptr) {
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    *sourceIp = text;
  }
  return static_cast<int>(n);
}

void UdpSocket::Close() {
  if (handle_ >= 0) {
    close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

}  // namespace ramtune::platform
