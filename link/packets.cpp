#include "link/packets.h"

#include <atomic>
#include <cstring>

#include "core/text.h"

namespace ramtune::link {
namespace {

std::atomic<uint32_t> g_sequence{1};

constexpr size_t kInfoOffset = 8;      // DiscoveryInfo starts here in the packet
constexpr size_t kResponseHeader = 8;  // header bytes examined by every check

// Received datagrams are examined as if they sat in a zeroed 1024-byte
// buffer: bytes a short datagram does not carry read as zero.
uint8_t ByteAt(const uint8_t* data, size_t length, size_t offset) {
  return offset < length ? data[offset] : 0;
}

uint16_t Word(const uint8_t* data, size_t length, size_t offset) {
  return static_cast<uint16_t>(ByteAt(data, length, offset) |
                               (ByteAt(data, length, offset + 1) << 8));
}

uint32_t Dword(const uint8_t* data, size_t length, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(ByteAt(data, length, offset + i)) << (8 * i);
  return value;
}

void PutWord(uint8_t* buffer, size_t offset, uint16_t value) {
  buffer[offset] = static_cast<uint8_t>(value & 0xFF);
  buffer[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutDword(uint8_t* buffer, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) buffer[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A text field read up to its first zero byte or its end.
std::string FieldText(const uint8_t* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

std::string DiscoveryInfo::Label() const { return FieldText(&bytes[136 - kInfoOffset], 32); }
std::string DiscoveryInfo::Model() const { return FieldText(&bytes[200 - kInfoOffset], 32); }
uint8_t DiscoveryInfo::ModeByte() const { return bytes[248 - kInfoOffset]; }
MacAddress DiscoveryInfo::Mac() const {
  MacAddress mac{};
  std::memcpy(mac.data(), &bytes[249 - kInfoOffset], mac.size());
  return mac;
}

std::string ResultBlock::Text() const {
  const size_t n = length < kTextFieldSize ? length : kTextFieldSize;
  return std::string(reinterpret_cast<const char*>(text.data()), n);
}

uint32_t NextSequence() {
  uint32_t current = g_sequence.load();
  uint32_t next = 0;
  do {
    next = current == 0xFFFFFFFFu ? 1u : current + 1u;
  } while (!g_sequence.compare_exchange_weak(current, next));
  return next;
}

void ResetSequenceForTests(uint32_t stored) { g_sequence.store(stored); }

void BuildDiscoveryRequest(uint8_t* buffer) {
  buffer[0] = kServiceId;
  buffer[1] = kTypeRequest;
  PutWord(buffer, 2, kOpGetInformation);
  PutDword(buffer, 4, 0);
}

bool ParseDiscoveryResponse(const uint8_t* datagram, size_t length, DiscoveryInfo* out) {
  if (ByteAt(datagram, length, 0) != kServiceId || ByteAt(datagram, length, 1) != kTypeResponse ||
      Word(datagram, length, 2) != kOpGetInformation) {
    return false;
  }
  for (size_t i = 0; i < DiscoveryInfo::kSize; ++i) out->bytes[i] = ByteAt(datagram, length, kInfoOffset + i);
  return true;
}

CommandBlock MakeCommandBlock(const std::string& command) {
  CommandBlock block;
  // The length never claims more than the text field carries, or the router
  // would read past it.
  block.length = static_cast<uint16_t>(command.size() < kTextFieldSize ? command.size() : kTextFieldSize);
  std::memcpy(block.text.data(), command.data(), block.length);
  return block;
}

uint32_t BuildRequestHeader(uint8_t* buffer, uint16_t operation, const MacAddress& mac,
                            const ZeroBlock& block) {
  const uint32_t sequence = NextSequence();
  buffer[0] = kServiceId;
  buffer[1] = kTypeRequest;
  PutWord(buffer, 2, operation);
  PutDword(buffer, 4, sequence);
  std::memcpy(buffer + 8, mac.data(), mac.size());
  std::memcpy(buffer + 14, block.data(), block.size());
  return sequence;
}

uint32_t BuildCommandRequest(uint8_t* buffer, const MacAddress& mac, const ZeroBlock& block,
                             const CommandBlock& command) {
  const uint32_t sequence = BuildRequestHeader(buffer, kOpRunCommand, mac, block);
  PutWord(buffer, 46, command.length);
  std::memcpy(buffer + 48, command.text.data(), command.text.size());
  return sequence;
}

CheckOutcome CheckCommandResponse(const uint8_t* datagram, size_t length, uint32_t sequence,
                                  const MacAddress& mac) {
  if (length < kResponseHeader) return CheckOutcome::NoMatch;
  if (ByteAt(datagram, length, 0) != kServiceId) return CheckOutcome::NoMatch;
  if (ByteAt(datagram, length, 1) != kTypeResponse) return CheckOutcome::NoMatch;
  if (Dword(datagram, length, 4) != sequence) return CheckOutcome::NoMatch;
  for (size_t i = 0; i < mac.size(); ++i) {
    if (ByteAt(datagram, length, 8 + i) != mac[i]) return CheckOutcome::NoMatch;
  }
  switch (ByteAt(datagram, length, 3)) {
    case 0x01: return CheckOutcome::PasswordError;
    case 0x02: return CheckOutcome::FieldError;
    default: return CheckOutcome::Success;
  }
}

CheckOutcome ParseCommandResponse(const uint8_t* datagram, size_t length, uint32_t sequence,
                                  const MacAddress& mac, ResultBlock* out) {
  const CheckOutcome outcome = CheckCommandResponse(datagram, length, sequence, mac);
  if (outcome != CheckOutcome::Success) return outcome;
  out->length = Word(datagram, length, 14);
  for (size_t i = 0; i < kTextFieldSize; ++i) out->text[i] = ByteAt(datagram, length, 16 + i);
  return outcome;
}

std::string MacDigits(const MacAddress& mac) {
  return ReplaceAll(Format("%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]),
                    ":", "");
}

bool ParseMacText(const std::string& text, MacAddress* out) {
  std::string digits = text;
  if (text.size() == 17) {
    digits.clear();
    for (size_t i = 0; i < text.size(); ++i) {
      if (i % 3 != 2) digits += text[i];
      else if (text[i] != ':') return false;
    }
  }
  if (digits.size() != 12) return false;
  MacAddress mac{};
  for (size_t i = 0; i < 12; ++i) {
    const char c = digits[i];
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return false;
    mac[i / 2] = static_cast<uint8_t>(mac[i / 2] * 16 + v);
  }
  *out = mac;
  return true;
}

}  // namespace ramtune::link
