// A stand-in for the competing discovery utility in tests: one top-level
// window titled "Beacon Finder" that stays up until it is sent WM_CLOSE.
// Prints "Beacon Finder up" once the window exists and "Beacon Finder
// closed" when it is closed.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      std::printf("Beacon Finder closed\n");
      std::fflush(stdout);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "BeaconFinderStandIn";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowA("BeaconFinderStandIn", "Beacon Finder", WS_OVERLAPPEDWINDOW, 20, 20,
                              240, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  std::printf("Beacon Finder up\n");
  std::fflush(stdout);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
