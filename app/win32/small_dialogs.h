// The three small modal dialogs: the warning before the first search, the
// choice among several routers, and the About box. The first two draw the
// core's models and write the user's answer back into them.
#pragma once

#include "core/dialogs.h"
#include "app/win32/dialog_base.h"

namespace ramtune::win32 {

class CWarningDlg : public Dialog {
 public:
  explicit CWarningDlg(WarningDialogModel& model);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  WarningDialogModel& model_;
};

class CSelectDeviceDlg : public Dialog {
 public:
  explicit CSelectDeviceDlg(SelectDeviceModel& model);

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  SelectDeviceModel& model_;
};

class CAboutDlg : public Dialog {
 public:
  CAboutDlg();
};

}  // namespace ramtune::win32
