#pragma once

#include "app/startup.h"

namespace tw {

// The window mode: hands the paths to a running instance, or opens the main window and runs
// until it is closed. Returns the process exit status (always 0).
int run_window_mode(const StartupRequest& request);

}  // namespace tw
