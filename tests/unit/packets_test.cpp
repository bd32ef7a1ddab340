// Service packets byte for byte, and the checks that every received
// datagram passes before anything of it is used.
#include <gtest/gtest.h>

#include <vector>

#include "link/packets.h"
#include "support/scripted_router.h"

namespace ramtune::link {
namespace {

using test::Bytes;
const MacAddress kMac{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};

TEST(Packets, DiscoveryRequestStartsWithItsHeaderAndIsOtherwiseZero) {
  uint8_t buffer[kPacketSize] = {};
  BuildDiscoveryRequest(buffer);
  const std::vector<uint8_t> head(buffer, buffer + 8);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x0C, 0x15, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00}));
  for (size_t i = 8; i < kPacketSize; ++i) ASSERT_EQ(buffer[i], 0) << i;
}

TEST(Packets, FirstCommandOfTheProcessCarriesSequenceTwo) {
  ResetSequenceForTests(1);
  uint8_t buffer[kPacketSize] = {};
  const uint32_t sequence = BuildCommandRequest(buffer, kMac, ZeroBlock{}, MakeCommandBlock("nvram get bl_version"));
  EXPECT_EQ(sequence, 2u);
  const std::vector<uint8_t> head(buffer, buffer + 14);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x0C, 0x15, 0x33, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22,
                                        0xAA, 0xBB, 0xCC}));
  for (size_t i = 14; i < 46; ++i) ASSERT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(buffer[46], 20);
  EXPECT_EQ(buffer[47], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 48)), "nvram get bl_version");
  for (size_t i = 48 + 20; i < kPacketSize; ++i) ASSERT_EQ(buffer[i], 0) << i;
}

TEST(Packets, SequenceWrapsToOneAndNeverUsesZero) {
  ResetSequenceForTests(0xFFFFFFFEu);
  EXPECT_EQ(NextSequence(), 0xFFFFFFFFu);
  EXPECT_EQ(NextSequence(), 1u);
  EXPECT_EQ(NextSequence(), 2u);
}

TEST(Packets, CommandTextFillsTheFieldAndTheLengthNeverClaimsMore) {
  const CommandBlock exact = MakeCommandBlock(std::string(420, 'a'));
  EXPECT_EQ(exact.length, 420);
  EXPECT_EQ(exact.text[419], 'a');

  // A longer text is cut to the field; the length says what was sent.
  const CommandBlock longer = MakeCommandBlock(std::string(500, 'b'));
  EXPECT_EQ(longer.length, 420);
  uint8_t buffer[kPacketSize] = {};
  BuildCommandRequest(buffer, kMac, ZeroBlock{}, longer);
  EXPECT_EQ(buffer[46] | buffer[47] << 8, 420);
  for (size_t i = 468; i < kPacketSize; ++i) ASSERT_EQ(buffer[i], 0) << i;
}

TEST(Packets, DiscoveryResponseNeedsExactlyOperation31) {
  DiscoveryInfo info;
  Bytes good = test::DiscoveryResponse(kMac, "LM-7210A", "label", 1);
  ASSERT_TRUE(ParseDiscoveryResponse(good.data(), good.size(), &info));
  EXPECT_EQ(info.Model(), "LM-7210A");
  EXPECT_EQ(info.Label(), "label");
  EXPECT_EQ(info.ModeByte(), 1);
  EXPECT_EQ(info.Mac(), kMac);

  Bytes op0133 = good;
  op0133[3] = 0x01;
  EXPECT_FALSE(ParseDiscoveryResponse(op0133.data(), op0133.size(), &info));
  Bytes request = good;
  request[1] = 21;  // our own broadcast, heard by the listener
  EXPECT_FALSE(ParseDiscoveryResponse(request.data(), request.size(), &info));
}

TEST(Packets, TextFieldsWithoutTerminatorStopAtTheFieldEnd) {
  DiscoveryInfo info;
  Bytes full = test::DiscoveryResponse(kMac, std::string(40, 'M'), std::string(40, 'L'));
  ASSERT_TRUE(ParseDiscoveryResponse(full.data(), full.size(), &info));
  EXPECT_EQ(info.Model(), std::string(32, 'M'));
  EXPECT_EQ(info.Label(), std::string(32, 'L'));
}

TEST(Packets, ShortDatagramsReadAsZeroBeyondTheirEnd) {
  DiscoveryInfo info;
  Bytes good = test::DiscoveryResponse(kMac, "LM-7210A", "label");
  EXPECT_TRUE(ParseDiscoveryResponse(good.data(), 205, &info));  // label kept, model cut
  EXPECT_EQ(info.Label(), "label");
  EXPECT_EQ(info.Model(), "LM-72");
  EXPECT_EQ(info.Mac(), (MacAddress{}));
  EXPECT_FALSE(ParseDiscoveryResponse(good.data(), 2, &info));
  ResultBlock result;
  Bytes answer = test::CommandResponse(7, kMac, "hello\n");
  EXPECT_EQ(ParseCommandResponse(answer.data(), 7, 7, kMac, &result), CheckOutcome::NoMatch);
  EXPECT_EQ(ParseCommandResponse(answer.data(), 18, 7, kMac, &result), CheckOutcome::Success);
  EXPECT_EQ(result.Text(), std::string("he") + std::string(4, '\0'));
}

TEST(Packets, ResultClassDecidesDelivery) {
  ResultBlock result;
  struct Case {
    uint16_t operation;
    CheckOutcome expected;
  } cases[] = {{0x0133, CheckOutcome::PasswordError},
               {0x0233, CheckOutcome::FieldError},
               {0x0333, CheckOutcome::Success},
               {0x0033, CheckOutcome::Success}};
  for (const Case& c : cases) {
    Bytes answer = test::CommandResponse(9, kMac, "x\n", c.operation);
    EXPECT_EQ(ParseCommandResponse(answer.data(), answer.size(), 9, kMac, &result), c.expected)
        << std::hex << c.operation;
  }
}

TEST(Packets, WrongSequenceOrMacIsNoMatchEvenWithAnErrorClass) {
  ResultBlock result;
  MacAddress other = kMac;
  other[5] = 0xCD;
  Bytes wrongMac = test::CommandResponse(9, other, "x\n", 0x0133);
  EXPECT_EQ(ParseCommandResponse(wrongMac.data(), wrongMac.size(), 9, kMac, &result), CheckOutcome::NoMatch);
  Bytes wrongSeq = test::CommandResponse(8, kMac, "x\n", 0x0233);
  EXPECT_EQ(ParseCommandResponse(wrongSeq.data(), wrongSeq.size(), 9, kMac, &result), CheckOutcome::NoMatch);
}

TEST(Packets, ResultLengthAbove420DeliversOnlyTheField) {
  ResultBlock result;
  Bytes answer = test::CommandResponse(3, kMac, std::string(420, 'z'), 0x0033, 1000);
  ASSERT_EQ(ParseCommandResponse(answer.data(), answer.size(), 3, kMac, &result), CheckOutcome::Success);
  EXPECT_EQ(result.Text(), std::string(420, 'z'));
}

TEST(Packets, MacDigitsAreTwelveUpperCaseHexDigits) {
  EXPECT_EQ(MacDigits(MacAddress{0x00, 0x11, 0x22, 0xaa, 0xbb, 0x0c}), "001122AABB0C");
}

}  // namespace
}  // namespace ramtune::link
