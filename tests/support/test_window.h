#pragma once

#include <windows.h>

#include "app/window/main_window.h"

namespace tw::test {

// A real (headless) window run by the program's own window procedure, with a fresh state
// installed as at start-up. The state's `window` is the window; nullptr when none could be
// made.
WindowState* open_test_main_window(const WindowApi& platform = {});

// Destroys the window (not through WM_CLOSE, which would save the placement) and drops the
// WM_QUIT its destruction posts.
void close_test_main_window(HWND window);

// Runs `body` as the window runs its deferred work: once no handler holds the state.
void run_when_free(HWND window, FreeWork body);

// Dispatches every message waiting for this thread.
void dispatch_waiting_messages();

}  // namespace tw::test
