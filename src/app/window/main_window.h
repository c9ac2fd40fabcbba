#pragma once

// The main window's message handlers and its window procedure, above the host they borrow
// the state from.

#include <windows.h>

#include "app/window/window_focus.h"
#include "app/window/window_host.h"
#include "app/window/window_messages.h"
#include "app/window/window_probe.h"

namespace tw {

inline constexpr wchar_t kMainWindowClass[] = L"Tarnwick.Main";

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace tw
