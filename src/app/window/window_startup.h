#pragma once

#include <windows.h>

#include "app/system/account.h"
#include "app/system/startup.h"
#include "app/window/title_bar.h"

namespace tw {

inline constexpr wchar_t kSingleInstanceMutex[] = L"Local\\Tarnwick.SingleInstance";

// The window mode: hands the paths to a running instance, or opens the main window and runs
// until it is closed. Returns the process exit status (always 0).
int run_window_mode(const StartupRequest& request);

// Where a window without a saved placement opens: 880 x 700 at 96 DPI, scaled, no larger
// than the work area, centred in it.
RECT centred_window_rect(const RECT& work_area, UINT dpi);

// Whether another instance runs, from what creating the single-instance mutex gave: a handle
// (created or not) and the last error.
bool another_instance_runs(bool mutex_created, DWORD error);

// What the hand-over asks of Windows about the running instance; tests give their own.
struct HandOverApi {
  DriveApi drives;
  bool (*shares_logon)(DWORD pid) = &shares_logon_with;
};

// Gives the paths (or, with none, only a wake-up) to the running instance's window.
// False when there is none or it did not take them: then this process opens its own.
// To a window of another logon (elevated while this process is not, or the other way round),
// paths on mapped and subst drive letters go as what the letters stand for: it has not got
// them. Within one logon they go as the user gave them.
bool hand_over(const std::vector<Target>& paths, const HandOverApi& api = {});

}  // namespace tw
