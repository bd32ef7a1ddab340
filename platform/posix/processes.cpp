// Starting other programs on POSIX systems: posix_spawn, a pipe for the
// captured output, and background reaping so that no child stays a zombie.
#include "platform/platform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace ramtune::platform {
namespace {

// How long output is still collected after the tool has ended, for data that
// a child of the tool (which may hold the pipe open) writes late.
constexpr int kDrainAfterExitMs = 500;
// How long a tool that was killed is waited for before it is left to the
// background reaper (it may be stuck in the kernel for a while).
constexpr int kReapAfterKillMs = 2000;

int64_t NowMs() { return PerformanceCounter() / (PerformanceFrequency() / 1000); }

// Splits a command line as a shell would for plain words: blanks separate
// words, double quotes group blanks into a word and are removed. Nothing
// else is special (backslashes stay, as in Windows paths).
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// argv storage for posix_spawn: the strings and the null-terminated pointers.
class ArgumentVector {
 public:
  explicit ArgumentVector(std::vector<std::string> words) : words_(std::move(words)) {
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  char* const* get() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

// Starts a child with a clean signal mask and SIGPIPE at its default (the
// caller may block or ignore signals; the tool should not inherit that).
// Returns 0 or the errno value of the failed start, exec failures included.
int Spawn(const char* path, char* const argv[],
          const posix_spawn_file_actions_t* actions, pid_t* pid) {
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return ENOMEM;
  sigset_t empty;
  sigemptyset(&empty);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &empty);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int rc = posix_spawn(pid, path, actions, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  return rc;
}

// File actions that put the child's standard streams on /dev/null.
struct NullStdio {
  posix_spawn_file_actions_t actions;
  NullStdio() {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  ~NullStdio() { posix_spawn_file_actions_destroy(&actions); }
  NullStdio(const NullStdio&) = delete;
  NullStdio& operator=(const NullStdio&) = delete;
};

// True when the child has ended (and is reaped). ECHILD means someone else
// reaped it already (SIGCHLD ignored): it has ended too, with a status
// nobody can tell. `exitCode`, when given, gets the exit status of a child
// that ended by itself, -1 otherwise.
bool Reaped(pid_t pid, int* exitCode = nullptr) {
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  if (exitCode != nullptr) *exitCode = r == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r == pid || (r < 0 && errno == ECHILD);
}

// Waits for the child until the limit (negative: without one).
bool WaitForChild(pid_t pid, int limitMs) {
  const int64_t deadline = NowMs() + limitMs;
  for (;;) {
    if (Reaped(pid)) return true;
    int64_t remaining = deadline - NowMs();
    if (limitMs >= 0 && remaining <= 0) return false;
    SleepMs(limitMs < 0 || remaining > 5 ? 5 : static_cast<int>(remaining));
  }
}

// Leaves a child running. A detached thread reads and drops whatever it still
// prints (so it never blocks on a full pipe) and reaps it when it ends.
void ReapInBackground(pid_t pid, int outputFd) {
  auto reaper = [pid, outputFd] {
    int fd = outputFd;
    bool ended = false;
    while (fd >= 0) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char sink[4096];
        ssize_t n = read(fd, sink, sizeof sink);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
          close(fd);
          fd = -1;
        }
      }
      if (!ended) ended = Reaped(pid);
    }
    if (!ended) {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  };
  if (!StartDetachedThread(reaper)) {
    // No thread: the child becomes a zombie when it ends; nothing else breaks.
    if (outputFd >= 0) close(outputFd);
  }
}

}  // namespace

CapturedRun RunCaptured(const std::string& application, const std::string& commandLine, int limitMs,
                        size_t maxBytes) {
  CapturedRun run;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    run.status = CapturedRun::Status::PipeFailed;
    return run;
  }
  const int readFd = fds[0];
  fcntl(readFd, F_SETFL, fcntl(readFd, F_GETFL) | O_NONBLOCK);

  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) {
    words.push_back(application);
  } else {
    words[0] = application;
  }
  ArgumentVector argv(std::move(words));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  pid_t pid = -1;
  // No search along PATH: like an application name given to CreateProcess,
  // the path names the program file itself.
  int rc = Spawn(application.c_str(), argv.get(), &actions, &pid);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);  // the child's copy is the only writer now
  if (rc != 0) {
    close(readFd);
    run.status = CapturedRun::Status::StartFailed;
    run.systemError = strerror(rc);
    return run;
  }

  bool eof = false;
  auto readSome = [&] {
    char chunk[4096];
    for (;;) {
      ssize_t n = read(readFd, chunk, sizeof chunk);
      if (n > 0) {
        size_t room = maxBytes > run.output.size() ? maxBytes - run.output.size() : 0;
        run.output.append(chunk, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
        continue;  // keep reading: the rest is dropped, never left in the pipe
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || errno != EAGAIN) eof = true;
      return;
    }
  };
  auto pollOutput = [&](int waitMs) {
    if (eof) {
      SleepMs(waitMs);
      return;
    }
    pollfd p{readFd, POLLIN, 0};
    if (poll(&p, 1, waitMs) > 0) readSome();
  };

  // Wait for the end of the tool, draining the pipe meanwhile.
  const int64_t deadline = NowMs() + limitMs;
  bool ended = false;
  for (;;) {
    if (Reaped(pid, &run.exitCode)) {
      ended = true;
      break;
    }
    int64_t remaining = deadline - NowMs();
    if (limitMs >= 0 && remaining <= 0) break;
    pollOutput(limitMs < 0 || remaining > 10 ? 10 : static_cast<int>(remaining));
  }

  if (!ended) {
    // Ended here, so that a later run of the tool never overlaps this one.
    // Only the tool itself: it shares our process group, which a bench ends
    // as a whole. Whatever it started and is still writing loses the pipe.
    run.status = CapturedRun::Status::TimedOut;
    kill(pid, SIGKILL);
    close(readFd);
    if (!WaitForChild(pid, kReapAfterKillMs)) ReapInBackground(pid, -1);
    return run;
  }

  // The tool has ended: collect what is still in the pipe.
  const int64_t drainEnd = NowMs() + kDrainAfterExitMs;
  while (!eof) {
    int64_t remaining = drainEnd - NowMs();
    if (remaining <= 0) break;
    pollOutput(static_cast<int>(remaining));
  }
  close(readFd);
  run.status = run.output.empty() ? CapturedRun::Status::ReadFailed : CapturedRun::Status::Ok;
  return run;
}

namespace {

// Starts `application` itself (no search along PATH) with the words of the
// command line, the first replaced by the application, as RunCaptured does;
// standard streams on /dev/null.
bool StartQuiet(const std::string& application, const std::string& commandLine, pid_t* pid) {
  // A relative name would be taken from the current directory.
  if (application.empty() || application[0] != '/') return false;
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) {
    words.push_back(application);
  } else {
    words[0] = application;
  }
  ArgumentVector argv(std::move(words));
  NullStdio stdio;
  return Spawn(application.c_str(), argv.get(), &stdio.actions, pid) == 0;
}

}  // namespace

HiddenRun RunHidden(const std::string& application, const std::string& commandLine, int limitMs) {
  pid_t pid = -1;
  if (!StartQuiet(application, commandLine, &pid)) return HiddenRun::NotStarted;
  if (WaitForChild(pid, limitMs)) return HiddenRun::Ended;
  ReapInBackground(pid, -1);
  return HiddenRun::TimedOut;
}

void StartDetached(const std::string& application, const std::string& commandLine) {
  pid_t pid = -1;
  if (StartQuiet(application, commandLine, &pid)) ReapInBackground(pid, -1);
}

std::vector<std::string> AbsoluteSearchFolders(const std::string& pathValue) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= pathValue.size()) {
    size_t end = pathValue.find(':', start);
    if (end == std::string::npos) end = pathValue.size();
    // An empty entry means the current directory, as does any relative one.
    if (end > start && pathValue[start] == '/') folders.push_back(pathValue.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

std::string SystemProgramPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (const std::string& folder : AbsoluteSearchFolders(path != nullptr ? path : "")) {
    const std::string candidate = folder + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return std::string();
}

intptr_t FindTopLevelWindow(const std::string&) { return 0; }

void CloseWindowSync(intptr_t) {}

}  // namespace ramtune::platform
