// The smallest Win32 program that opens one window: the yardstick for start-up time.
#include <windows.h>

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"Minimal";
  ::RegisterClassW(&wc);
  ::ShowWindow(::CreateWindowW(L"Minimal", L"Minimal window", WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr,
                               nullptr, instance, nullptr),
               SW_SHOW);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}
