#include "support/test_window.h"

#include <memory>

namespace tw::test {

WindowState* open_test_main_window(const WindowApi& platform) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &main_window_proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"Tarnwick.Test";
  ::RegisterClassExW(&wc);  // already there from an earlier test is fine
  const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 880, 700, nullptr,
                                        nullptr, wc.hInstance, nullptr);
  if (window == nullptr) return nullptr;
  auto w = std::make_unique<MainWindow>();
  w->state.window = window;
  w->platform = platform;
  WindowState* state = &w->state;
  install_main_window(std::move(w));
  return state;
}

void close_test_main_window(HWND window) {
  if (::IsWindow(window)) ::DestroyWindow(window);
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void run_when_free(HWND window, FreeWork body) {
  defer_while_free(std::move(body));
  ::SendMessageW(window, WM_NULL, 0, 0);  // any message runs what waits once it is handled
}

void dispatch_waiting_messages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

}  // namespace tw::test
