#include "core/dialogs.h"

#include "core/text.h"

namespace ramtune {

std::string WarningDialogModel::Text1() {
  return std::string("The DDR configuration upgrade tool is for LM-7210A and LM-7210B only.\r\n") +
         "QARV will not be liable for any loss or damage caused by inappropriate usage or lack of "
         "relevant knowledge.\r\n" +
         "\r\n" + "WARNING!!!\r\n" +
         "Do not update the DDR configuration if the system functions properly.\r\n" +
         "Do not update the DDR configuration if you are not sure how to.\r\n" +
         "Avoid power outages during DDR configuration update.\r\n" +
         "Power outage during DDR configuration update will cause irreversible damage to "
         "LM-7210A or LM-7210B.";
}

std::string WarningDialogModel::Text2() {
  return std::string("If you update the bootloader wirelessly,\r\n") +
         "please manually connect to LM-7210A/LM-7210B Wi-Fi network after update completed.";
}

void SelectDeviceModel::SetList(const std::string& list) { IpList = RemoveChar(list, ' '); }

std::vector<std::string> SelectDeviceModel::Items() const {
  std::vector<std::string> items;
  if (IpList.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t semicolon = IpList.find(';', start);
    items.push_back(IpList.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  if (Interfaces.size() == items.size()) {
    for (size_t i = 0; i < items.size(); ++i) items[i] += " (" + Interfaces[i] + ")";
  }
  return items;
}

}  // namespace ramtune
