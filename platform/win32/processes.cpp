// Starting other programs and talking to other programs' windows on Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cctype>
#include <memory>
#include <vector>

#include "platform/win32/system_message.h"

namespace ramtune::platform {
namespace {

// How long output is still collected after the tool has ended, for data that
// a child of the tool (which may hold the pipe open) writes late.
constexpr DWORD kDrainAfterExitMs = 500;
// The exit code of a tool ended at its time limit, and how long its end is
// waited for.
constexpr UINT kTimedOutExitCode = 1;
constexpr DWORD kReapAfterKillMs = 2000;

DWORD WaitLimit(int limitMs) { return limitMs < 0 ? INFINITE : static_cast<DWORD>(limitMs); }

// Fully qualified: C:\x or \\server\share. C:x, \x and bare names depend
// on the current directory or drive.
bool IsFullPath(const std::string& path) {
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

std::vector<char> Writable(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return buffer;
}

// The read end of the output pipe and what has been read from it. Shared by
// the caller and the reader thread: a program the tool left running keeps
// the reader busy after the caller has returned, and the last owner closes
// the pipe.
struct OutputPipe {
  OutputPipe(HANDLE h, size_t limit) : readEnd(h), maxBytes(limit) {}
  ~OutputPipe() { CloseHandle(readEnd); }
  OutputPipe(const OutputPipe&) = delete;
  OutputPipe& operator=(const OutputPipe&) = delete;

  std::string Snapshot() {
    LockGuard guard(lock);
    return output;
  }

  HANDLE readEnd;
  const size_t maxBytes;
  Lock lock;
  std::string output;  // the first maxBytes; the rest is read and dropped
};

// Reads the pipe until every writer has closed it (or the read is
// cancelled), so that a tool printing more than the pipe holds never blocks.
DWORD WINAPI DrainPipe(void* parameter) {
  std::unique_ptr<std::shared_ptr<OutputPipe>> owner(
      static_cast<std::shared_ptr<OutputPipe>*>(parameter));
  OutputPipe& pipe = **owner;
  char chunk[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(pipe.readEnd, chunk, sizeof chunk, &n, nullptr)) break;
    LockGuard guard(pipe.lock);
    size_t room = pipe.maxBytes > pipe.output.size() ? pipe.maxBytes - pipe.output.size() : 0;
    pipe.output.append(chunk, n < room ? n : room);
  }
  return 0;
}

}  // namespace

CapturedRun RunCaptured(const std::string& application, const std::string& commandLine, int limitMs,
                        size_t maxBytes) {
  CapturedRun run;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    run.status = CapturedRun::Status::PipeFailed;
    return run;
  }
  // Only the write end goes to the tool; an inherited read end would keep
  // the pipe open after the tool ends.
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  const bool hadStdHandles = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
  startup.cb = sizeof startup;
  startup.lpReserved = nullptr;
  startup.cbReserved2 = 0;  // never hand our C runtime's file table on
  startup.lpReserved2 = nullptr;
  startup.dwFlags |= STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (!hadStdHandles) startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;

  PROCESS_INFORMATION process{};
  std::vector<char> line = Writable(commandLine);
  BOOL started = CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                nullptr, nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);  // the tool's copy is the only writer now
  if (!started) {
    CloseHandle(readEnd);
    run.status = CapturedRun::Status::StartFailed;
    run.systemError = SystemMessage(startError);
    return run;
  }

  auto pipe = std::make_shared<OutputPipe>(readEnd, maxBytes);
  auto* threadShare = new std::shared_ptr<OutputPipe>(pipe);
  HANDLE reader = CreateThread(nullptr, 0, DrainPipe, threadShare, 0, nullptr);
  if (reader == nullptr) delete threadShare;  // no draining: a chatty tool may block

  const DWORD waited = WaitForSingleObject(process.hProcess, WaitLimit(limitMs));
  if (waited == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.hProcess, &exitCode)) run.exitCode = static_cast<int>(exitCode);
    if (reader == nullptr) {
      // Without the reader thread, collect what the pipe holds now.
      DWORD available = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char chunk[4096];
        DWORD n = 0;
        if (!ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) || n == 0) break;
        size_t room = maxBytes > pipe->output.size() ? maxBytes - pipe->output.size() : 0;
        pipe->output.append(chunk, n < room ? n : room);
      }
    } else {
      // A child of the tool may still hold the pipe: what it writes within
      // this time is kept. After it, the reader goes on draining (and
      // dropping) on its own until the last writer has gone, so that the
      // child never blocks on a full pipe.
      WaitForSingleObject(reader, kDrainAfterExitMs);
    }
    run.output = pipe->Snapshot();
    run.status = run.output.empty() ? CapturedRun::Status::ReadFailed : CapturedRun::Status::Ok;
  } else {
    // Still running (or the wait failed): ended here, so that a later run of
    // the tool never overlaps this one. The reader thread drains the pipe
    // until its last writer has gone.
    TerminateProcess(process.hProcess, kTimedOutExitCode);
    WaitForSingleObject(process.hProcess, kReapAfterKillMs);
    run.output = pipe->Snapshot();
    run.status = CapturedRun::Status::TimedOut;
  }
  if (reader != nullptr) CloseHandle(reader);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

namespace {

// Starts `application` itself (CreateProcess searches nothing when it is
// given) without a window. `hide` also hides the window of a GUI program.
bool StartWithoutWindow(const std::string& application, const std::string& commandLine, bool hide,
                        PROCESS_INFORMATION* process) {
  // A bare or relative name would be completed with the current directory.
  if (!IsFullPath(application)) return false;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (hide) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  std::vector<char> line = Writable(commandLine);
  return CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, process) != FALSE;
}

}  // namespace

HiddenRun RunHidden(const std::string& application, const std::string& commandLine, int limitMs) {
  PROCESS_INFORMATION process{};
  if (!StartWithoutWindow(application, commandLine, false, &process)) return HiddenRun::NotStarted;
  const DWORD waited = WaitForSingleObject(process.hProcess, WaitLimit(limitMs));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return waited == WAIT_TIMEOUT ? HiddenRun::TimedOut : HiddenRun::Ended;
}

void StartDetached(const std::string& application, const std::string& commandLine) {
  PROCESS_INFORMATION process{};
  if (!StartWithoutWindow(application, commandLine, true, &process)) return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

std::vector<std::string> AbsoluteSearchFolders(const std::string& pathValue) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= pathValue.size()) {
    size_t end = pathValue.find(';', start);
    if (end == std::string::npos) end = pathValue.size();
    std::string folder;
    for (size_t i = start; i < end; ++i) {
      if (pathValue[i] != '"') folder += pathValue[i];
    }
    if (IsFullPath(folder)) folders.push_back(folder);
    start = end + 1;
  }
  return folders;
}

std::string SystemProgramPath(const std::string& name) {
  char folder[MAX_PATH];
  const UINT n = GetSystemDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return std::string();
  return std::string(folder, n) + "\\" + name + ".exe";
}

intptr_t FindTopLevelWindow(const std::string& title) {
  return reinterpret_cast<intptr_t>(FindWindowA(nullptr, title.c_str()));
}

void CloseWindowSync(intptr_t window) {
  if (window != 0) SendMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
}

}  // namespace ramtune::platform
