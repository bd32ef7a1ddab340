// A small modal dialog class on plain Win32: a dialog template, a window
// procedure that forwards to virtual handlers, and the two endings.
#pragma once

#include "app/win32/win32.h"

namespace ramtune::win32 {

class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the dialog from its template and runs it modally; returns the
  // code given to End, or -1 when the dialog could not be created.
  INT_PTR DoModal(HWND owner);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

 protected:
  // WM_INITDIALOG after the base initialisation (the window handle is
  // known). The result is that of WM_INITDIALOG: true for the default focus.
  virtual bool OnInitDialog() { return true; }
  // WM_COMMAND from a control, a menu or an accelerator. True when handled.
  virtual bool OnCommand(int id, int notifyCode);
  // Any other message; true when handled, with the dialog procedure's
  // result in *result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

  // The cancel action of the base: Esc, the close box and id 2 end the
  // dialog with IDCANCEL; id 1 ends it with IDOK.
  void End(INT_PTR code) { EndDialog(hwnd_, code); }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  const int templateId_;
  HWND hwnd_ = nullptr;
};

// The module the resources are in.
HINSTANCE ResourceModule();

}  // namespace ramtune::win32
