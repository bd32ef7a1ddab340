// Echomod: one ICMP echo request (`ping`) and host name lookup (`HostByName`).
// The request layout and its checksum are inline here so that tests can
// check them without loading the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Only these two functions are exported: by Echomod.def on Windows, by
// visibility elsewhere (the library is built with hidden visibility).
#if defined(_WIN32) || !defined(__GNUC__)
#define ECHOMOD_EXPORT
#else
#define ECHOMOD_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// Sends one echo request to `host` (dotted IPv4 text or a host name of at
// most 16 characters) and returns 1 when this process's echo reply is the
// first datagram to arrive within 500 ms, 0 otherwise.
ECHOMOD_EXPORT int ping(const char* host);

// Returns 1 for a name that already is a dotted IPv4 address (leaving
// *address untouched) and for a name that resolves, storing a pointer to the
// dotted text of its first IPv4 address in *address. That text belongs to
// the socket library and is valid until this thread's next conversion.
// Returns 0 when the name cannot be resolved and for names longer than 15
// characters.
ECHOMOD_EXPORT int HostByName(const char* name, char** address);
}

namespace echomod {

constexpr size_t kEchoRequestSize = 44;
constexpr size_t kEchoPayloadSize = 32;
constexpr uint8_t kEchoPayloadByte = 0x45;
constexpr uint8_t kIcmpEchoRequest = 8;
constexpr uint8_t kIcmpEchoReply = 0;
// A raw ICMP socket delivers the IPv4 header (20 bytes) before the message.
constexpr size_t kIpHeaderSize = 20;

// RFC 1071 ones'-complement checksum: 16-bit words in host byte order, an odd
// last byte added as a number, the sum folded twice. Stored back in host byte
// order it makes the checksum of the whole message 0.
inline uint16_t InternetChecksum(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  while (length > 1) {
    uint16_t word;
    std::memcpy(&word, data, sizeof word);
    sum += word;
    data += 2;
    length -= 2;
  }
  if (length == 1) sum += *data;
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

// Fills the 44-byte echo request: type 8, code 0, checksum, identifier,
// sequence 0, timestamp (host byte order), 32 payload bytes of 'E'. The
// checksum is computed last, over the message with its field at 0.
inline void BuildEchoRequest(uint8_t* out, uint16_t identifier, uint32_t timestampMs) {
  std::memset(out, 0, kEchoRequestSize);
  out[0] = kIcmpEchoRequest;
  out[1] = 0;
  std::memcpy(out + 4, &identifier, sizeof identifier);
  std::memcpy(out + 8, &timestampMs, sizeof timestampMs);
  std::memset(out + 12, kEchoPayloadByte, kEchoPayloadSize);
  const uint16_t checksum = InternetChecksum(out, kEchoRequestSize);
  std::memcpy(out + 2, &checksum, sizeof checksum);
}

// True when a received datagram (IPv4 header first) is an echo reply that
// carries our identifier. Neither the source nor the sequence is compared.
inline bool IsEchoReplyFor(const uint8_t* datagram, size_t length, uint16_t identifier) {
  if (length < kIpHeaderSize + 6) return false;
  uint16_t received;
  std::memcpy(&received, datagram + kIpHeaderSize + 4, sizeof received);
  return datagram[kIpHeaderSize] == kIcmpEchoReply && received == identifier;
}

}  // namespace echomod
