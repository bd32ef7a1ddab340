// curl.exe stand-in for tests under Wine: uploads one file by FTP with
// WinINet. It understands the one command line Ramtune sends,
//
//   curl.exe -T "C:\folder\file" ftp://HOST[:PORT]/DIR/
//
// logs in anonymously in passive mode, stores the file as /DIR/<its own name>
// and prints what it does on standard output. Exit codes follow curl's for
// the same situations: 0 done, 2 bad command line, 7 no connection,
// 25 upload refused, 26 local file unreadable.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct FtpTarget {
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
  std::string directory;  // with leading and trailing "/"
};

bool ParseUrl(const std::string& url, FtpTarget* target) {
  const std::string scheme = "ftp://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const std::string rest = url.substr(scheme.size());
  const size_t slash = rest.find('/');
  std::string hostPort = rest.substr(0, slash);
  target->directory = slash == std::string::npos ? "/" : rest.substr(slash);
  const size_t colon = hostPort.find(':');
  if (colon != std::string::npos) {
    target->port = static_cast<INTERNET_PORT>(std::atoi(hostPort.c_str() + colon + 1));
    hostPort.resize(colon);
  }
  target->host = hostPort;
  // The file keeps its own name: the URL must name a directory.
  if (target->directory.back() != '/') return false;
  return !target->host.empty();
}

std::string BaseName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string LastResponse() {
  DWORD error = 0;
  char text[1024] = "";
  DWORD length = sizeof text;
  if (!InternetGetLastResponseInfoA(&error, text, &length)) return std::string();
  return std::string(text, length);
}

int Fail(int code, const char* what, DWORD error) {
  std::printf("curl: (%d) %s (error %lu)\n", code, what, static_cast<unsigned long>(error));
  const std::string response = LastResponse();
  if (!response.empty()) std::printf("server said: %s\n", response.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::string local;
  std::string url;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-T" && i + 1 < argc) {
      local = argv[++i];
    } else if (arg.compare(0, 6, "ftp://") == 0) {
      url = arg;
    }
  }
  FtpTarget target;
  if (local.empty() || !ParseUrl(url, &target)) {
    std::printf("usage: curl.exe -T \"LOCAL FILE\" ftp://HOST[:PORT]/DIRECTORY/\n");
    return 2;
  }

  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExA(local.c_str(), GetFileExInfoStandard, &attributes)) {
    return Fail(26, ("cannot read " + local).c_str(), GetLastError());
  }
  const unsigned long size = attributes.nFileSizeLow;
  const std::string remote = target.directory + BaseName(local);
  std::printf("Uploading %s (%lu bytes) to ftp://%s:%u%s\n", local.c_str(), size,
              target.host.c_str(), static_cast<unsigned>(target.port), remote.c_str());
  std::fflush(stdout);

  HINTERNET session = InternetOpenA("curl-standin", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (session == nullptr) return Fail(7, "InternetOpen failed", GetLastError());
  HINTERNET ftp = InternetConnectA(session, target.host.c_str(), target.port, nullptr, nullptr,
                                   INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  if (ftp == nullptr) {
    const DWORD error = GetLastError();
    InternetCloseHandle(session);
    return Fail(7, ("cannot connect to " + target.host).c_str(), error);
  }
  std::printf("Connected, anonymous login, passive mode\n");
  const BOOL stored =
      FtpPutFileA(ftp, local.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0);
  const DWORD error = GetLastError();
  int status = 0;
  if (stored) {
    std::printf("100%%  %lu of %lu bytes sent\nUpload of %s complete\n", size, size,
                BaseName(local).c_str());
  } else {
    status = Fail(25, ("upload of " + remote + " failed").c_str(), error);
  }
  InternetCloseHandle(ftp);
  InternetCloseHandle(session);
  return status;
}
