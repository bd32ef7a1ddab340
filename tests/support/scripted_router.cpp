#include "support/scripted_router.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "support/lines.h"

namespace ramtune::test {
namespace {

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* d, size_t at) {
  return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
         static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

void PutText(Bytes& b, size_t at, const std::string& text, size_t field) {
  std::memcpy(&b[at], text.data(), text.size() < field ? text.size() : field);
}

std::string Find(const std::vector<std::pair<std::string, std::string>>& list, const std::string& key) {
  for (const auto& [k, v] : list) {
    if (k == key) return v;
  }
  return "";
}

void Store(std::vector<std::pair<std::string, std::string>>& list, const std::string& key,
           const std::string& value) {
  for (auto& [k, v] : list) {
    if (k == key) {
      v = value;
      return;
    }
  }
  list.emplace_back(key, value);
}

uint32_t Dotted(const std::string& text) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
  return a << 24 | b << 16 | c << 8 | d;
}

bool SameSubnet(const platform::NetInterface& network, const std::string& ip) {
  const uint32_t mask = Dotted(network.netmask);
  return !network.address.empty() && (Dotted(network.address) & mask) == (Dotted(ip) & mask);
}

}  // namespace

Bytes DiscoveryResponse(const std::array<uint8_t, 6>& mac, const std::string& model,
                        const std::string& label, uint8_t modeByte) {
  Bytes b(1024, 0);
  b[0] = 12;
  b[1] = 22;
  Put16(b, 2, 31);
  PutText(b, 136, label, 32);
  PutText(b, 200, model, 32);
  b[248] = modeByte;
  std::memcpy(&b[249], mac.data(), 6);
  return b;
}

Bytes CommandResponse(uint32_t sequence, const std::array<uint8_t, 6>& mac, const std::string& text,
                      uint16_t operation, int lengthField) {
  Bytes b(1024, 0);
  b[0] = 12;
  b[1] = 22;
  Put16(b, 2, operation);
  Put32(b, 4, sequence);
  std::memcpy(&b[8], mac.data(), 6);
  const size_t n = text.size() < 420 ? text.size() : 420;
  Put16(b, 14, static_cast<uint16_t>(lengthField >= 0 ? lengthField : static_cast<int>(n)));
  PutText(b, 16, text, 420);
  return b;
}

std::string RouterModel::Get(const std::string& key) const { return Find(nvram, key); }
void RouterModel::Set(const std::string& key, const std::string& value) { Store(nvram, key, value); }
std::string RouterModel::Mtd0(const std::string& key) const { return Find(mtd0, key); }
void RouterModel::SetMtd0(const std::string& key, const std::string& value) { Store(mtd0, key, value); }

std::string RouterModel::Run(const std::string& command, int64_t nowMs) {
  (void)nowMs;
  if (command == "ATE Get_FwReadyStatus") return ready ? "1\n" : "0\n";
  if (command == "ATE Get_FWVersion") return firmware + "\n";
  if (command == "ATE Get_MacAddr_2G") return Find(pendingAte, "mac2g") + "\n";
  if (command == "ATE Get_MacAddr_5G") return Find(pendingAte, "mac5g") + "\n";
  if (command == "ATE Get_PINCode") return Find(pendingAte, "pin") + "\n";
  if (command == "ATE Set_Commit") return "1\n";
  static const std::pair<const char*, const char*> kSetters[] = {
      {"ATE Set_MacAddr_2G ", "mac2g"},          {"ATE Set_MacAddr_5G ", "mac5g"},
      {"ATE Set_RegulationDomain_2G ", "0:ccode"}, {"ATE Set_Regrev_2G ", "0:regrev"},
      {"ATE Set_RegulationDomain_5G ", "1:ccode"}, {"ATE Set_Regrev_5G ", "1:regrev"},
      {"ATE Set_PINCode ", "pin"}};
  for (const auto& [prefix, key] : kSetters) {
    if (StartsWith(command, prefix)) {
      const std::string value = command.substr(std::strlen(prefix));
      Store(pendingAte, key, value);
      return value + "\n";
    }
  }
  if (StartsWith(command, "nvram get ")) return Get(command.substr(10)) + "\n";
  if (StartsWith(command, "nvram set ")) {
    const std::string assignment = command.substr(10);
    const size_t eq = assignment.find('=');
    if (eq != std::string::npos) Set(assignment.substr(0, eq), assignment.substr(eq + 1));
    return "";
  }
  for (const char* grep : {"cat /dev/mtd0 | grep ", "cat /dev/mtd0 |grep "}) {
    if (StartsWith(command, grep)) {
      const std::string key = command.substr(std::strlen(grep));
      std::string out;
      for (const auto& [k, v] : mtd0) {
        const std::string line = k + "=" + v;
        if (line.find(key) != std::string::npos) out += line + "\n";
      }
      return out;
    }
  }
  if (StartsWith(command, "cat /mnt/cfe/")) return imageLine.empty() ? "" : imageLine + "\n";
  if (StartsWith(command, "/mnt/cfe/mtd-write ")) {
    ++flashes;
    SetMtd0("bl_version", "1.0.1.6");
    return "";
  }
  if (command == "reboot") {
    Reboot();
    silentUntilMs = nowMs + rebootSilenceMs;
    return "";
  }
  return "";
}

void RouterModel::Reboot() {
  ++reboots;
  std::vector<std::pair<std::string, std::string>> kept;
  for (const auto& [k, v] : nvram) {
    if (StartsWith(k, "qarvcfe")) SetMtd0(k.substr(7), v); else kept.emplace_back(k, v);
  }
  nvram = kept;
  const std::string mac2g = Find(pendingAte, "mac2g");
  SetMtd0("et0macaddr", mac2g);
  SetMtd0("0:macaddr", mac2g);
  SetMtd0("1:macaddr", Find(pendingAte, "mac5g"));
  SetMtd0("secret_code", Find(pendingAte, "pin"));
  for (const char* key : {"0:ccode", "0:regrev", "1:ccode", "1:regrev"}) SetMtd0(key, Find(pendingAte, key));
  if (afterReboot) afterReboot(*this, reboots);
}

RouterModel HealthyRouter() {
  RouterModel r;
  r.pendingAte = {{"mac2g", "00:11:22:AA:BB:CC"}, {"mac5g", "00:11:22:AA:BB:CD"}, {"pin", "12345670"},
                  {"0:ccode", "US"}, {"0:regrev", "12"}, {"1:ccode", "US"}, {"1:regrev", "0"}};
  r.nvram = {
      {"wlopmode", "7"},
      {"bl_version", "1.0.1.5"},
      {"0:pa2ga0", "0xff2a,0x1b2e,0xfcb4"},
      {"0:pa2ga1", "0xff2b,0x1b2f,0xfcb5"},
      {"0:pa2ga2", "0xff2c,0x1b30,0xfcb6"},
      {"1:pa5ga0", "0xff4d,0x1a6a,0xfcb2,0xff4e,0x1a6b,0xfcb3,0xff4f,0x1a6c,0xfcb4,0xff50,0x1a6d,0xfcb5"},
      {"1:pa5ga1", "0xff5d,0x1a7a,0xfcc2,0xff5e,0x1a7b,0xfcc3,0xff5f,0x1a7c,0xfcc4,0xff60,0x1a7d,0xfcc5"},
      {"1:pa5ga2", "0xff6d,0x1a8a,0xfcd2,0xff6e,0x1a8b,0xfcd3,0xff6f,0x1a8c,0xfcd4,0xff70,0x1a8d,0xfcd5"},
      {"0:mcsbw202gpo", "0x88888888"},
      {"0:mcsbw402gpo", "0x99999999"},
      {"1:mcsbw205glpo", "0xaaaaaaa1"},
      {"1:mcsbw405glpo", "0xaaaaaaa2"},
      {"1:mcsbw805glpo", "0xaaaaaaa3"},
      {"1:mcsbw205gmpo", "0xbbbbbbb1"},
      {"1:mcsbw405gmpo", "0xbbbbbbb2"},
      {"1:mcsbw805gmpo", "0xbbbbbbb3"},
      {"1:mcsbw205ghpo", "0xccccccc1"},
      {"1:mcsbw405ghpo", "0xccccccc2"},
      {"1:mcsbw805ghpo", "0xccccccc3"},
      {"0:rpcal2g", "0x1234"},
      {"1:rpcal5gb0", "0x2345"},
      {"1:rpcal5gb1", "0x3456"},
      {"1:rpcal5gb2", "0x4567"},
      {"1:rpcal5gb3", "0x5678"},
  };
  r.mtd0 = {{"bl_version", "1.0.1.5"}, {"0:ccode", "US"},     {"0:regrev", "12"},
            {"1:ccode", "US"},         {"1:regrev", "0"},      {"odmpid", "LM-7210A"},
            {"et0macaddr", "00:11:22:AA:BB:CC"}, {"0:macaddr", "00:11:22:AA:BB:CC"},
            {"1:macaddr", "00:11:22:AA:BB:CD"},  {"secret_code", "12345670"}};
  return r;
}

void WipeToFactory(RouterModel& r, bool keepMac) {
  for (auto* values : {&r.nvram, &r.mtd0}) {
    for (auto& [key, value] : *values) {
      if (!StartsWith(value, "0x")) continue;
      for (size_t i = 2; i < value.size(); ++i) {
        if (std::isxdigit(static_cast<unsigned char>(value[i])) != 0) value[i] = '0';
      }
    }
  }
  for (const char* key : {"0:ccode", "1:ccode"}) r.SetMtd0(key, "DB");
  r.SetMtd0("secret_code", "00000000");
  r.pendingAte = {{"mac2g", keepMac ? Find(r.pendingAte, "mac2g") : kFactoryMac}, {"mac5g", "00:90:4C:00:00:02"},
                  {"pin", "00000000"}, {"0:ccode", "DB"}, {"0:regrev", "0"}, {"1:ccode", "DB"}, {"1:regrev", "0"}};
  if (!keepMac) r.mac = {0x00, 0x90, 0x4C, 0x00, 0x00, 0x01};
}

void UpgradeInPlace(RouterModel& r) {
  for (const char* key : {"0:pa2ga0", "0:pa2ga1", "0:pa2ga2", "1:pa5ga0", "1:pa5ga1", "1:pa5ga2", "0:mcsbw202gpo",
                          "0:mcsbw402gpo", "1:mcsbw205glpo", "1:mcsbw405glpo", "1:mcsbw805glpo", "1:mcsbw205gmpo",
                          "1:mcsbw405gmpo", "1:mcsbw805gmpo", "1:mcsbw205ghpo", "1:mcsbw405ghpo", "1:mcsbw805ghpo",
                          "0:rpcal2g", "1:rpcal5gb0", "1:rpcal5gb1", "1:rpcal5gb2", "1:rpcal5gb3"}) {
    r.SetMtd0(key, r.Get(key));
  }
  r.SetMtd0("bl_version", "1.0.1.6");
  for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
           {"clkfreq", "800,666"}, {"0:tempthresh", "255"}, {"1:tempthresh", "255"}, {"bl_version", "1.0.1.6"},
           {"gpio9", "usbport1"}, {"HW_ver", "170"}}) {
    r.Set(key, value);
  }
}

bool ScriptedNetwork::Bind(uint16_t) {
  ++bindAttempts;
  return bindAttempts > bindFailures;
}

void ScriptedNetwork::Deliver(Bytes datagram, const std::string& sourceIp, int delayMs, unsigned link) {
  const unsigned arrival = reportsArrival ? link : 0;
  clock_.Schedule(static_cast<int64_t>(delayMs) * 1000,
                  [this, datagram = std::move(datagram), sourceIp, arrival] {
                    if (sink_) sink_(datagram.data(), datagram.size(), sourceIp, arrival);
                  });
}

std::vector<platform::NetInterface> ScriptedNetwork::ListInterfaces() { return interfaces; }

void ScriptedNetwork::SendTo(const std::string& ip, uint16_t, const uint8_t* data, size_t length) {
  viaUsed.push_back(false);
  SendOn(ip, data, length, interfaces.empty() ? 1 : interfaces.front().index);
}

void ScriptedNetwork::SendVia(const std::string& ip, uint16_t, const uint8_t* data, size_t length,
                              const platform::NetInterface& via) {
  viaUsed.push_back(true);
  // Without a way to tie it, a unicast leaves by the interface of the
  // destination's subnet, else by the default route.
  const bool broadcast = ip == "255.255.255.255";
  unsigned routed = interfaces.empty() ? 1 : interfaces.front().index;
  for (auto network = interfaces.rbegin(); network != interfaces.rend(); ++network) {
    if (SameSubnet(*network, ip)) routed = network->index;
  }
  SendOn(ip, data, length, canChoose || broadcast ? via.index : routed);
}

void ScriptedNetwork::SendOn(const std::string& ip, const uint8_t* data, size_t length, unsigned link) {
  destinations.push_back(ip);
  links.push_back(link);
  requests.emplace_back(data, data + length);
  if (length < 48 || data[0] != 12 || data[1] != 21) return;
  const uint16_t operation = static_cast<uint16_t>(data[2] | data[3] << 8);
  const bool broadcast = ip == "255.255.255.255";
  const int64_t now = clock_.NowMs();
  for (RouterModel& router : routers) {
    if (now < router.silentUntilMs || router.link != link) continue;
    if (operation == 31) {
      if (router.answersDiscovery && (broadcast || ip == router.ip || router.answersEveryDiscovery)) {
        Deliver(DiscoveryResponse(router.mac, router.model, router.label, router.modeByte), router.ip,
                router.discoveryDelayMs, router.link);
      }
      continue;
    }
    if (operation != 51 || std::memcmp(data + 8, router.mac.data(), 6) != 0) continue;
    const uint16_t textLength = static_cast<uint16_t>(data[46] | data[47] << 8);
    const std::string command(reinterpret_cast<const char*>(data + 48), textLength < 420 ? textLength : 420);
    router.commands.push_back(command);
    Reply reply;
    if (!router.script || !router.script(command, reply)) reply.text = router.Run(command, now);
    if (reply.drop) continue;
    std::array<uint8_t, 6> mac = router.mac;
    if (reply.wrongMac) mac[5] ^= 0xFF;
    const uint32_t sequence = Get32(data, 4) + static_cast<uint32_t>(reply.sequenceDelta);
    for (int i = 0; i < reply.copies; ++i) {
      Deliver(CommandResponse(sequence, mac, reply.text, reply.operation), router.ip, reply.delayMs,
              router.link);
    }
  }
}

}  // namespace ramtune::test
