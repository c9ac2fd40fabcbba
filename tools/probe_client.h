#pragma once
// For developer tools that watch the developer build's window (tarnwick-probe.exe).

#include <windows.h>

#include <optional>

#include "app/window/main_window.h"
#include "app/window/window_messages.h"

namespace tw::probe {

// The program's main window that belongs to the process `pid`.
inline HWND window_of(DWORD pid) {
  HWND found = nullptr;
  while ((found = ::FindWindowExW(nullptr, found, kMainWindowClass, nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(found, &owner);
    if (owner == pid) return found;
  }
  return nullptr;
}

// The window's answer to the probe message; nothing when it did not answer in time.
inline std::optional<LRESULT> ask(HWND window, WPARAM what) {
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, kMsgProbe, what, 0, SMTO_ABORTIFHUNG, 2000, &answer)) return std::nullopt;
  return static_cast<LRESULT>(answer);
}

}  // namespace tw::probe
