#include "link/router_link.h"

#include <cstring>

#include "core/programs.h"
#include "core/text.h"

namespace ramtune::link {
namespace {
constexpr int kBindAttempts = 12;
constexpr int kFirstSearchRounds = 20;
}  // namespace

RouterLink::RouterLink(const LinkServices& services) : s_(services) {
  CancelAction = [this] { s_.host.Exit(1); };
}

// ---- search ---------------------------------------------------------------------

void RouterLink::SetUpSocket() {
  s_.logs.AppendProcessLog("Start Create Socket...");
  if (!s_.transport.StartLibrary()) s_.display.MessageBox("starting windows sockets failed");
  if (!s_.transport.CreateSocket()) s_.display.MessageBox("Create socket failed");
  for (int attempt = 1; !s_.transport.Bind(kServicePort); ++attempt) {
    if (attempt >= kBindAttempts) break;  // go on unbound, without a message
    const intptr_t window = s_.host.FindTopLevelWindow(kCompetingUtilityTitle);
    if (window == 0) continue;
    if (!s_.display.AskYesNo(kCompetingUtilityQuestion)) {
      CancelAction();
      return;
    }
    s_.host.CloseWindowSync(window);
    s_.waits.PumpingDelay(1000);
  }
  if (!s_.transport.EnableBroadcast()) s_.display.MessageBox("setsockopt failed!!");
  ClearDeviceTable();
  s_.transport.StartListener(
      [this](const uint8_t* data, size_t length, const std::string& sourceIp) {
        OnDatagram(data, length, sourceIp);
      });
  socketReady_ = true;
}

bool RouterLink::SearchRouter() {
  if (!socketReady_) SetUpSocket();
  // Only a newly recorded router ends a search, so every attempt starts with
  // an empty table: otherwise a router found once (by an earlier run) would
  // never be found again and Retry could not reach it.
  ClearDeviceTable();
  s_.logs.AppendProcessLog("Search Device, Waiting a few seconds.........");
  s_.waits.PumpMessages(1);
  if (!SearchRounds(kFirstSearchRounds)) return false;
  s_.logs.AppendProcessLog("Search Model:" + Current().CurrentModel + "......OK!");
  return true;
}

bool RouterLink::SearchRounds(int rounds) {
  {
    platform::LockGuard lock(tableLock_);
    current_.FoundLabel.clear();
  }
  int progress = 0;
  for (int round = 0; round < rounds; ++round) {
    SendDiscoveryRound();
    s_.waits.PumpingDelay(1000);
    if (round % 4 == 3) {
      ++progress;
      s_.logs.AppendProcessLog(Format("[System]-Searching for LM-7210A/LM-7210B...%d", progress));
    }
    s_.waits.PumpMessages(1);
    if (!Current().FoundLabel.empty()) break;
  }
  return !Current().FoundLabel.empty();
}

void RouterLink::ClearDeviceTable() {
  platform::LockGuard lock(tableLock_);
  table_.clear();
}

void RouterLink::SendDiscoveryRound() {
  s_.processes.StartDetached(platform::SystemProgramPath(kArpProgram),
                             std::string(kArpProgram) + " -d");
  std::memset(sendBuffer_, 0, sizeof sendBuffer_);
  BuildDiscoveryRequest(sendBuffer_);
  listenMode_.store(kListenDiscovery);
  SendServicePacket();
}

void RouterLink::SendServicePacket() {
  std::string destination = "255.255.255.255";
  {
    platform::LockGuard lock(tableLock_);
    if (current_.UnicastMode) {
      destination = current_.SelectedIp;
      current_.DeviceIp = current_.SelectedIp;
    }
  }
  s_.transport.SendTo(destination, kServicePort, sendBuffer_, sizeof sendBuffer_);
  s_.waits.PumpMessages(1);
}

void RouterLink::OnDatagram(const uint8_t* data, size_t length, const std::string& sourceIp) {
  if (length > kPacketSize) return;
  switch (listenMode_.load()) {
    case kListenDiscovery: RecordDevice(data, length, sourceIp); break;
    case kListenCommand: DeliverResponse(data, length); break;
    default: break;
  }
}

void RouterLink::RecordDevice(const uint8_t* data, size_t length, const std::string& sourceIp) {
  DiscoveryInfo info;
  if (!ParseDiscoveryResponse(data, length, &info)) return;
  const MacAddress mac = info.Mac();
  platform::LockGuard lock(tableLock_);
  if (!targetPinned_) current_.TargetMac = mac;
  if (targetPinned_ && alternateAccepted_ && mac == alternateMac_ && sourceIp == current_.SelectedIp) {
    current_.TargetMac = mac;
  }
  for (const DeviceEntry& entry : table_) {
    if (entry.Mac == mac) return;
  }
  if (info.ModeByte() > 1) return;
  if (table_.size() >= kDeviceTableCapacity) return;
  DeviceEntry entry;
  entry.Model = info.Model();
  entry.Ip = sourceIp;
  entry.MacText = MacDigits(mac);
  entry.Label = info.Label();
  entry.Mac = mac;
  table_.push_back(entry);
  current_.FoundLabel = entry.Label;
  current_.DeviceIp = entry.Ip;
  current_.CurrentMacText = entry.MacText;
  current_.CurrentModel = entry.Model;
}

std::vector<DeviceEntry> RouterLink::DeviceTable() const {
  platform::LockGuard lock(tableLock_);
  return table_;
}

CurrentRouter RouterLink::Current() const {
  platform::LockGuard lock(tableLock_);
  return current_;
}

void RouterLink::SetUnicastMode(bool on) {
  platform::LockGuard lock(tableLock_);
  current_.UnicastMode = on;
}

void RouterLink::SetSelectedIp(const std::string& ip) {
  platform::LockGuard lock(tableLock_);
  current_.SelectedIp = ip;
}

void RouterLink::SetDeviceIp(const std::string& ip) {
  platform::LockGuard lock(tableLock_);
  current_.DeviceIp = ip;
}

void RouterLink::SetCurrentModel(const std::string& model) {
  platform::LockGuard lock(tableLock_);
  current_.CurrentModel = model;
}

void RouterLink::SetCurrentMacText(const std::string& macText) {
  platform::LockGuard lock(tableLock_);
  current_.CurrentMacText = macText;
}

void RouterLink::PinTarget(const MacAddress& mac) {
  platform::LockGuard lock(tableLock_);
  current_.TargetMac = mac;
  targetPinned_ = true;
}

void RouterLink::AcceptTargetAlsoAs(const MacAddress& mac) {
  platform::LockGuard lock(tableLock_);
  alternateMac_ = mac;
  alternateAccepted_ = true;
}

void RouterLink::ReleaseTarget() {
  platform::LockGuard lock(tableLock_);
  targetPinned_ = false;
  alternateAccepted_ = false;
}

// ---- command channel --------------------------------------------------------------

void RouterLink::SendCommand(const std::string& command, int limitMs) {
  const MacAddress target = Current().TargetMac;
  {
    platform::LockGuard lock(responseLock_);
    responseText_.clear();
    const CommandBlock block = MakeCommandBlock(command);
    awaiting_.store(true);
    std::memset(sendBuffer_, 0, sizeof sendBuffer_);
    awaitedSequence_ = BuildCommandRequest(sendBuffer_, target, ZeroBlock{}, block);
    awaitedMac_ = target;
  }
  listenMode_.store(kListenCommand);
  SendServicePacket();
  if (limitMs <= 0) return;
  const int64_t start = s_.waits.clock().ProcessClockMs();
  while (awaiting_.load() && s_.waits.clock().ProcessClockMs() - start <= limitMs) {
    s_.waits.PumpMessages(1);
  }
}

void RouterLink::DeliverResponse(const uint8_t* data, size_t length) {
  CheckOutcome outcome = CheckOutcome::NoMatch;
  {
    platform::LockGuard lock(responseLock_);
    if (!awaiting_.load()) return;
    ResultBlock result;
    outcome = ParseCommandResponse(data, length, awaitedSequence_, awaitedMac_, &result);
    if (outcome == CheckOutcome::Success) {
      responseText_ += result.Text();
      awaiting_.store(false);
      return;
    }
  }
  // The box is shown outside the lock, so that the waiting side is never
  // stuck behind a modal box.
  if (outcome == CheckOutcome::PasswordError) s_.display.MessageBox("NET_RES_ERR_PASSWORD");
  if (outcome == CheckOutcome::FieldError) s_.display.MessageBox("NET_RES_ERR_FIELD_UNDEF");
}

void RouterLink::QueryMtd0Value(const std::string& key) {
  SendCommand("cat /dev/mtd0 | grep " + key, 1000);
  platform::LockGuard lock(responseLock_);
  const std::string line = FirstLine(responseText_);
  responseText_ = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
}

std::string RouterLink::ResponseText() const {
  platform::LockGuard lock(responseLock_);
  return responseText_;
}

}  // namespace ramtune::link
