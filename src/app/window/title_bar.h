#pragma once

#include <windows.h>

#include <dwmapi.h>

namespace tw {

// DWM attributes newer than the headers of some SDKs (mingw-w64's among them), under the
// names Windows' own SDK gives them. The dark title bar's attribute is 20 from Windows 10 2004
// on and was 19 before (1809 to 1909, still in long-term servicing).
namespace dwm {
inline constexpr DWORD DWMWA_USE_IMMERSIVE_DARK_MODE = 20;
inline constexpr DWORD DWMWA_USE_IMMERSIVE_DARK_MODE_BEFORE_20H1 = 19;
}  // namespace dwm

// The frame's dark title bar; the older attribute is tried when the first fails.
using SetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
HRESULT set_dark_title_bar(HWND window, bool dark, SetWindowAttributeFn set = &::DwmSetWindowAttribute);

}  // namespace tw
