// Names, single-instance lock, shared libraries, version and process end for
// POSIX systems.
#include "platform/platform.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ramtune::platform {
namespace {

// The member marker path. The environment variable RAMTUNE_MEMBER_MARKER,
// read once when the program is loaded, replaces the default path so that
// tests and the demo can switch the member mode without touching /etc.
// The text lives in a zero-initialised static buffer, so it is valid even
// before any dynamic initialisation has run.
char gMemberMarker[4096];

const char* MemberMarkerPath() {
  const char* fromEnvironment = std::getenv("RAMTUNE_MEMBER_MARKER");
  const char* path = (fromEnvironment != nullptr && fromEnvironment[0] != '\0')
                         ? fromEnvironment
                         : "/etc/qarv_member.txt";
  std::snprintf(gMemberMarker, sizeof gMemberMarker, "%s", path);
  return gMemberMarker;
}

}  // namespace

const char kPathSeparator = '/';
const char* const kUploaderName = "curl";
const char* const kEchoLibraryName = "libEchomod.so";
const char* const kMemberMarkerPath = MemberMarkerPath();

bool AnotherInstanceRunning(const std::string& name) {
  // The lock is a UNIX socket bound to an abstract name (no file; the name
  // starts with a zero byte). Abstract names belong to the network namespace,
  // so the lock is per network stack: two instances in two namespaces both
  // run, two in one do not. The socket is never closed: the kernel releases
  // the name when the process ends, however it ends. Close-on-exec keeps it
  // out of the processes the run starts (curl), which could outlive us.
  static const char kPrefix[] = "ramtune-instance:";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] stays 0; a name longer than the rest of sun_path is cut.
  const size_t room = sizeof address.sun_path - 1;
  std::string abstractName = kPrefix + name;
  if (abstractName.size() > room) abstractName.resize(room);
  std::memcpy(address.sun_path + 1, abstractName.data(), abstractName.size());
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;  // cannot tell: let this instance run
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    int error = errno;
    close(fd);
    return error == EADDRINUSE;
  }
  return false;  // fd stays open on purpose: it holds the name
}

bool LoadLibraryFrom(const std::string& folder, const std::string& fileName,
                     const char* firstSymbol, const char* secondSymbol, LoadedLibrary* out) {
  *out = LoadedLibrary{};
  // Without a folder, dlopen would search the library path: refuse instead.
  if (folder.empty() || fileName.empty()) return false;
  std::string path = folder;
  if (path.back() != '/') path += '/';
  path += fileName;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return false;
  out->handle = handle;
  out->first = firstSymbol != nullptr ? dlsym(handle, firstSymbol) : nullptr;
  out->second = secondSymbol != nullptr ? dlsym(handle, secondSymbol) : nullptr;
  return true;
}

OsVersion QueryOsVersion() {
  OsVersion v;
  v.platformId = 2;
  v.major = 6;
  v.minor = 1;
  v.servicePack = "Service Pack 1";
  return v;
}

[[noreturn]] void ExitProcess(int code) {
  std::fflush(nullptr);
  _exit(code);
}

}  // namespace ramtune::platform
