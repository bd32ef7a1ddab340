// The runs of a bench on Windows: child processes without a console, each
// in a job object of its own with what it starts (curl), their pipes
// (anonymous pipes, polled: they cannot be waited on), the stop request as
// an inherited event, and the bench's console control events. Calls of
// Windows XP and older only.
#include "platform/platform.h"

#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "platform/win32/system_message.h"

namespace ramtune::platform {
namespace {

// The exit code of a child that End or Kill ended: the one Windows gives a
// console program that Ctrl+C ended. Codes from 0xC0000000 up are
// exceptions and terminations, never a program's own status.
constexpr DWORD kEndedByBench = 0xC000013A;
constexpr DWORD kAbnormalCodes = 0xC0000000;
// How often WaitForPipes looks at the pipes.
constexpr int kPipePollMs = 10;
// How long a console control event that ends the process (its console
// closed, log-off, shut-down) is held, so that the bench's loop can pass the
// stop request on to its runs before Windows ends the bench.
constexpr DWORD kTerminationGraceMs = 1500;

volatile LONG interrupts = 0;
volatile LONG terminationRequested = 0;
HANDLE parentStopEvent = nullptr;  // in a child: the event the bench sets to ask it to stop

// Handles are inheritable only while their own child is created: two
// children started at once would otherwise inherit each other's pipe ends.
// (A process that starts children here starts nothing else with inherited
// handles at the same time: the bench runs no uploads itself.)
Lock inheritLock;

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
intptr_t AsValue(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

void CloseValue(intptr_t* value) {
  if (*value != -1 && *value != 0) CloseHandle(AsHandle(*value));
  *value = -1;
}

void CloseAll(std::initializer_list<HANDLE> handles) {
  for (HANDLE handle : handles) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

void Inheritable(std::initializer_list<HANDLE> handles, bool inherit) {
  for (HANDLE handle : handles) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, inherit ? HANDLE_FLAG_INHERIT : 0);
}

// One argument as the C runtime's parser reads it back: quoted when it has
// a blank or a quote (or is empty), a quote escaped, and the backslashes
// before a quote doubled.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

std::string HandleText(HANDLE handle) {
  return std::to_string(static_cast<unsigned long long>(AsValue(handle)));
}

// A handle value from the command line that names a handle of this process.
bool ParseHandle(const std::string& text, HANDLE* handle) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *handle = AsHandle(static_cast<intptr_t>(std::strtoull(text.c_str(), nullptr, 10)));
  DWORD flags = 0;
  return GetHandleInformation(*handle, &flags) != FALSE;
}

// A job that holds the child and everything it starts, so that End and Kill
// reach curl too. A crash inside it ends the process instead of waiting at
// an error box nobody sees.
HANDLE NewJob() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  // No JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: a bench that crashes must not
  // cut a changed unit's write-back.
  return job;
}

BOOL WINAPI OnBenchControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    InterlockedIncrement(&interrupts);
    return TRUE;
  }
  InterlockedExchange(&terminationRequested, 1);
  Sleep(kTerminationGraceMs);
  return TRUE;
}

}  // namespace

bool CanTieSocketToDevice(const std::string&, std::string* error) {
  if (error != nullptr) *error = "not available on Windows";
  return false;
}

bool StartChildInGroup(const std::string& program, const ChildArguments& args, ChildProcess* out,
                       std::string* error) {
  *out = ChildProcess{};
  // Every handle is made non-inheritable, and the child's own ends become
  // inheritable only for its CreateProcessA below.
  HANDLE outputRead = nullptr, outputWrite = nullptr, eventsRead = nullptr, eventsWrite = nullptr;
  HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (!CreatePipe(&outputRead, &outputWrite, nullptr, 0) || !CreatePipe(&eventsRead, &eventsWrite, nullptr, 0) ||
      stopEvent == nullptr || nul == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = SystemMessage(GetLastError());
    CloseAll({outputRead, outputWrite, eventsRead, eventsWrite, stopEvent, nul});
    return false;
  }
  std::string commandLine = Quoted(program);
  for (const std::string& word : args(HandleText(eventsWrite) + ":" + HandleText(stopEvent))) {
    commandLine += " " + Quoted(word);
  }
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = outputWrite;
  startup.hStdError = outputWrite;
  PROCESS_INFORMATION process{};
  BOOL started;
  DWORD startError;
  {
    LockGuard guard(inheritLock);
    Inheritable({nul, outputWrite, eventsWrite, stopEvent}, true);
    // No console at all rather than a hidden one (CREATE_NO_WINDOW): a
    // console's host inherits what is inheritable now and lives while
    // anything is attached to the console (measured under Wine), so a curl
    // the run started would hold the run's pipes through it. What the run
    // starts gets a hidden console of its own. Suspended until it is in its
    // job: nothing it starts escapes the job.
    started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                             DETACHED_PROCESS | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    startError = GetLastError();
    Inheritable({stopEvent}, false);
  }
  CloseAll({nul, outputWrite, eventsWrite});  // the child's copies are the only writers now
  if (!started) {
    if (error != nullptr) *error = SystemMessage(startError);
    CloseAll({outputRead, eventsRead, stopEvent});
    return false;
  }
  HANDLE job = NewJob();
  if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
    // Before Windows 8 a process belongs to one job at most: a bench that
    // runs inside a job itself (a service host, the program compatibility
    // assistant of Vista and 7) cannot put its runs in jobs of their own.
    // End and Kill then end the child alone (TerminateProcess), and what it
    // started ends by itself.
    CloseHandle(job);
    job = nullptr;
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  out->process = AsValue(process.hProcess);
  out->output = AsValue(outputRead);
  out->events = AsValue(eventsRead);
  out->group = job != nullptr ? AsValue(job) : -1;
  out->stopEvent = AsValue(stopEvent);
  return true;
}

bool ReadPipe(intptr_t* pipe, std::string* into) {
  if (*pipe == -1) return false;
  for (;;) {
    DWORD available = 0;
    // Fails once every writer has gone and the pipe is empty.
    if (!PeekNamedPipe(AsHandle(*pipe), nullptr, 0, nullptr, &available, nullptr)) break;
    if (available == 0) return true;
    char chunk[4096];
    DWORD n = 0;
    if (!ReadFile(AsHandle(*pipe), chunk, available < sizeof chunk ? available : sizeof chunk, &n, nullptr)) break;
    into->append(chunk, n);
  }
  ClosePipe(pipe);
  return false;
}

void ClosePipe(intptr_t* pipe) { CloseValue(pipe); }

void WaitForPipes(const std::vector<intptr_t>& pipes, int timeoutMs) {
  const int64_t until = ProcessClockMs() + timeoutMs;
  for (;;) {
    for (intptr_t pipe : pipes) {
      if (pipe == -1) continue;
      DWORD available = 0;
      if (!PeekNamedPipe(AsHandle(pipe), nullptr, 0, nullptr, &available, nullptr) || available > 0) return;
    }
    const int64_t left = until - ProcessClockMs();
    if (left <= 0) return;
    SleepMs(left < kPipePollMs ? static_cast<int>(left) : kPipePollMs);
  }
}

bool ChildEnded(ChildProcess* child, int* status, int* abnormal) {
  if (child->process == -1 || child->process == 0) return false;
  if (WaitForSingleObject(AsHandle(child->process), 0) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  if (!GetExitCodeProcess(AsHandle(child->process), &code)) code = kEndedByBench;
  *status = code < kAbnormalCodes ? static_cast<int>(code) : -1;
  *abnormal = code < kAbnormalCodes ? 0 : static_cast<int>(code);
  CloseValue(&child->process);
  CloseValue(&child->group);
  CloseValue(&child->stopEvent);
  return true;
}

void SignalChild(const ChildProcess& child, ChildSignal signal) {
  if (child.process == -1 || child.process == 0) return;
  switch (signal) {
    case ChildSignal::AskToStop:
      if (child.stopEvent != -1) SetEvent(AsHandle(child.stopEvent));
      break;
    case ChildSignal::End:
    case ChildSignal::Kill:
      // Windows has no gentler end for a program without a window.
      if (child.group == -1 || !TerminateJobObject(AsHandle(child.group), kEndedByBench)) {
        TerminateProcess(AsHandle(child.process), kEndedByBench);
      }
      break;
  }
}

bool WriteAll(intptr_t pipe, const std::string& bytes) {
  if (pipe == -1) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(AsHandle(pipe), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) ||
        n == 0) {
      return false;
    }
    done += n;
  }
  return true;
}

bool OpenParentChannel(const std::string& channel, intptr_t* pipe, std::string* error) {
  const size_t colon = channel.find(':');
  HANDLE events = nullptr;
  HANDLE stop = nullptr;
  if (colon == std::string::npos || !ParseHandle(channel.substr(0, colon), &events) ||
      !ParseHandle(channel.substr(colon + 1), &stop)) {
    if (error != nullptr) *error = "'" + channel + "' names no channel of this process";
    return false;
  }
  // Programs this process starts with inherited handles (curl) get neither
  // the channel nor the bench's output pipe: a curl left running would hold
  // them open after the run has ended.
  Inheritable({events, stop, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)}, false);
  *pipe = AsValue(events);
  // A run of a bench has no console, so no console control events: the
  // bench's event is its one stop request.
  parentStopEvent = stop;
  return true;
}

bool StopRequested() {
  return parentStopEvent != nullptr && WaitForSingleObject(parentStopEvent, 0) == WAIT_OBJECT_0;
}

void CatchInterrupts() {
  InterlockedExchange(&interrupts, 0);
  InterlockedExchange(&terminationRequested, 0);
  SetConsoleCtrlHandler(OnBenchControl, TRUE);
}

void ReleaseInterrupts() { SetConsoleCtrlHandler(OnBenchControl, FALSE); }

int InterruptCount() { return static_cast<int>(interrupts); }
bool TerminationRequested() { return terminationRequested != 0; }

}  // namespace ramtune::platform
