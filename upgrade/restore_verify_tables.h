// What the write-back puts on the router after the flash and what the
// verification reads back after the reboot. Both tables refer to the kept
// values by their index in the calibration item table.
#pragma once

#include <cstddef>

#include "upgrade/calibration_items.h"

namespace ramtune::upgrade {

// ---- write-back -------------------------------------------------------------

// Identity values, written through the factory test commands (the item's
// write command) and checked against the echoed reply.
struct IdentityWrite {
  ItemIndex item;
  const char* failureMessage;  // message box and log line when it never matches
};

inline constexpr IdentityWrite kIdentityWrites[] = {
    {kMac2G, "Set 2.4G MAC Fail!!"},       {kMac5G, "Set 5G MAC Fail!!"},
    {kCcode2G, "Set 2G REG CODE Fail!!"},  {kRegrev2G, "Set 2G REGREV Fail!!"},
    {kCcode5G, "Set 5G REG CODE Fail!!"},  {kRegrev5G, "Set 5G REGREV Fail!!"},
    {kWpsPin, "Set PINCode Fail!!"},
};
static_assert(sizeof kIdentityWrites / sizeof kIdentityWrites[0] == kPa2ga0,
              "every item before the prefixed variables is an identity write");

// After the calibration items (from kPa2ga0 on, through their write commands)
// come the model id and the factory test mode switch, then the operating
// mode when it was kept.
inline const char* const kModelNameWrite = "nvram set qarvcfeodmpid=%s";
inline const char* const kTestModeWrite = "nvram set qarvcfeATEMODE=0";
inline const char* const kOperatingModeWrite = "nvram set qarvcfewlopmode=";
inline const char* const kCommit = "ATE Set_Commit";

// Board settings that go with the new bootloader; "%s" is its version.
inline const char* const kBoardSettings[] = {
    "nvram set clkfreq=800,666",  "nvram set 0:tempthresh=255", "nvram set 1:tempthresh=255",
    "nvram set bl_version=%s",    "nvram set gpio9=usbport1",   "nvram set HW_ver=170",
};

// ---- verification -------------------------------------------------------------

enum class ReadFrom {
  Running,    // "nvram get <key>", first reply line
  Partition,  // the boot partition through QueryMtd0Value
  ModelName,  // the backup's model-name query, whole reply
};

enum class Expect {
  Text,          // `text`
  Kept,          // the kept value of `item`
  ModelName,     // the model name the backup settled on
  ImageVersion,  // the version of the flashed image
};

struct VerifyRow {
  ReadFrom read;
  const char* key;
  Expect expect;
  const char* text;  // Expect::Text only
  ItemIndex item;    // Expect::Kept only
  bool removeBlanks;
  int attempts;
  const char* name;          // ">>Compare <name> OK!!" / ">>Compare <name> Fail!!"
  const char* logFormat;     // how each value read is logged
  const char* bannerBefore;  // a banner title logged before the row, or nullptr
  const char* statusBefore;  // a status line logged after that banner, or nullptr
  int progressAfter;         // 0: none
};

namespace verify_rows {
constexpr VerifyRow Running(const char* key, const char* expected, bool removeBlanks = false) {
  return {ReadFrom::Running, key, Expect::Text, expected, kMac2G, removeBlanks, 8, key, "%s", nullptr, nullptr, 0};
}
constexpr VerifyRow Partition(const char* key, ItemIndex item, const char* name, int progressAfter = 0) {
  return {ReadFrom::Partition, key, Expect::Kept, nullptr, item, false, 8, name, "%s", nullptr, nullptr,
          progressAfter};
}
}  // namespace verify_rows

inline constexpr const char* kCompareBannerTitle = "Compare data";
inline constexpr const char* kCheckingStatus = "[System]-Checking data";
inline constexpr const char* kBootloaderBannerTitle = "Check BL version";
inline const char* const kDataError = ">>Found data error, Please try again.";

inline constexpr VerifyRow kVerifyRows[] = {
    verify_rows::Running("clkfreq", "800,666"),
    verify_rows::Running("0:tempthresh", "255"),
    verify_rows::Running("1:tempthresh", "255"),
    {ReadFrom::Running, "bl_version", Expect::ImageVersion, nullptr, kMac2G, false, 8, "bl_version", "%s",
     nullptr, nullptr, 0},
    verify_rows::Running("gpio9", "usbport1", true),
    verify_rows::Running("HW_ver", "170", true),
    {ReadFrom::Partition, "et0macaddr", Expect::Kept, nullptr, kMac2G, false, 8, "2.4G MAC", "%s",
     kCompareBannerTitle, kCheckingStatus, 0},
    verify_rows::Partition("0:macaddr", kMac2G, "2.4G MAC"),
    verify_rows::Partition("1:macaddr", kMac5G, "5G MAC"),
    verify_rows::Partition("0:ccode", kCcode2G, "2.4G REG CODE"),
    verify_rows::Partition("0:regrev", kRegrev2G, "2.4G REGREV"),
    verify_rows::Partition("1:ccode", kCcode5G, "5G REG CODE"),
    verify_rows::Partition("1:regrev", kRegrev5G, "5G REGREV", 16),
    verify_rows::Partition("secret_code", kWpsPin, "PIN CODE"),
    verify_rows::Partition("0:pa2ga0", ItemIndex(7), "PA2GA0"),
    verify_rows::Partition("0:pa2ga1", ItemIndex(8), "PA2GA1"),
    verify_rows::Partition("0:pa2ga2", ItemIndex(9), "PA2GA2"),
    verify_rows::Partition("1:pa5ga0", ItemIndex(10), "PA5GA0"),
    verify_rows::Partition("1:pa5ga1", ItemIndex(11), "PA5GA1"),
    verify_rows::Partition("1:pa5ga2", ItemIndex(12), "PA5GA2"),
    verify_rows::Partition("0:mcsbw202gpo", ItemIndex(13), "2GBW202GPO"),
    verify_rows::Partition("0:mcsbw402gpo", ItemIndex(14), "2GBW402GPO"),
    verify_rows::Partition("1:mcsbw205glpo", ItemIndex(15), "5GBW205GLPO"),
    verify_rows::Partition("1:mcsbw405glpo", ItemIndex(16), "5GBW405GLPO"),
    verify_rows::Partition("1:mcsbw805glpo", ItemIndex(17), "5GBW805GLPO", 19),
    verify_rows::Partition("1:mcsbw205gmpo", ItemIndex(18), "5GBW205GMPO"),
    verify_rows::Partition("1:mcsbw405gmpo", ItemIndex(19), "5GBW405GMPO"),
    verify_rows::Partition("1:mcsbw805gmpo", ItemIndex(20), "5GBW805GMPO"),
    verify_rows::Partition("1:mcsbw205ghpo", ItemIndex(21), "5GBW205GHPO"),
    verify_rows::Partition("1:mcsbw405ghpo", ItemIndex(22), "5GBW405GHPO"),
    verify_rows::Partition("1:mcsbw805ghpo", ItemIndex(23), "5GBW805GHPO"),
    verify_rows::Partition("0:rpcal2g", kRpcal2g, "TXBF2G"),
    verify_rows::Partition("1:rpcal5gb0", ItemIndex(25), "TXBF5GB0"),
    verify_rows::Partition("1:rpcal5gb1", ItemIndex(26), "TXBF5GB1"),
    verify_rows::Partition("1:rpcal5gb2", ItemIndex(27), "TXBF5GB2"),
    verify_rows::Partition("1:rpcal5gb3", ItemIndex(28), "TXBF5GB3"),
    {ReadFrom::ModelName, "odmpid", Expect::ModelName, nullptr, kMac2G, false, 8, "ModelName", "%s", nullptr,
     nullptr, 0},
    {ReadFrom::Partition, "bl_version", Expect::ImageVersion, nullptr, kMac2G, false, 5, "Bootloader",
     ">> Boot Loader Version: [%s]", kBootloaderBannerTitle, nullptr, 0},
};

inline constexpr size_t kVerifyRowCount = sizeof kVerifyRows / sizeof kVerifyRows[0];
static_assert(kVerifyRowCount == 38, "38 comparisons");

namespace verify_rows {
constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}
// From the first power table on, each partition row reads the kept item under its own key.
constexpr bool CalibrationRowsMatchItems() {
  for (size_t row = 14; row < 36; ++row) {
    const VerifyRow& r = kVerifyRows[row];
    if (r.item != row - 7 || !SameText(r.key, kCalibrationItems[r.item].key)) return false;
  }
  return true;
}
static_assert(CalibrationRowsMatchItems(), "calibration rows follow the item table");
}  // namespace verify_rows

}  // namespace ramtune::upgrade
