// Names, single-instance lock, shared libraries, version and process end for
// POSIX systems.
#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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
  // One lock file per name in /tmp, locked with flock and kept open (and so
  // locked) until the process ends. Characters that do not belong in a file
  // name become '_'.
  std::string file = "/tmp/";
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.';
    file += plain ? c : '_';
  }
  file += ".lock";
  int fd = open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return false;  // cannot tell: let this instance run
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK;
  }
  return false;  // fd stays open on purpose: it holds the lock
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
