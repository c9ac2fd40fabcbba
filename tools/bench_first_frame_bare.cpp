// The baseline of the start-up benchmark: a window with the same drawing layer, one frame
// presented, and nothing else. Exits with the milliseconds from its own creation to that
// frame (0 when it could not draw).
#include <windows.h>

#include "gfx/gfx.h"

namespace {

LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

DWORD milliseconds_since_start() {
  FILETIME created{}, exited{}, kernel{}, user{}, now{};
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  ::GetSystemTimePreciseAsFileTime(&now);
  const auto count = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return static_cast<DWORD>((count(now) - count(created)) / 10'000);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"Tarnwick.Bare";
  ::RegisterClassExW(&wc);
  const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 880, 700, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  std::optional<tw::Gfx> gfx = tw::create_gfx(window, 96, "Aa").gfx;  // English, as the program under Wine
  if (!gfx) return 0;
  ::ShowWindow(window, SW_SHOWNORMAL);
  tw::begin_frame(*gfx, tw::rgb(0xF7F7F8));
  tw::fill_rect(*gfx, tw::RectF{0, 0, 880, 56}, tw::rgb(0xFFFFFF));
  if (tw::end_frame(*gfx) != tw::FrameResult::Ok) return 0;
  return static_cast<int>(milliseconds_since_start());
}
