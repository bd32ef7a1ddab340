#include "link/command_channel.h"

#include "core/text.h"

namespace ramtune::link {

CommandChannel::CommandChannel(Discovery& discovery, const LinkServices& services)
    : discovery_(discovery), s_(services) {
  discovery_.OnCommandAnswer(
      [this](const uint8_t* data, size_t length, unsigned arrivalIndex) { DeliverResponse(data, length, arrivalIndex); });
}

void CommandChannel::SendCommand(const Target& target, const std::string& command, int limitMs) {
  if (command.size() > kTextFieldSize) {
    // Cut to the field it would run as another command: it is not sent, and
    // the caller sees no answer. An answer still due to the command before
    // does not count for this one either.
    {
      platform::LockGuard lock(responseLock_);
      responseText_.clear();
      awaiting_.store(false);
    }
    s_.logs.AppendProcessLog(Format("Command not sent: %d bytes, a command carries at most %d",
                                    static_cast<int>(command.size()), static_cast<int>(kTextFieldSize)));
    return;
  }
  const Target to = discovery_.Addressed(target);
  uint8_t packet[kPacketSize] = {};
  {
    platform::LockGuard lock(responseLock_);
    responseText_.clear();
    const CommandBlock block = MakeCommandBlock(command);
    awaiting_.store(true);
    awaitedSequence_ = BuildCommandRequest(packet, to.mac, ZeroBlock{}, block);
    awaitedMac_ = to.mac;
    awaitedRoute_ = to.route;
  }
  discovery_.SendServicePacket(packet, target, kListenCommand);
  if (limitMs <= 0) return;
  const int64_t start = s_.waits.clock().ProcessClockMs();
  while (awaiting_.load() && s_.waits.clock().ProcessClockMs() - start <= limitMs) {
    s_.waits.PumpMessages(1);
  }
}

void CommandChannel::DeliverResponse(const uint8_t* data, size_t length, unsigned arrivalIndex) {
  CheckOutcome outcome = CheckOutcome::NoMatch;
  {
    platform::LockGuard lock(responseLock_);
    if (!awaiting_.load()) return;
    if (!awaitedRoute_.SystemRouting() && arrivalIndex != 0 && arrivalIndex != awaitedRoute_.index) return;
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

void CommandChannel::QueryMtd0Value(const Target& target, const std::string& key) {
  SendCommand(target, "cat /dev/mtd0 | grep " + key, 1000);
  platform::LockGuard lock(responseLock_);
  const std::string line = FirstLine(responseText_);
  responseText_ = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
}

std::string CommandChannel::ResponseText() const {
  platform::LockGuard lock(responseLock_);
  return responseText_;
}

}  // namespace ramtune::link
