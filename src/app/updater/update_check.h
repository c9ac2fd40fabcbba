#pragma once

#include <windows.h>

#include <optional>

#include "app/updater/manifest.h"

namespace tw {

// Fetches and judges the manifest, stores the result and posts kMsgUpdateChecked.
void check_for_update(HWND window, bool manual);

// Runs that check on a thread of its own; false when no thread could be started.
[[nodiscard]] bool start_check_for_update(HWND window, bool manual);

// The process-wide slot between the check and the window: storing replaces what is there,
// taking empties it.
void store_check_result(CheckResult result);
std::optional<CheckResult> take_check_result();

}  // namespace tw
