// The runs of a bench: child processes in process groups of their own, their
// pipes, and the interrupts of the bench and of its runs.
#include "platform/platform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ramtune::platform {
namespace {

volatile sig_atomic_t interrupts = 0;
volatile sig_atomic_t terminationRequested = 0;
volatile sig_atomic_t stopRequested = 0;

void OnInterrupt(int) { interrupts = interrupts + 1; }
void OnTermination(int) { terminationRequested = 1; }
void OnStopRequest(int) { stopRequested = 1; }

void Catch(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

void CloseBoth(int fds[2]) {
  if (fds[0] >= 0) close(fds[0]);
  if (fds[1] >= 0) close(fds[1]);
}

// The descriptor at which a child finds its events channel: the bench names
// it on the child's command line.
constexpr int kChildChannelFd = 3;

}  // namespace

bool StartChildInGroup(const std::string& program, const ChildArguments& args, ChildProcess* out,
                       std::string* error) {
  *out = ChildProcess{};
  // Close-on-exec: no other child inherits these ends, so each pipe ends
  // when its own child ends.
  int output[2] = {-1, -1};
  int events[2] = {-1, -1};
  if (pipe2(output, O_CLOEXEC) != 0 || pipe2(events, O_CLOEXEC) != 0) {
    if (error != nullptr) *error = strerror(errno);
    CloseBoth(output);
    CloseBoth(events);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, output[1], 2);
  posix_spawn_file_actions_adddup2(&actions, events[1], kChildChannelFd);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A group of its own: the terminal's Ctrl+C reaches the bench alone, and
  // the bench can end a run together with what the run started (curl).
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t empty;
  sigemptyset(&empty);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &empty);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> words = args(std::to_string(kChildChannelFd));
  words.insert(words.begin(), program);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  close(events[1]);
  if (rc != 0) {
    if (error != nullptr) *error = strerror(rc);
    close(output[0]);
    close(events[0]);
    return false;
  }
  for (int fd : {output[0], events[0]}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  out->process = pid;
  out->output = output[0];
  out->events = events[0];
  return true;
}

bool ReadPipe(intptr_t* fd, std::string* into) {
  if (*fd < 0) return false;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(static_cast<int>(*fd), chunk, sizeof chunk);
    if (n > 0) {
      into->append(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    close(static_cast<int>(*fd));
    *fd = -1;
    return false;
  }
}

void ClosePipe(intptr_t* fd) {
  if (*fd >= 0) close(static_cast<int>(*fd));
  *fd = -1;
}

void WaitForPipes(const std::vector<intptr_t>& fds, int timeoutMs) {
  std::vector<pollfd> polled;
  for (intptr_t fd : fds) {
    if (fd >= 0) polled.push_back(pollfd{static_cast<int>(fd), POLLIN, 0});
  }
  if (polled.empty()) {
    SleepMs(timeoutMs);
    return;
  }
  poll(polled.data(), polled.size(), timeoutMs);  // EINTR: a Ctrl+C, seen by the caller
}

bool ChildEnded(ChildProcess* child, int* status, int* abnormal) {
  // waitpid(-1) or (0) would reap any child: a child never started has not ended.
  if (child->process <= 0) return false;
  int raw = 0;
  const pid_t pid = static_cast<pid_t>(child->process);
  if (waitpid(pid, &raw, WNOHANG) != pid) return false;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  *abnormal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  child->process = -1;
  return true;
}

void SignalChild(const ChildProcess& child, ChildSignal signal) {
  if (child.process <= 0) return;
  const pid_t pid = static_cast<pid_t>(child.process);
  switch (signal) {
    case ChildSignal::AskToStop: kill(pid, SIGINT); break;
    case ChildSignal::End:
      // What the run started ends with SIGTERM; the run itself takes
      // SIGTERM as a stop request (a service manager stops every process
      // of a service so), and so is killed.
      kill(-pid, SIGTERM);
      kill(pid, SIGKILL);
      break;
    case ChildSignal::Kill: kill(-pid, SIGKILL); break;
  }
}

bool WriteAll(intptr_t fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(static_cast<int>(fd), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool OpenParentChannel(const std::string& channel, intptr_t* pipe, std::string* error) {
  const int fd = channel.empty() || channel.size() > 6 || channel.find_first_not_of("0123456789") != std::string::npos
                     ? -1
                     : std::atoi(channel.c_str());
  if (fd < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    if (error != nullptr) *error = "'" + channel + "' names no open descriptor";
    return false;
  }
  *pipe = fd;
  stopRequested = 0;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) Catch(signalNumber, OnStopRequest);
  return true;
}

bool StopRequested() { return stopRequested != 0; }

void CatchInterrupts() {
  interrupts = 0;
  terminationRequested = 0;
  Catch(SIGINT, OnInterrupt);
  Catch(SIGTERM, OnTermination);
  Catch(SIGHUP, OnTermination);
}

void ReleaseInterrupts() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) Catch(signalNumber, SIG_DFL);
}

int InterruptCount() { return interrupts; }
bool TerminationRequested() { return terminationRequested != 0; }

}  // namespace ramtune::platform
