// Echomod: one ICMP echo request on a raw socket, and host name lookup.
// Windows: Windows Sockets, started once at load and once more per call.
// POSIX: BSD sockets (a raw socket needs root or CAP_NET_RAW).
#include "echomod.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kMaxPingHost = 16;
constexpr size_t kMaxLookupName = 15;
constexpr int kReplyWaitMs = 500;
constexpr size_t kReceiveBufferSize = 1024;

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
uint16_t ProcessIdentifier() { return static_cast<uint16_t>(GetCurrentProcessId() & 0xFFFF); }
uint32_t TickCountMs() { return GetTickCount(); }

// One use of the socket library for the length of a call.
class SocketLibraryUse {
 public:
  SocketLibraryUse() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  }
  ~SocketLibraryUse() {
    if (started_) WSACleanup();
  }
  SocketLibraryUse(const SocketLibraryUse&) = delete;
  SocketLibraryUse& operator=(const SocketLibraryUse&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

// Sets SO_RCVTIMEO (receive != 0) or SO_SNDTIMEO to ms, a 4-byte integer.
bool SetSocketTimeout(Socket s, int ms, int receive) {
  DWORD value = static_cast<DWORD>(ms);
  return setsockopt(s, SOL_SOCKET, receive != 0 ? SO_RCVTIMEO : SO_SNDTIMEO,
                    reinterpret_cast<const char*>(&value), sizeof value) == 0;
}
#else
using Socket = int;
const Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
uint16_t ProcessIdentifier() { return static_cast<uint16_t>(getpid() & 0xFFFF); }
uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

// The socket library needs no start on POSIX systems.
struct SocketLibraryUse {
  bool started() const { return true; }
};

// Sets SO_RCVTIMEO (receive != 0) or SO_SNDTIMEO to ms.
bool SetSocketTimeout(Socket s, int ms, int receive) {
  timeval value{ms / 1000, static_cast<suseconds_t>(ms % 1000) * 1000};
  return setsockopt(s, SOL_SOCKET, receive != 0 ? SO_RCVTIMEO : SO_SNDTIMEO, &value,
                    sizeof value) == 0;
}
#endif

// Closes the socket on every way out of a call.
class SocketGuard {
 public:
  explicit SocketGuard(Socket s) : s_(s) {}
  ~SocketGuard() {
    if (s_ != kNoSocket) CloseSocket(s_);
  }
  SocketGuard(const SocketGuard&) = delete;
  SocketGuard& operator=(const SocketGuard&) = delete;

 private:
  Socket s_;
};

void SetBufferSize(Socket s, int option, int size) {
  setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&size), sizeof size);
}

// The first IPv4 address of a name, in network byte order.
bool Resolve(const char* name, in_addr* address) {
#ifdef _WIN32
  // The result lives in per-thread storage of Windows Sockets.
  hostent* host = gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list == nullptr ||
      host->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(address, host->h_addr_list[0], sizeof *address);
  return true;
#else
  // getaddrinfo rather than gethostbyname: the latter's result is shared by
  // all threads of the process.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::memcpy(address, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, sizeof *address);
  freeaddrinfo(found);
  return true;
#endif
}

int PingOnce(const char* host) {
  Socket s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (s == kNoSocket) return 0;
  SocketGuard guard(s);
  SetBufferSize(s, SO_SNDBUF, 0);
  SetBufferSize(s, SO_RCVBUF, 0);
  SetSocketTimeout(s, kReplyWaitMs, 1);

  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = inet_addr(host);
  if (destination.sin_addr.s_addr == INADDR_NONE && !Resolve(host, &destination.sin_addr)) {
    return 0;
  }

  const uint16_t identifier = ProcessIdentifier();
  uint8_t request[echomod::kEchoRequestSize];
  echomod::BuildEchoRequest(request, identifier, TickCountMs());
  if (sendto(s, reinterpret_cast<const char*>(request), sizeof request, 0,
             reinterpret_cast<sockaddr*>(&destination),
             sizeof destination) != static_cast<int>(sizeof request)) {
    return 0;
  }

  uint8_t reply[kReceiveBufferSize] = {};
  sockaddr_in from{};
#ifdef _WIN32
  int fromLength = sizeof from;
#else
  socklen_t fromLength = sizeof from;
#endif
  const auto received = recvfrom(s, reinterpret_cast<char*>(reply), sizeof reply, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (received <= 0) return 0;
  return echomod::IsEchoReplyFor(reply, static_cast<size_t>(received), identifier) ? 1 : 0;
}

}  // namespace

extern "C" int ping(const char* host) {
  if (host == nullptr || std::strlen(host) > kMaxPingHost) return 0;
  SocketLibraryUse library;
  if (!library.started()) return 0;
  return PingOnce(host);
}

extern "C" int HostByName(const char* name, char** address) {
  if (name == nullptr || std::strlen(name) > kMaxLookupName) return 0;
  SocketLibraryUse library;
  if (!library.started()) return 0;
  if (inet_addr(name) != INADDR_NONE) return 1;
  in_addr resolved{};
  if (address == nullptr || !Resolve(name, &resolved)) return 0;
  // inet_ntoa's buffer is per thread (Windows Sockets, glibc).
  *address = inet_ntoa(resolved);
  return 1;
}

#ifdef _WIN32
// The library keeps Windows Sockets started while it is loaded. Without the
// socket library nothing here can work, and the whole process ends.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) ExitProcess(0);
  } else if (reason == DLL_PROCESS_DETACH) {
    WSACleanup();
  }
  return TRUE;
}
#endif
