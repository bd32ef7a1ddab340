// The logic of the warning and the router-choice dialogs.
#include <gtest/gtest.h>

#include "core/dialogs.h"

namespace ramtune {
namespace {

using Items = std::vector<std::string>;

TEST(WarningDialog, TextsAndAnswers) {
  const std::string text1 = WarningDialogModel::Text1();
  EXPECT_EQ(text1.rfind("The DDR configuration upgrade tool is for LM-7210A and LM-7210B only.\r\nQARV will", 0), 0u);
  EXPECT_NE(text1.find("knowledge.\r\n\r\nWARNING!!!\r\nDo not update"), std::string::npos);
  EXPECT_EQ(text1.substr(text1.size() - 31), "damage to LM-7210A or LM-7210B.");
  EXPECT_EQ(WarningDialogModel::Text2(),
            "If you update the bootloader wirelessly,\r\nplease manually connect to LM-7210A/LM-7210B Wi-Fi "
            "network after update completed.");
  WarningDialogModel dialog;
  EXPECT_FALSE(dialog.Accepted);  // Esc and the close box leave it so
  dialog.OnYes();
  EXPECT_TRUE(dialog.Accepted);
  dialog.OnNo();
  EXPECT_FALSE(dialog.Accepted);
}

TEST(SelectDeviceDialog, ListRules) {
  SelectDeviceModel dialog;
  dialog.SetList("10.77.0.2; 10.77.0.3");
  EXPECT_EQ(dialog.IpList, "10.77.0.2;10.77.0.3");
  EXPECT_EQ(dialog.Items(), (Items{"10.77.0.2", "10.77.0.3"}));
  EXPECT_EQ(dialog.InitialSelection(), 0);
  EXPECT_EQ(dialog.SelectedIndex, -1);  // Esc: no choice although item 0 is preselected
  dialog.OnOk(dialog.InitialSelection());
  EXPECT_EQ(dialog.SelectedIndex, 0);

  dialog.SetList("a;;b;");
  EXPECT_EQ(dialog.Items(), (Items{"a", "", "b", ""}));
  dialog.SetList(" ");
  EXPECT_TRUE(dialog.Items().empty());
  EXPECT_EQ(dialog.InitialSelection(), -1);
}

}  // namespace
}  // namespace ramtune
