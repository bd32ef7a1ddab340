// Files, folders and the ini reader for Windows.
#include "platform/platform.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include "platform/win32/system_message.h"

// <windows.h> maps CreateDirectory to CreateDirectoryA; this file defines the
// platform operation of that name.
#undef CreateDirectory

namespace ramtune::platform {

bool FileExists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// Stores the text of GetLastError() for the caller; always false.
bool Failed(std::string* error) {
  if (error != nullptr) *error = SystemMessage(GetLastError());
  return false;
}

}  // namespace

bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(error);
  bool ok = SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER ||
            GetLastError() == NO_ERROR;
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (ok && left > 0) {
    DWORD written = 0;
    DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    ok = WriteFile(file, data, chunk, &written, nullptr) && written > 0;
    data += written;
    left -= written;
  }
  if (!ok) Failed(error);
  return (CloseHandle(file) || Failed(error)) && ok;
}

bool FlushToDisk(const std::string& path, std::string* error) {
  // Flushing needs write access to the file.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(error);
  const bool flushed = FlushFileBuffers(file) || Failed(error);
  CloseHandle(file);
  return flushed;
}

bool ReplaceFileDurably(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temporary = path + ".tmp";
  DeleteFileA(temporary.c_str());
  if (!AppendToFile(temporary, bytes, error) || !FlushToDisk(temporary, error)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  // Write-through: the call returns once the new name is on the disk.
  if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Failed(error);
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

bool RenameIfAbsent(const std::string& from, const std::string& to, bool* existed, std::string* error) {
  *existed = false;
  // Without MOVEFILE_REPLACE_EXISTING an existing name is never replaced.
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  const DWORD code = GetLastError();
  *existed = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
  return Failed(error);
}

bool RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> FolderFileNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  const std::string pattern = folder.empty() ? "*" : separated ? folder + "*" : folder + "\\*";
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

bool ReadFilePrefix(const std::string& path, size_t maxBytes, std::string* out) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string data;
  char chunk[64 * 1024];
  while (data.size() < maxBytes) {
    size_t want = maxBytes - data.size();
    DWORD n = 0;
    if (!ReadFile(file, chunk, want < sizeof chunk ? static_cast<DWORD>(want) : sizeof chunk, &n,
                  nullptr)) {
      CloseHandle(file);  // a read error: what was read so far is not the file
      return false;
    }
    if (n == 0) break;
    data.append(chunk, n);
  }
  CloseHandle(file);
  *out = std::move(data);
  return true;
}

bool CurrentDirectory(std::string* out) {
  // A 255-byte buffer: a longer directory counts as unreadable. The call
  // answers the size it would need when the buffer is too small.
  char buffer[255];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return false;
  out->assign(buffer, n);
  return true;
}

bool CreateDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

std::string ExecutablePath() {
  char buffer[260];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();  // failed or cut short
  return std::string(buffer, n);
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& section,
                                                                    const std::string& iniPath) {
  // "key=value\0" for each line, then one more '\0'.
  std::vector<char> buffer(32768);
  const DWORD n = GetPrivateProfileSectionA(section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                            iniPath.c_str());
  auto trim = [](const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
  };
  std::vector<std::pair<std::string, std::string>> entries;
  for (size_t at = 0; at < n && buffer[at] != '\0';) {
    const std::string line(buffer.data() + at);
    at += line.size() + 1;
    const size_t equals = line.find('=');
    if (equals == std::string::npos || trim(line).rfind(';', 0) == 0) continue;
    entries.emplace_back(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
  }
  return entries;
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

namespace {

// Who may do what in the PC's state folder and, inherited, in every file and
// folder made in it: the system and the administrators everything; every
// user of the PC reading, making, changing and deleting (whoever starts the
// program, whoever made the folder first).
constexpr char kPcStateAccess[] = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFWFXSD;;;BU)";

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string PcStateFolder(std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return std::string();
  };
  char common[MAX_PATH];
  const HRESULT found =
      SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
  if (FAILED(found)) {
    return fail("no common application data folder: " + SystemMessage(static_cast<DWORD>(found)));
  }
  std::string folder = common;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  folder += "Ramtune";
  if (IsFolder(folder)) return folder + '\\';

  PSECURITY_DESCRIPTOR access = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPcStateAccess, SDDL_REVISION_1, &access,
                                                            nullptr)) {
    return fail("cannot make the access list of " + folder + ": " + SystemMessage(GetLastError()));
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, access, FALSE};
  const bool made = CreateDirectoryA(folder.c_str(), &attributes) != 0;
  const DWORD failure = made ? NO_ERROR : GetLastError();
  LocalFree(access);
  // Another process may have made it meanwhile.
  if (!made && !(failure == ERROR_ALREADY_EXISTS && IsFolder(folder))) {
    return fail("cannot make " + folder + ": " + SystemMessage(failure));
  }
  return folder + '\\';
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& iniPath) {
  char buffer[260] = "";
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer,
                                     iniPath.c_str());
  return std::string(buffer, n);
}

}  // namespace ramtune::platform
