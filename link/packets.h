// Packets of the router's information service (UDP port 9999).
//
// Every packet is a little-endian 1024-byte datagram that starts with an
// 8-byte header. Two exchanges exist: discovery (who is there) and command
// (run one command line on a router and return what it printed).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ramtune::link {

constexpr size_t kPacketSize = 1024;
constexpr uint16_t kServicePort = 9999;
constexpr uint8_t kServiceId = 12;
constexpr uint8_t kTypeRequest = 21;
constexpr uint8_t kTypeResponse = 22;
constexpr uint16_t kOpGetInformation = 31;
constexpr uint16_t kOpRunCommand = 51;
constexpr size_t kTextFieldSize = 420;

using MacAddress = std::array<uint8_t, 6>;
using ZeroBlock = std::array<uint8_t, 32>;

// Bytes 8 to 255 of a discovery response.
struct DiscoveryInfo {
  static constexpr size_t kSize = 248;
  std::array<uint8_t, kSize> bytes{};

  std::string Label() const;  // 32 bytes at packet offset 136
  std::string Model() const;  // 32 bytes at packet offset 200
  uint8_t ModeByte() const;   // packet offset 248
  MacAddress Mac() const;     // packet offset 249
};

// Length and text of a command request (packet bytes 46 to 467).
struct CommandBlock {
  uint16_t length = 0;
  std::array<uint8_t, kTextFieldSize> text{};
};

// Length and text of a command response (packet bytes 14 to 435).
struct ResultBlock {
  uint16_t length = 0;
  std::array<uint8_t, kTextFieldSize> text{};

  // The first `length` bytes of the text, never more than the field holds.
  std::string Text() const;
};

enum class CheckOutcome { Success, NoMatch, PasswordError, FieldError };

// Process-wide sequence counter: starts at 1, so the first command carries 2;
// after 0xFFFFFFFF comes 1, never 0.
uint32_t NextSequence();
void ResetSequenceForTests(uint32_t stored);

void BuildDiscoveryRequest(uint8_t* buffer);  // buffer of kPacketSize, zeroed by the caller
bool ParseDiscoveryResponse(const uint8_t* datagram, size_t length, DiscoveryInfo* out);

CommandBlock MakeCommandBlock(const std::string& command);
uint32_t BuildRequestHeader(uint8_t* buffer, uint16_t operation, const MacAddress& mac,
                            const ZeroBlock& block);
uint32_t BuildCommandRequest(uint8_t* buffer, const MacAddress& mac, const ZeroBlock& block,
                             const CommandBlock& command);

CheckOutcome CheckCommandResponse(const uint8_t* datagram, size_t length, uint32_t sequence,
                                  const MacAddress& mac);
CheckOutcome ParseCommandResponse(const uint8_t* datagram, size_t length, uint32_t sequence,
                                  const MacAddress& mac, ResultBlock* out);

// "001122AABBCC": the MAC as twelve upper-case hexadecimal digits.
std::string MacDigits(const MacAddress& mac);
// Reads "00:11:22:AA:BB:CC" or "001122AABBCC" (either case); false otherwise.
bool ParseMacText(const std::string& text, MacAddress* out);

}  // namespace ramtune::link
