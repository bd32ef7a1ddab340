// The UDP socket of the router link on Windows Sockets.
#include "platform/platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdlib>
#include <cstring>

namespace ramtune::platform {
namespace {

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

// Sends one datagram. inet_addr answers INADDR_NONE for text it cannot read,
// which is also the broadcast address: only the literal broadcast text may
// mean broadcast.
bool SendDatagram(SOCKET socket, const std::string& ip, uint16_t port, const uint8_t* data, size_t len) {
  const unsigned long address = inet_addr(ip.c_str());
  if (address == INADDR_NONE && ip != "255.255.255.255") return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  const int sent = sendto(socket, reinterpret_cast<const char*>(data), static_cast<int>(len), 0,
                          reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<int>(len);
}

// Vista and later; the headers for XP do not name it.
constexpr int kIpUnicastIf = 31;

// WSARecvMsg is not exported: the provider hands it out. With it and
// IP_PKTINFO each datagram tells the interface it came in on (XP and later).
LPFN_WSARECVMSG receiveMessage = nullptr;

void LoadReceiveMessage(SOCKET s) {
  if (receiveMessage != nullptr) return;
  GUID id = WSAID_WSARECVMSG;
  LPFN_WSARECVMSG found = nullptr;
  DWORD bytes = 0;
  if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &found, sizeof found, &bytes,
               nullptr, nullptr) == 0) {
    receiveMessage = found;
  }
}

bool SetUnicastInterface(SOCKET s, unsigned index) {
  DWORD value = htonl(index);  // the option takes the index in network order
  return setsockopt(s, IPPROTO_IP, kIpUnicastIf, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

}  // namespace

const bool kUploaderInterfaceByName = false;

std::vector<NetInterface> ListInterfaces() {
  std::vector<NetInterface> list;
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return list;
  IP_ADAPTER_INFO* all = static_cast<IP_ADAPTER_INFO*>(std::malloc(size));
  if (all == nullptr) return list;
  if (GetAdaptersInfo(all, &size) == NO_ERROR) {
    for (IP_ADAPTER_INFO* a = all; a != nullptr; a = a->Next) {
      if (a->Type == MIB_IF_TYPE_LOOPBACK) continue;
      NetInterface entry;
      entry.index = a->Index;
      entry.name = a->Description;
      if (a->AddressLength == 6) entry.mac = HexMac(a->Address);
      const std::string address = a->IpAddressList.IpAddress.String;
      if (address != "0.0.0.0") {
        entry.address = address;
        entry.netmask = a->IpAddressList.IpMask.String;
      }
      MIB_IFROW row{};
      row.dwIndex = a->Index;
      if (GetIfEntry(&row) == NO_ERROR) {
        entry.up = row.dwAdminStatus == MIB_IF_ADMIN_STATUS_UP;
        entry.hasLink = row.dwOperStatus == MIB_IF_OPER_STATUS_OPERATIONAL ||
                        row.dwOperStatus == MIB_IF_OPER_STATUS_CONNECTED;
      } else {
        entry.up = entry.hasLink = !entry.address.empty();
      }
      list.push_back(entry);
    }
  }
  std::free(all);
  return list;
}

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
  forcedIndex_ = 0;
  // curl is started with inheritable handles: a hung one must not keep the
  // service port after the program has ended.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  // Windows XP refuses the option: there a unicast cannot be tied to an interface.
  canChoose_ = SetUnicastInterface(s, 0);
  DWORD on = 1;
  if (setsockopt(s, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) == 0) {
    LoadReceiveMessage(s);
  }
  return true;
}

bool UdpSocket::Bind(uint16_t port) {
  if (!IsOpen()) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = tiedAddress_.empty() ? htonl(INADDR_ANY) : inet_addr(tiedAddress_.c_str());
  local.sin_port = htons(port);
  return bind(AsSocket(handle_), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

// Windows has no tie to a device: the socket is bound to the adapter's own
// address instead. The answers of a router come back to that address, and
// SendVia sends through the adapter.
bool UdpSocket::TieToDevice(const std::string& device, std::string* error) {
  for (const NetInterface& adapter : ListInterfaces()) {
    if (adapter.name != device && adapter.address != device) continue;
    if (adapter.address.empty()) {
      if (error != nullptr) *error = "the adapter has no IPv4 address";
      return false;
    }
    tiedAddress_ = adapter.address;
    return true;
  }
  if (error != nullptr) *error = "no network adapter has that name or address";
  return false;
}

bool UdpSocket::EnableBroadcast() {
  if (!IsOpen()) return false;
  int on = 1;  // a 4-byte integer, as the option expects
  return setsockopt(AsSocket(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool UdpSocket::SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t len) {
  if (!IsOpen() || !ForceInterface(0)) return false;
  return SendDatagram(AsSocket(handle_), ip, port, data, len);
}

bool UdpSocket::SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t len,
                        const NetInterface& via) {
  if (!IsOpen()) return false;
  std::string destination = ip;
  if (ip == "255.255.255.255" && !via.address.empty() && !via.netmask.empty()) {
    // A limited broadcast leaves by the "best" interface only; the subnet's
    // own broadcast leaves by the interface that holds the subnet.
    const unsigned long address = inet_addr(via.address.c_str());
    const unsigned long mask = inet_addr(via.netmask.c_str());
    in_addr subnetBroadcast{};
    subnetBroadcast.s_addr = (address & mask) | ~mask;
    destination = inet_ntoa(subnetBroadcast);
  }
  // A socket bound to the adapter's own address leaves by that adapter
  // already (strong host model). Wine on Linux ties such a socket to the
  // device and then refuses IP_UNICAST_IF, so it is not set there.
  const bool boundToVia = !tiedAddress_.empty() && tiedAddress_ == via.address;
  if (canChoose_ && !boundToVia && !ForceInterface(via.index)) return false;
  return SendDatagram(AsSocket(handle_), destination, port, data, len);
}

bool UdpSocket::ForceInterface(unsigned index) {
  if (forcedIndex_ == index) return true;
  if (SetUnicastInterface(AsSocket(handle_), index)) {
    forcedIndex_ = index;
    return true;
  }
  // Refused: the datagram is not sent, and the socket is not left on the
  // interface of an earlier one.
  if (index != 0 && SetUnicastInterface(AsSocket(handle_), 0)) forcedIndex_ = 0;
  return false;
}

bool UdpSocket::CanChooseInterface() const { return canChoose_; }

bool UdpSocket::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(handle_), &readable);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int r = select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
  return r > 0;
}

int UdpSocket::ReceiveFrom(uint8_t* buf, size_t cap, std::string* sourceIp, unsigned* arrivalIndex) {
  if (!IsOpen()) return -1;
  if (arrivalIndex != nullptr) *arrivalIndex = 0;
  if (receiveMessage != nullptr) {
    sockaddr_in from{};
    WSABUF part{static_cast<ULONG>(cap), reinterpret_cast<char*>(buf)};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &part;
    message.dwBufferCount = 1;
    message.Control.buf = control;
    message.Control.len = sizeof control;
    DWORD received = 0;
    // A datagram longer than cap fails with WSAEMSGSIZE, as with recvfrom.
    if (receiveMessage(AsSocket(handle_), &message, &received, nullptr, nullptr) == SOCKET_ERROR) return -1;
    if ((message.dwFlags & MSG_TRUNC) != 0) return -1;
    if (sourceIp != nullptr) *sourceIp = inet_ntoa(from.sin_addr);
    if (arrivalIndex != nullptr) {
      for (WSACMSGHDR* h = WSA_CMSG_FIRSTHDR(&message); h != nullptr; h = WSA_CMSG_NXTHDR(&message, h)) {
        if (h->cmsg_level != IPPROTO_IP || h->cmsg_type != IP_PKTINFO) continue;
        IN_PKTINFO info;
        std::memcpy(&info, WSA_CMSG_DATA(h), sizeof info);
        *arrivalIndex = info.ipi_ifindex;
      }
    }
    return static_cast<int>(received);
  }
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
