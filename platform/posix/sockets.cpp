// The UDP socket of the router link on POSIX sockets.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ramtune::platform {

bool SocketLibraryStartup() { return true; }
void SocketLibraryCleanup() {}

const bool kUploaderInterfaceByName = true;

namespace {
// The destination of a datagram. inet_addr answers INADDR_NONE for text it
// cannot read, which is also the broadcast address: only the literal
// broadcast text may mean broadcast.
bool Destination(const std::string& ip, uint16_t port, sockaddr_in* to) {
  const in_addr_t address = inet_addr(ip.c_str());
  if (address == INADDR_NONE && ip != "255.255.255.255") return false;
  *to = sockaddr_in{};
  to->sin_family = AF_INET;
  to->sin_addr.s_addr = address;
  to->sin_port = htons(port);
  return true;
}

std::string Dotted(const sockaddr* address) {
  char text[INET_ADDRSTRLEN] = "";
  if (address != nullptr && address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  }
  return text;
}
}  // namespace

std::vector<NetInterface> ListInterfaces() {
  std::vector<NetInterface> list;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return list;
  for (ifaddrs* a = all; a != nullptr; a = a->ifa_next) {
    if (a->ifa_name == nullptr) continue;
    if ((a->ifa_flags & IFF_LOOPBACK) != 0 || (a->ifa_flags & IFF_BROADCAST) == 0) continue;
    NetInterface* entry = nullptr;
    for (NetInterface& known : list) {
      if (known.name == a->ifa_name) entry = &known;
    }
    if (entry == nullptr) {
      list.emplace_back();
      entry = &list.back();
      entry->name = a->ifa_name;
      entry->index = if_nametoindex(a->ifa_name);
    }
    entry->up = (a->ifa_flags & IFF_UP) != 0;
    entry->hasLink = (a->ifa_flags & IFF_RUNNING) != 0;
    if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
      if (link->sll_halen == 6) entry->mac = HexMac(link->sll_addr);
    }
    if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET && entry->address.empty()) {
      entry->address = Dotted(a->ifa_addr);
      entry->netmask = Dotted(a->ifa_netmask);
    }
  }
  freeifaddrs(all);
  return list;
}

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Create() {
  Close();
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;
  // Each datagram then tells the interface it arrived on.
  int on = 1;
  setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
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

bool UdpSocket::TieToDevice(const std::string& device, std::string* error) {
  if (!IsOpen()) {
    if (error != nullptr) *error = "no socket";
    return false;
  }
  if (setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                 static_cast<socklen_t>(device.size() + 1)) == 0) {
    return true;
  }
  if (error != nullptr) *error = strerror(errno);
  return false;
}

bool CanTieSocketToDevice(const std::string& device, std::string* error) {
  UdpSocket probe;
  if (!probe.Create()) {
    if (error != nullptr) *error = strerror(errno);
    return false;
  }
  if (!probe.TieToDevice(device, error)) return false;
  // Read back: the tie must be there, not silently dropped.
  char tied[IFNAMSIZ + 1] = "";
  socklen_t length = sizeof tied;
  if (getsockopt(static_cast<int>(probe.handle()), SOL_SOCKET, SO_BINDTODEVICE, tied, &length) != 0 ||
      device != tied) {
    if (error != nullptr) *error = "the system does not keep the tie to " + device;
    return false;
  }
  return true;
}

bool UdpSocket::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t len) {
  sockaddr_in to;
  if (!IsOpen() || !Destination(ip, port, &to)) return false;
  ssize_t sent = sendto(static_cast<int>(handle_), data, len, MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(len);
}

bool UdpSocket::SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t len,
                        const NetInterface& via) {
  sockaddr_in to;
  if (!IsOpen() || !Destination(ip, port, &to)) return false;
  iovec part{const_cast<uint8_t*>(data), len};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(via.index);
  if (!via.address.empty()) info.ipi_spec_dst.s_addr = inet_addr(via.address.c_str());
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  ssize_t sent = sendmsg(static_cast<int>(handle_), &message, MSG_NOSIGNAL);
  return sent == static_cast<ssize_t>(len);
}

bool UdpSocket::CanChooseInterface() const { return true; }

bool UdpSocket::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return false;
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  for (;;) {
    int r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0 && errno == EINTR) continue;  // a signal is not a datagram
    return r > 0 && (p.revents & POLLIN) != 0;
  }
}

int UdpSocket::ReceiveFrom(uint8_t* buf, size_t cap, std::string* sourceIp, unsigned* arrivalIndex) {
  if (!IsOpen()) return -1;
  sockaddr_in from{};
  iovec part{buf, cap};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64] = {};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  // MSG_TRUNC reports the datagram's real length, so an oversized datagram
  // fails here as it does with Winsock.
  ssize_t n = recvmsg(static_cast<int>(handle_), &message, MSG_TRUNC);
  if (n < 0 || static_cast<size_t>(n) > cap) return -1;
  if (arrivalIndex != nullptr) {
    *arrivalIndex = 0;
    for (cmsghdr* h = CMSG_FIRSTHDR(&message); h != nullptr; h = CMSG_NXTHDR(&message, h)) {
      if (h->cmsg_level != IPPROTO_IP || h->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(h), sizeof info);
      *arrivalIndex = static_cast<unsigned>(info.ipi_ifindex);
    }
  }
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
