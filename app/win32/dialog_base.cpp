#include "app/win32/dialog_base.h"

namespace ramtune::win32 {

HINSTANCE ResourceModule() { return GetModuleHandleA(nullptr); }

INT_PTR Dialog::DoModal(HWND owner) {
  return DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

bool Dialog::OnCommand(int id, int /*notifyCode*/) {
  if (id == IDOK || id == IDCANCEL) {
    End(id);
    return true;
  }
  return false;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    return self->OnInitDialog() ? TRUE : FALSE;
  }
  self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG

  if (message == WM_COMMAND) {
    return self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
  }
  INT_PTR result = 0;
  if (!self->OnMessage(message, wParam, lParam, &result)) return FALSE;
  return result;
}

}  // namespace ramtune::win32
