#include "app/win32/small_dialogs.h"

#include "res/resource.h"

namespace ramtune::win32 {

CWarningDlg::CWarningDlg(WarningDialogModel& model) : Dialog(IDD_WARNING), model_(model) {}

bool CWarningDlg::OnInitDialog() {
  model_.Accepted = false;
  SetDlgItemTextA(hwnd(), IDC_WARNING_TEXT, WarningDialogModel::Text1().c_str());
  SetDlgItemTextA(hwnd(), IDC_WIRELESS_NOTE, WarningDialogModel::Text2().c_str());
  return true;
}

bool CWarningDlg::OnCommand(int id, int notifyCode) {
  // Both answers close through the cancel path; the caller reads Accepted.
  if (id == IDC_WARNING_YES && notifyCode == BN_CLICKED) {
    model_.OnYes();
    End(IDCANCEL);
    return true;
  }
  if (id == IDC_WARNING_NO && notifyCode == BN_CLICKED) {
    model_.OnNo();
    End(IDCANCEL);
    return true;
  }
  // Esc, the close box and Enter leave Accepted as it is.
  return Dialog::OnCommand(id, notifyCode);
}

CSelectDeviceDlg::CSelectDeviceDlg(SelectDeviceModel& model)
    : Dialog(IDD_SELECT_DEVICE), model_(model) {}

bool CSelectDeviceDlg::OnInitDialog() {
  model_.SelectedIndex = -1;
  HWND list = Item(IDC_IP_LIST);
  for (const std::string& item : model_.Items()) {
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(model_.InitialSelection()), 0);
  if (!model_.Interfaces.empty()) {
    // Each item names its interface too: a list wider than the box shows it.
    RECT box{};
    GetClientRect(list, &box);
    SendMessageA(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(3 * (box.right - box.left)), 0);
  }
  return true;
}

bool CSelectDeviceDlg::OnCommand(int id, int notifyCode) {
  if (id == IDOK) {
    // CB_ERR (-1) when nothing is selected.
    model_.OnOk(static_cast<int>(SendMessageA(Item(IDC_IP_LIST), CB_GETCURSEL, 0, 0)));
    End(IDCANCEL);
    return true;
  }
  return Dialog::OnCommand(id, notifyCode);
}

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}

}  // namespace ramtune::win32
