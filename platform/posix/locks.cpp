#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace ramtune::platform {

intptr_t TryLockFile(const std::string& path, bool* busy, std::string* error) {
  *busy = false;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  // flock belongs to the open file: a second open of the same file in this
  // process is refused as another process's would be.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *busy = errno == EWOULDBLOCK;
    *error = std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

void ReleaseFileLock(intptr_t lock) {
  if (lock >= 0) close(static_cast<int>(lock));
}

std::string PathInUtf8(const std::string& path) { return path; }

}  // namespace ramtune::platform
