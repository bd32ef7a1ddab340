// The operating-system layer. One set of declarations; platform/posix/ and
// platform/win32/ implement them and CMake picks one at link time. Nothing
// above this layer includes a system header or tests an OS macro.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ramtune::platform {

// ---- names that differ between the two systems -------------------------
extern const char kPathSeparator;        // '\\' or '/'
extern const char* const kUploaderName;  // "curl.exe" or "curl"
extern const char* const kEchoLibraryName;  // "Echomod.dll" or "libEchomod.so"
extern const char* const kMemberMarkerPath; // "c:\\qarv_member.txt" or a POSIX path

// ---- clock -------------------------------------------------------------
int64_t PerformanceCounter();
int64_t PerformanceFrequency();
int64_t ProcessClockMs();      // milliseconds since the process started
void SleepMs(int ms);
std::string LocalTimeStamp();  // local time, "%Y%m%d%H%M%S"

// ---- threads and locks ----------------------------------------------------
// The program's own, so that no build depends on a threads runtime: the
// 32-bit Windows build uses a compiler without std::thread and std::mutex
// (the runtime that has them needs functions Windows XP lacks). Win32: a
// thread of CreateThread and a critical section; POSIX: pthreads.

// Starts `body` on a new thread that is never joined: it runs until it
// returns or the process ends. False when no thread could be started.
bool StartDetachedThread(std::function<void()> body);

// A lock that one thread holds at a time; not recursive by contract.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Acquire();
  void Release();

 private:
  // Room for a CRITICAL_SECTION or a pthread_mutex_t; each side checks
  // at compile time that its object fits.
  alignas(8) unsigned char storage_[64];
};

// Holds a Lock for the life of a scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

// ---- socket library and the UDP socket -----------------------------------
bool SocketLibraryStartup();   // WSAStartup(2.2); always true on POSIX

// A network interface that could reach a router: not loopback, able to
// broadcast. `address` is empty when it has no IPv4 address.
struct NetInterface {
  unsigned index = 0;     // the system's interface index
  std::string name;       // Linux: "eth0"; Windows: the adapter's description
  std::string address;    // dotted IPv4, the first one of the interface
  std::string netmask;    // dotted
  bool up = false;        // switched on
  bool hasLink = false;   // carrier (cable in, Wi-Fi associated)
  std::string mac;        // the hardware address, twelve upper-case hex digits (empty when unknown)
};
// Six bytes of a hardware address as twelve upper-case hex digits.
inline std::string HexMac(const unsigned char* bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 6; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}
// The interfaces in the system's order; empty when they cannot be read.
std::vector<NetInterface> ListInterfaces();
// How curl's --interface names an interface here: Linux takes the name
// (which ties the socket to the link), Windows the address.
extern const bool kUploaderInterfaceByName;
void SocketLibraryCleanup();   // WSACleanup; nothing on POSIX

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Create();                      // IPv4 datagram socket
  bool Bind(uint16_t port);           // any local address
  bool EnableBroadcast();             // SO_BROADCAST = 1 (4-byte int)
  // Ties the socket to one network device before Bind: it then receives on
  // that link only, and sockets tied to different links may share a port.
  // Linux: SO_BINDTODEVICE on the device's name. Windows: the adapter named
  // (its description) or with that IPv4 address; Bind then binds to the
  // adapter's address. False, with the reason in `error`, where it cannot be
  // done (no privilege; an adapter that is missing or has no address).
  bool TieToDevice(const std::string& device, std::string* error);
  bool IsOpen() const { return handle_ >= 0; }
  intptr_t handle() const { return handle_; }
  // Sends to a dotted IPv4 text (inet_addr). Result only informative.
  bool SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t len);
  // The same, leaving through one interface whatever the routing table says
  // (Linux: IP_PKTINFO per datagram; Windows Vista and later: IP_UNICAST_IF).
  // Where the system cannot force it (Windows XP), a broadcast goes to the
  // interface's own subnet broadcast and a unicast leaves as SendTo sends it.
  bool SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t len,
               const NetInterface& via);
  // Whether SendVia can force the interface of a unicast (decided at run time).
  bool CanChooseInterface() const;
  // Waits until readable: timeoutMs < 0 waits without limit. Returns true when readable.
  bool WaitReadable(int timeoutMs);
  // Receives one datagram into buf. Returns the byte count, or -1 on failure
  // (a datagram longer than cap counts as a failure). sourceIp gets the dotted source.
  // arrivalIndex, when given, gets the interface the datagram came in on
  // (0 where the system does not tell).
  int ReceiveFrom(uint8_t* buf, size_t cap, std::string* sourceIp, unsigned* arrivalIndex = nullptr);
  void Close();

 private:
  // Windows: sets IP_UNICAST_IF (0: none) unless it is set already; false
  // when refused.
  bool ForceInterface(unsigned index);

  intptr_t handle_ = -1;
  unsigned forcedIndex_ = 0;  // Windows: the IP_UNICAST_IF now set on the socket
  bool canChoose_ = false;    // Windows: IP_UNICAST_IF accepted when the socket was made
  std::string tiedAddress_;   // Windows: the tied adapter's address, which Bind binds to
};

// ---- processes --------------------------------------------------------------
struct CapturedRun {
  enum class Status { Ok, PipeFailed, StartFailed, TimedOut, ReadFailed };
  Status status = Status::StartFailed;
  std::string systemError;  // the system's message text for a start failure
  std::string output;       // standard output and error, at most maxBytes
  // The tool's exit status once it has ended (Ok, ReadFailed); -1 when it
  // had to be ended, ended by a signal, or its status could not be learned.
  int exitCode = -1;
};
// Starts `application` with `commandLine` (Windows: CreateProcessA with both;
// POSIX: the command line split like a shell would, quotes removed, its first
// word replaced by `application`), no window, stdout+stderr into a pipe that
// is drained while waiting. Waits at most limitMs; a tool still running then
// is ended (TimedOut). Keeps the first maxBytes of the output. ReadFailed
// when the tool printed nothing. An ended tool's exit status is in exitCode.
CapturedRun RunCaptured(const std::string& application, const std::string& commandLine,
                        int limitMs, size_t maxBytes);

enum class HiddenRun { Ended, NotStarted, TimedOut };
// Starts `application` (a full path: nothing is searched for, least of all
// in the current directory) with `commandLine` as RunCaptured does, without
// a window and without output, and waits at most limitMs. NotStarted when
// `application` is empty or cannot be started.
HiddenRun RunHidden(const std::string& application, const std::string& commandLine, int limitMs);

// The same without waiting ("arp -d").
void StartDetached(const std::string& application, const std::string& commandLine);

// ---- where programs are ------------------------------------------------------
// The folders of a PATH value (';' between them on Windows, ':' on POSIX;
// Windows' quotes removed), in order, without the relative ones ("", ".",
// "bin"): those would name the current directory, which is writable and
// holds the logs.
std::vector<std::string> AbsoluteSearchFolders(const std::string& pathValue);
// The full path of a program of the system ("arp"): on Windows in the system
// folder (GetSystemDirectory), on POSIX the first absolute PATH folder that
// has it. Empty when there is none.
std::string SystemProgramPath(const std::string& name);

// ---- other programs' windows ----------------------------------------------
// A top-level window with exactly this title; 0 when there is none (always 0 on POSIX).
intptr_t FindTopLevelWindow(const std::string& title);
// Sends WM_CLOSE synchronously.
void CloseWindowSync(intptr_t window);

// ---- files ------------------------------------------------------------------
bool FileExists(const std::string& path);       // files and directories
// Opens (creating, never truncating), appends the bytes at the end, closes.
// On failure `error`, when given, receives the system's message text.
bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error = nullptr);
// Asks the system to put a file's contents on the disk (fsync,
// FlushFileBuffers), and on POSIX its folder too, so that a newly created
// file keeps its name after a power cut. On failure `error`, when given,
// receives its text.
bool FlushToDisk(const std::string& path, std::string* error = nullptr);
// Puts `bytes` at `path` whole or not at all: written to a temporary file
// beside it, put on the disk, renamed over `path`, and the folder put on the
// disk. On failure `error`, when given, receives the system's text.
bool ReplaceFileDurably(const std::string& path, const std::string& bytes, std::string* error = nullptr);
// Gives a file the name `to` only when no file has that name yet, and puts
// the new name on the disk: of several processes racing to put a file in
// place, exactly one wins and the others see `existed`. On failure `error`,
// when given, receives the system's text.
bool RenameIfAbsent(const std::string& from, const std::string& to, bool* existed, std::string* error = nullptr);
// Removes a file; true when it is gone (also when it was not there).
bool RemoveFile(const std::string& path);
// The names of the files in `folder` (with or without its separator; no
// folders, no "." or ".."); empty when it cannot be read.
std::vector<std::string> FolderFileNames(const std::string& folder);
// Reads at most maxBytes from the start of a file. False when it cannot be opened.
// A read error fails too: the bytes read up to it are not the file.
bool ReadFilePrefix(const std::string& path, size_t maxBytes, std::string* out);
bool CurrentDirectory(std::string* out);      // false when it cannot be read
bool CreateDirectory(const std::string& path);
unsigned long CurrentProcessId();
std::string ExecutablePath();                 // the running program's file (to start more of itself); empty on failure
std::string ExecutableFolder();               // with a trailing separator; empty on failure
// The folder this PC keeps its own state in (the unit ledger), with its
// trailing separator, made (with its parents) when missing: on POSIX
// $XDG_STATE_HOME/ramtune/ (default ~/.local/state/ramtune/); on Windows the
// common application data folder's Ramtune\, made with an access list that
// lets every user of the PC change its files. Empty when it cannot be found
// or made; `error` then says why.
std::string PcStateFolder(std::string* error);
// An exclusive lock on the file at `path` (made when missing), taken
// without waiting: held until ReleaseFileLock or the end of the process, and
// refused to every other holder, in this process or another (flock,
// LockFileEx). -1 when it cannot be taken: `busy` says whether another
// holder has it, else `error` says why.
intptr_t TryLockFile(const std::string& path, bool* busy, std::string* error);
void ReleaseFileLock(intptr_t lock);
// A path as the system's file functions take it (Windows: the ANSI code
// page), in UTF-8, as libraries that take UTF-8 paths want it.
std::string PathInUtf8(const std::string& path);
// [section] key= from an ini file; empty when file, section or key are absent.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& iniPath);
// Every key= of [section] in an ini file, in the file's order, key and value
// trimmed; empty when file or section are absent.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& section,
                                                                    const std::string& iniPath);

// ---- single instance ----------------------------------------------------------
// True when another instance holds the named lock; otherwise this process
// takes it and holds it until it exits (programs it starts do not inherit
// it). Windows: a named mutex. POSIX: an abstract UNIX socket name, which
// belongs to the network namespace, so instances in different namespaces
// do not see each other.
bool AnotherInstanceRunning(const std::string& name);

// ---- shared library -------------------------------------------------------------
// Loads a library from `folder` (never from the current directory) and
// resolves two symbols. Returns false with nothing bound when loading fails.
struct LoadedLibrary {
  void* handle = nullptr;
  void* first = nullptr;
  void* second = nullptr;
};
bool LoadLibraryFrom(const std::string& folder, const std::string& fileName,
                     const char* firstSymbol, const char* secondSymbol, LoadedLibrary* out);

// ---- system version -------------------------------------------------------------
// What GetVersionExA reports (platform id 2 = NT, 1 = 9x). POSIX reports an
// accepted NT 6.1 so that the version gate never refuses there.
struct OsVersion {
  unsigned platformId = 0;
  unsigned major = 0;
  unsigned minor = 0;
  std::string servicePack;
};
OsVersion QueryOsVersion();

// ---- a bench's runs: child processes and interrupts ---------------------------------
// The bench starts one child per link or unit (this program again) and hears
// it through two pipes: its standard output and error, and its events. POSIX:
// process groups and signals; Windows: job objects and an event per child.

// Whether a socket can be tied to `device` here: one is made, tied, and the
// tie read back. `error` says why not (an old kernel without the privilege
// would let a program bind the address only, and traffic of one link could
// leave by another). Always false on Windows.
bool CanTieSocketToDevice(const std::string& device, std::string* error);

// A child of the bench. Its handles belong to the platform layer: the bench
// passes the record back to the functions below and reads nothing in it
// but whether a pipe is still open (>= 0).
struct ChildProcess {
  intptr_t process = -1;  // POSIX: the pid, its process group's id too; Windows: the process handle
  intptr_t output = -1;   // read ends; -1 once ended and closed
  intptr_t events = -1;
  intptr_t group = -1;    // Windows: the job object that holds it and what it starts; -1: none
  intptr_t stopEvent = -1;  // Windows: the event that asks it to stop
};
// The child's command line, made once its events channel exists: `channel`
// is the text by which the child finds the channel's write end and the
// bench's stop request (give it to OpenParentChannel).
using ChildArguments = std::function<std::vector<std::string>(const std::string& channel)>;
// Starts `program` in a group of its own (POSIX: a process group; Windows:
// a job object, no console), standard input on the null device,
// standard output and error into the output pipe, and the write end of the
// events pipe inherited by this child alone.
bool StartChildInGroup(const std::string& program, const ChildArguments& args, ChildProcess* out,
                       std::string* error);
// Appends what the pipe holds now, without waiting. Once the pipe has ended
// it is closed and *pipe set to -1; false then.
bool ReadPipe(intptr_t* pipe, std::string* into);
void ClosePipe(intptr_t* pipe);  // and sets it to -1
// Waits at most timeoutMs until one of the pipes (-1 entries skipped) has
// data or has ended.
void WaitForPipes(const std::vector<intptr_t>& pipes, int timeoutMs);
// True when the child has ended (POSIX: and is reaped; Windows: its process
// handle, job and stop event are closed): *status its exit status, or -1
// when it ended abnormally, and then *abnormal says how (POSIX: the signal;
// Windows: the exception or termination code). A child never started, or
// already seen ended, has not ended.
bool ChildEnded(ChildProcess* child, int* status, int* abnormal);
enum class ChildSignal {
  AskToStop,  // to the child alone: it decides (a bench run stops unless its unit was changed)
  End,        // the child and what it started: end now
  Kill,       // the same, for what outlived End
};
void SignalChild(const ChildProcess& child, ChildSignal signal);
// Writes every byte (a child's event line); false when the reader has gone.
bool WriteAll(intptr_t pipe, const std::string& bytes);

// In a child of a bench: opens the channel that `channel` names (from its
// command line) as *pipe for WriteAll, keeps it from every program this
// process starts (so that a curl left running never holds it open) and
// starts taking the bench's stop request: the bench's AskToStop (POSIX:
// SIGINT; Windows: an event), and on POSIX what a single run takes as the
// first step of a stop too (SIGTERM, SIGHUP). Windows: the process's
// standard output and error (the bench's other pipe) are kept from what it
// starts as well. False with the reason when the text names no channel.
bool OpenParentChannel(const std::string& channel, intptr_t* pipe, std::string* error);
// Whether a stop has been requested since OpenParentChannel.
bool StopRequested();

// Ctrl+C and termination requests of this process, counted from now on
// (from zero) instead of ending it; ReleaseInterrupts lets them end it again.
// POSIX: SIGINT; SIGTERM and SIGHUP as termination. Windows: Ctrl+C and
// Ctrl+Break; closing the console, logging off and shutting down as
// termination.
void CatchInterrupts();
void ReleaseInterrupts();
int InterruptCount();
bool TerminationRequested();

// ---- process end ----------------------------------------------------------------
[[noreturn]] void ExitProcess(int code);

}  // namespace ramtune::platform
