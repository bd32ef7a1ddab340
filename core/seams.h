// The seams of the program: time and message pump, display, transport and
// processes. Production wires the real clock, window and sockets behind them;
// the unit tests wire virtual time, a recording display and a scripted router.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ramtune {

// Time and the event pump. Every wait of the program goes through here.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t PerformanceCounter() = 0;
  virtual int64_t PerformanceFrequency() = 0;
  virtual int64_t ProcessClockMs() = 0;
  virtual void Sleep(int ms) = 0;
  // Removes one waiting message, if any, and dispatches it (a quit message is
  // dropped). Returns whether a message was waiting.
  virtual bool DispatchOneMessage() = 0;
  virtual std::string LocalTimeStamp() = 0;  // "%Y%m%d%H%M%S"
  // Waits at most ms for a message to arrive (typed input, a window timer
  // falling due, a posted message); returns at once when one is waiting.
  // A clock without messages just sleeps.
  virtual void WaitForMessage(int ms) { Sleep(ms); }
  // Told about every pause of PumpingDelay, so that tests can assert pauses.
  virtual void NotePause(int /*ms*/) {}
};

// Resources and controls of the main dialog that the program drives.
enum Picture : int { kPicturePass = 130, kPictureFail = 131, kPicturePause = 132, kPictureLogo = 133 };
// The picture as a front end without pictures names it.
inline const char* PictureName(int resourceId) {
  switch (resourceId) {
    case kPicturePass: return "PASS";
    case kPictureFail: return "FAIL";
    case kPicturePause: return "PAUSE";
    case kPictureLogo: return "logo";
    default: return "unknown";
  }
}
enum ControlId : int {
  kButtonRetry = 1,
  kButtonExit = 2,
  kLogList = 1000,
  kLabelModel = 1001,
  kLabelMac = 1002,
  kLabelFirmware = 1003,
  kButtonRunScript = 1004,
  kIpAddressField = 1005,
  kStatusPicture = 1007,
  kProgressBar = 1008,
};
enum TimerId : int { kStartTimer = 1, kSearchTimer = 100 };

struct WarningDialogModel;
struct SelectDeviceModel;

// The stage a search or run is in, for front ends that show it in words.
enum class RunPhase { Searching, BackingUp, Uploading, Flashing, WritingBack, Rebooting, Verifying };

inline const char* RunPhaseWords(RunPhase phase) {
  switch (phase) {
    case RunPhase::Searching: return "searching";
    case RunPhase::BackingUp: return "backing up";
    case RunPhase::Uploading: return "uploading";
    case RunPhase::Flashing: return "flashing";
    case RunPhase::WritingBack: return "writing back";
    case RunPhase::Rebooting: return "rebooting";
    case RunPhase::Verifying: return "verifying";
  }
  return "";
}

// What the program shows. The Win32 dialog, the console front end and the
// tests' recording display implement it.
class Display {
 public:
  virtual ~Display() = default;
  virtual void SetProgress(int position) = 0;
  virtual void SetPicture(int resourceId) = 0;
  virtual void SetLabel(int controlId, const std::string& text) = 0;
  virtual void EnableButton(int controlId, bool enabled) = 0;
  virtual bool ButtonEnabled(int controlId) = 0;
  // The four fields of the IP address field; false unless all four are filled.
  virtual bool ReadIpAddress(std::string* dotted) = 0;
  virtual void SetIpAddress(uint32_t address) = 0;  // first octet in the high byte
  virtual void MessageBox(const std::string& text) = 0;     // OK box, modal
  virtual bool AskYesNo(const std::string& question) = 0;   // Yes/No, question icon
  // The same for a question only the person at the program may answer: a
  // front end that answers questions for the user (a command line's --yes)
  // leaves this one to the user.
  virtual bool AskYesNoInPerson(const std::string& question) { return AskYesNo(question); }
  virtual void LogListAdd(const std::string& line) = 0;     // add, scroll to it, repaint
  virtual void LogListClear() = 0;
  // Shows lines that a clear took away again, without logging them a second
  // time. A front end whose lines stay visible after a clear shows nothing.
  virtual void LogListShowAgain(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) LogListAdd(line);
  }
  virtual void RunWarningDialog(WarningDialogModel& dialog) = 0;
  virtual void RunSelectDeviceDialog(SelectDeviceModel& dialog) = 0;
  // Open-file dialog; empty when cancelled.
  virtual std::string ChooseFile(const std::string& filter, const std::string& initialFolder) = 0;
  virtual void SetTimer(int timerId, int ms) = 0;
  virtual void KillTimer(int timerId) = 0;
  // Start-up's window preparation; front ends without these keep the defaults.
  virtual void SetTitle(const std::string& /*title*/) {}
  virtual void SetProgressRange(int /*low*/, int /*high*/, int /*step*/) {}
  // The phase that starts now; countdownMs is the length of the fixed wait
  // that starts with it (0: none). Only a front end that shows the phase
  // needs it; nothing is logged.
  virtual void SetPhase(RunPhase /*phase*/, int /*countdownMs*/) {}
};

// The service socket. Production: a UDP socket and the listener thread.
// arrivalIndex: the interface the datagram came in on, 0 when unknown.
using DatagramSink = std::function<void(const uint8_t* data, size_t length,
                                        const std::string& sourceIp, unsigned arrivalIndex)>;
class Transport {
 public:
  virtual ~Transport() = default;
  virtual bool StartLibrary() = 0;
  virtual void CleanupLibrary() = 0;
  virtual bool CreateSocket() = 0;
  virtual bool Bind(uint16_t port) = 0;
  virtual bool EnableBroadcast() = 0;
  // Starts the listener, which hands every received datagram to the sink.
  virtual void StartListener(DatagramSink sink) = 0;
  virtual void SendTo(const std::string& ip, uint16_t port, const uint8_t* data, size_t length) = 0;
  // The interfaces a router could be found on (platform::ListInterfaces).
  virtual std::vector<platform::NetInterface> ListInterfaces() = 0;
  // SendTo through one interface only (platform::UdpSocket::SendVia).
  virtual void SendVia(const std::string& ip, uint16_t port, const uint8_t* data, size_t length,
                       const platform::NetInterface& via) = 0;
  // Whether a unicast can be tied to an interface (not on Windows XP).
  virtual bool CanChooseInterface() = 0;
};

// Outside programs.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  virtual platform::CapturedRun RunCaptured(const std::string& application,
                                            const std::string& commandLine, int limitMs,
                                            size_t maxBytes) = 0;
  virtual platform::HiddenRun RunHidden(const std::string& application,
                                        const std::string& commandLine, int limitMs) = 0;
  virtual void StartDetached(const std::string& application, const std::string& commandLine) = 0;
};

// Other programs' windows. (Only a front end ends the process.)
class Host {
 public:
  virtual ~Host() = default;
  virtual intptr_t FindTopLevelWindow(const std::string& title) = 0;
  virtual void CloseWindowSync(intptr_t window) = 0;
};

}  // namespace ramtune
