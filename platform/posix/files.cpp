// Files, folders and the ini reader for POSIX systems.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ramtune::platform {
namespace {

// Stores errno's text for the caller; always false.
bool Failed(std::string* error) {
  if (error != nullptr) *error = std::strerror(errno);
  return false;
}

// An ini file is read up to this size; a larger (or binary) file is only
// looked at up to here.
constexpr size_t kProfileReadLimit = 64 * 1024;
// What fits in the 260-byte buffer of the Windows profile reader.
constexpr size_t kProfileValueMax = 259;

bool WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// fsync of what `path` names, opened with `flags`: 0, or the errno of the failure.
int SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int failure = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  return failure;
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return Failed(error);
  if (!WriteAll(fd, bytes.data(), bytes.size())) {
    Failed(error);
    close(fd);
    return false;
  }
  return close(fd) == 0 || Failed(error);
}

bool FlushToDisk(const std::string& path, std::string* error) {
  int failure = SyncPath(path, O_RDONLY);
  if (failure == 0) {
    // The file's name is an entry of its folder: a file created since the
    // folder was last put on the disk is lost with a power cut unless the
    // folder is synced too. A file system that cannot sync a folder says so
    // with EINVAL; it keeps its names by other means.
    const size_t slash = path.rfind('/');
    failure = SyncPath(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash),
                       O_RDONLY | O_DIRECTORY);
    if (failure == EINVAL) failure = 0;
  }
  if (failure != 0 && error != nullptr) *error = std::strerror(failure);
  return failure == 0;
}

bool ReplaceFileDurably(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temporary = path + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Failed(error);
  const bool written = WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
  if (!written) Failed(error);
  if (close(fd) != 0 && written) Failed(error);
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    if (written) Failed(error);
    unlink(temporary.c_str());
    return false;
  }
  return FlushToDisk(path, error);
}

bool RenameIfAbsent(const std::string& from, const std::string& to, bool* existed, std::string* error) {
  *existed = false;
  // A second name for the file and then the first removed: link() never
  // replaces an existing name, on every file system that has links.
  if (link(from.c_str(), to.c_str()) != 0) {
    *existed = errno == EEXIST;
    return Failed(error);
  }
  unlink(from.c_str());
  return FlushToDisk(to, error);
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

std::vector<std::string> FolderFileNames(const std::string& folder) {
  std::vector<std::string> names;
  const std::string base = folder.empty() ? "./" : folder.back() == '/' ? folder : folder + "/";
  DIR* dir = opendir(base.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat st {};
    if (stat((base + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool ReadFilePrefix(const std::string& path, size_t maxBytes, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return false;
  }
  std::string data;
  std::vector<char> chunk(64 * 1024);
  while (data.size() < maxBytes) {
    size_t want = maxBytes - data.size();
    if (want > chunk.size()) want = chunk.size();
    ssize_t n = read(fd, chunk.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {  // a read error: what was read so far is not the file
      close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(chunk.data(), static_cast<size_t>(n));
  }
  close(fd);
  *out = std::move(data);
  return true;
}

bool CurrentDirectory(std::string* out) {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return false;
  *out = buffer;
  return true;
}

bool CreateDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

std::string PcStateFolder(std::string* error) {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  // An XDG variable that is not an absolute path is to be ignored.
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      *error = "neither XDG_STATE_HOME nor HOME names a folder";
      return std::string();
    }
    base = std::string(home) + "/.local/state";
  }
  const std::string folder = base + "/ramtune";
  // Every missing parent is made too, the way mkdir -p does.
  for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot make " + part + ": " + std::strerror(errno);
      return std::string();
    }
    if (slash == std::string::npos) break;
  }
  return folder + "/";
}

// Reads "[section]" and "key=value" lines the way Windows profile files are
// read: names match without regard to case and with surrounding blanks
// removed, the value loses its surrounding blanks and one pair of matching
// quotes, and is cut to 259 characters. The first matching key wins.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& section,
                                                                    const std::string& iniPath) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::string content;
  if (!ReadFilePrefix(iniPath, kProfileReadLimit, &content)) return entries;
  const std::string wantedSection = Trim(section);

  bool inSection = false;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string::npos) end = content.size();
    std::string line = Trim(content.substr(pos, end - pos));
    pos = end + 1;

    if (!line.empty() && line[0] == '[') {
      size_t close = line.find(']');
      std::string name =
          Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = SameIgnoringCase(name, wantedSection);
      continue;
    }
    if (!inSection || line.empty() || line[0] == ';') continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kProfileValueMax) value.resize(kProfileValueMax);
    entries.emplace_back(Trim(line.substr(0, equals)), value);
  }
  return entries;
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& iniPath) {
  for (const auto& entry : ReadProfileSection(section, iniPath)) {
    if (SameIgnoringCase(entry.first, Trim(key))) return entry.second;
  }
  return std::string();
}

}  // namespace ramtune::platform
