// The per-unit values that an upgrade keeps: read before the flash, written
// back after it and compared after the reboot. The order of this table is the
// order of the backup and of the Data log; restore and verification refer to
// its items by their index.
#pragma once

#include <cstddef>

namespace ramtune::upgrade {

struct CalibrationItem {
  const char* key;             // router variable key, or a role name for the three ATE items
  const char* readCommand;     // sent as it stands; empty for boot-partition items
  const char* prefix;          // removed from the reply line before the check; may be empty
  size_t length;               // required number of characters
  bool atLeast;                // length is a minimum, not an exact count
  const char* logFormat;       // Process log line of every attempt
  const char* failureMessage;  // message box and log line when the item cannot be read
  const char* writeCommand;    // Data log line and write-back command
};

enum ItemIndex : size_t {
  kMac2G = 0,
  kMac5G,
  kCcode2G,
  kRegrev2G,
  kCcode5G,
  kRegrev5G,
  kWpsPin,
  kPa2ga0,  // first of the variables written back through the hand-over prefix
  kRpcal2g = 24,
  kCalibrationItemCount = 29,
};

// Items read from the boot partition carry their key in the grep command.
inline const char* const kBootPartitionGrep = "cat /dev/mtd0 | grep ";

inline constexpr CalibrationItem kCalibrationItems[kCalibrationItemCount] = {
    {"2.4 GHz MAC", "ATE Get_MacAddr_2G", "", 17, false, "2G MAC: %s", "Retrieve 2.4G MAC Fail!!", "ATE Set_MacAddr_2G %s"},
    {"5 GHz MAC", "ATE Get_MacAddr_5G", "", 17, false, "5G MAC: %s", "Retrieve 5G MAC Fail!!", "ATE Set_MacAddr_5G %s"},
    {"0:ccode", "", "0:ccode=", 2, false, "2G REG: %s", "Retrieve 2.4G REG CODE Fail!!", "ATE Set_RegulationDomain_2G %s"},
    {"0:regrev", "", "0:regrev=", 1, true, "2G REGREV: %s", "Retrieve 2.4G REGREV Fail!!", "ATE Set_Regrev_2G %s"},
    {"1:ccode", "", "1:ccode=", 2, false, "5G REG: %s", "Retrieve 5G REG CODE Fail!!", "ATE Set_RegulationDomain_5G %s"},
    {"1:regrev", "", "1:regrev=", 1, true, "5G REGREV: %s", "Retrieve 5G REGREV Fail!!", "ATE Set_Regrev_5G %s"},
    {"WPS PIN", "ATE Get_PINCode", "", 8, false, "PINCODE: %s", "Retrieve PIN CODE Fail!!", "ATE Set_PINCode %s"},
    {"0:pa2ga0", "nvram get 0:pa2ga0", "", 20, false, "PA-2G-A0: %s", "Retrieve PA-2G-A0 Fail!!", "nvram set qarvcfe0:pa2ga0=%s"},
    {"0:pa2ga1", "nvram get 0:pa2ga1", "", 20, false, "PA-2G-A1: %s", "Retrieve PA-2G-A1 Fail!!", "nvram set qarvcfe0:pa2ga1=%s"},
    {"0:pa2ga2", "nvram get 0:pa2ga2", "", 20, false, "PA-2G-A2: %s", "Retrieve PA-2G-A2 Fail!!", "nvram set qarvcfe0:pa2ga2=%s"},
    {"1:pa5ga0", "nvram get 1:pa5ga0", "", 83, false, "PA-5G-A0: %s", "Retrieve PA-5G-A0 Fail!!", "nvram set qarvcfe1:pa5ga0=%s"},
    {"1:pa5ga1", "nvram get 1:pa5ga1", "", 83, false, "PA-5G-A1: %s", "Retrieve PA-5G-A1 Fail!!", "nvram set qarvcfe1:pa5ga1=%s"},
    {"1:pa5ga2", "nvram get 1:pa5ga2", "", 83, false, "PA-5G-A2: %s", "Retrieve PA-5G-A2 Fail!!", "nvram set qarvcfe1:pa5ga2=%s"},
    {"0:mcsbw202gpo", "nvram get 0:mcsbw202gpo", "", 10, false, "0MCSBW202GPO: %s", "Retrieve 0MCSBW202GPO Fail!!", "nvram set qarvcfe0:mcsbw202gpo=%s"},
    {"0:mcsbw402gpo", "nvram get 0:mcsbw402gpo", "", 10, false, "0MCSBW402GPO: %s", "Retrieve 0MCSBW402GPO Fail!!", "nvram set qarvcfe0:mcsbw402gpo=%s"},
    {"1:mcsbw205glpo", "nvram get 1:mcsbw205glpo", "", 10, false, "1MCSBW205GLPO: %s", "Retrieve 1MCSBW205GLPO Fail!!", "nvram set qarvcfe1:mcsbw205glpo=%s"},
    {"1:mcsbw405glpo", "nvram get 1:mcsbw405glpo", "", 10, false, "1MCSBW405GLPO: %s", "Retrieve 1MCSBW405GLPO Fail!!", "nvram set qarvcfe1:mcsbw405glpo=%s"},
    {"1:mcsbw805glpo", "nvram get 1:mcsbw805glpo", "", 10, false, "1MCSBW805GLPO: %s", "Retrieve 1MCSBW805GLPO Fail!!", "nvram set qarvcfe1:mcsbw805glpo=%s"},
    {"1:mcsbw205gmpo", "nvram get 1:mcsbw205gmpo", "", 10, false, "1MCSBW205GMPO: %s", "Retrieve 1MCSBW205GMPO Fail!!", "nvram set qarvcfe1:mcsbw205gmpo=%s"},
    {"1:mcsbw405gmpo", "nvram get 1:mcsbw405gmpo", "", 10, false, "1MCSBW405GMPO: %s", "Retrieve 1MCSBW405GMPO Fail!!", "nvram set qarvcfe1:mcsbw405gmpo=%s"},
    {"1:mcsbw805gmpo", "nvram get 1:mcsbw805gmpo", "", 10, false, "1MCSBW805GMPO: %s", "Retrieve 1MCSBW805GMPO Fail!!", "nvram set qarvcfe1:mcsbw805gmpo=%s"},
    {"1:mcsbw205ghpo", "nvram get 1:mcsbw205ghpo", "", 10, false, "1MCSBW205GHPO: %s", "Retrieve 1MCSBW205GHPO Fail!!", "nvram set qarvcfe1:mcsbw205ghpo=%s"},
    {"1:mcsbw405ghpo", "nvram get 1:mcsbw405ghpo", "", 10, false, "1MCSBW405GHPO: %s", "Retrieve 1MCSBW405GHPO Fail!!", "nvram set qarvcfe1:mcsbw405ghpo=%s"},
    {"1:mcsbw805ghpo", "nvram get 1:mcsbw805ghpo", "", 10, false, "1MCSBW805GHPO: %s", "Retrieve 1MCSBW805GHPO Fail!!", "nvram set qarvcfe1:mcsbw805ghpo=%s"},
    {"0:rpcal2g", "nvram get 0:rpcal2g", "", 6, false, "TXBF2G: %s", "Retrieve TXBF2G Fail!!", "nvram set qarvcfe0:rpcal2g=%s"},
    {"1:rpcal5gb0", "nvram get 1:rpcal5gb0", "", 6, false, "TXBF5GB0: %s", "Retrieve TXBF5GB0 Fail!!", "nvram set qarvcfe1:rpcal5gb0=%s"},
    {"1:rpcal5gb1", "nvram get 1:rpcal5gb1", "", 6, false, "TXBF5GB1: %s", "Retrieve TXBF5GB1 Fail!!", "nvram set qarvcfe1:rpcal5gb1=%s"},
    {"1:rpcal5gb2", "nvram get 1:rpcal5gb2", "", 6, false, "TXBF5GB2: %s", "Retrieve TXBF5GB2 Fail!!", "nvram set qarvcfe1:rpcal5gb2=%s"},
    {"1:rpcal5gb3", "nvram get 1:rpcal5gb3", "", 6, false, "TXBF5GB3: %s", "Retrieve TXBF5GB3 Fail!!", "nvram set qarvcfe1:rpcal5gb3=%s"},
};

}  // namespace ramtune::upgrade
