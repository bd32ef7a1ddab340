// libFuzzer target: every datagram and every reply is untrusted. Feeds the
// bytes to the response checkers, the discovery parser and the reply cutters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/text.h"
#include "link/packets.h"

using namespace ramtune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  link::DiscoveryInfo info;
  if (link::ParseDiscoveryResponse(data, size, &info)) {
    (void)info.Label();
    (void)info.Model();
    (void)link::MacDigits(info.Mac());
  }
  link::ResultBlock result;
  // Await whatever MAC and sequence the datagram carries, so that the
  // fuzzer reaches the delivery path too.
  link::MacAddress mac{};
  for (size_t i = 0; i < mac.size() && 8 + i < size; ++i) mac[i] = data[8 + i];
  const uint32_t sequence = size >= 8 ? (data[4] | data[5] << 8 | data[6] << 16 | static_cast<uint32_t>(data[7]) << 24) : 0;
  if (link::ParseCommandResponse(data, size, sequence, mac, &result) == link::CheckOutcome::Success) {
    const std::string text = result.Text();
    if (text.size() > link::kTextFieldSize) __builtin_trap();
    const std::string line = FirstLine(text);
    (void)ReplaceAll(line, "0:ccode=", "");
    (void)RemoveChar(line, ' ');
    (void)FillIn("ATE Set_MacAddr_2G %s", line);
  }
  const std::string raw(reinterpret_cast<const char*>(data), size);
  (void)link::MakeCommandBlock(raw);
  return 0;
}
