// The echo request of the echo library: layout, checksum and reply matching.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "echomod/echomod.h"

namespace {

uint16_t Word(const uint8_t* at) {
  uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

TEST(EchomodRequest, LayoutIsTheFortyFourByteEchoRequest) {
  uint8_t request[echomod::kEchoRequestSize];
  std::memset(request, 0xCC, sizeof request);
  echomod::BuildEchoRequest(request, 0x1234, 0x89ABCDEFu);
  EXPECT_EQ(request[0], 8);
  EXPECT_EQ(request[1], 0);
  EXPECT_EQ(Word(request + 4), 0x1234);  // identifier in host byte order
  EXPECT_EQ(Word(request + 6), 0);       // sequence
  uint32_t timestamp;
  std::memcpy(&timestamp, request + 8, sizeof timestamp);
  EXPECT_EQ(timestamp, 0x89ABCDEFu);
  for (size_t i = 12; i < 44; ++i) EXPECT_EQ(request[i], 0x45) << "payload byte " << i;
}

TEST(EchomodRequest, ChecksumOfTheWholeRequestVerifiesToZero) {
  const uint16_t identifiers[] = {0, 1, 0x1234, 0xFFFF};
  const uint32_t timestamps[] = {0, 1, 0x89ABCDEFu, 0xFFFFFFFFu};
  for (uint16_t identifier : identifiers) {
    for (uint32_t timestamp : timestamps) {
      uint8_t request[echomod::kEchoRequestSize];
      echomod::BuildEchoRequest(request, identifier, timestamp);
      EXPECT_EQ(echomod::InternetChecksum(request, sizeof request), 0)
          << "identifier " << identifier << " timestamp " << timestamp;
    }
  }
}

TEST(EchomodRequest, ChecksumMatchesRfc1071Bytes) {
  // RFC 1071's example sums to 0xDDF2 in network order: checksum bytes 22 0D.
  const uint8_t even[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
  uint16_t sum = echomod::InternetChecksum(even, sizeof even);
  uint8_t bytes[2];
  std::memcpy(bytes, &sum, 2);
  EXPECT_EQ(bytes[0], 0x22);
  EXPECT_EQ(bytes[1], 0x0D);

  // An odd last byte counts as if followed by a zero byte.
  const uint8_t odd[] = {0x01, 0x02, 0x03};
  sum = echomod::InternetChecksum(odd, sizeof odd);
  std::memcpy(bytes, &sum, 2);
  EXPECT_EQ(bytes[0], 0xFB);
  EXPECT_EQ(bytes[1], 0xFD);

  // Carries out of the low 16 bits are folded back in.
  const std::vector<uint8_t> ones(1000, 0xFF);
  EXPECT_EQ(echomod::InternetChecksum(ones.data(), ones.size()), 0);
}

TEST(EchomodReply, OnlyAnEchoReplyWithOurIdentifierMatches) {
  std::vector<uint8_t> datagram(64, 0);
  datagram[0] = 0x45;                      // IPv4 header, 20 bytes
  datagram[20] = echomod::kIcmpEchoReply;  // type
  const uint16_t identifier = 0xBEEF;
  std::memcpy(&datagram[24], &identifier, 2);
  EXPECT_TRUE(echomod::IsEchoReplyFor(datagram.data(), datagram.size(), identifier));
  EXPECT_FALSE(echomod::IsEchoReplyFor(datagram.data(), datagram.size(), 0xBEEE));

  datagram[20] = 3;  // destination unreachable
  EXPECT_FALSE(echomod::IsEchoReplyFor(datagram.data(), datagram.size(), identifier));
  datagram[20] = echomod::kIcmpEchoRequest;  // our own request seen on loopback
  EXPECT_FALSE(echomod::IsEchoReplyFor(datagram.data(), datagram.size(), identifier));

  datagram[20] = echomod::kIcmpEchoReply;
  EXPECT_FALSE(echomod::IsEchoReplyFor(datagram.data(), 25, identifier));  // too short
}

}  // namespace
