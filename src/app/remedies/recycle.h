#pragma once

#include <windows.h>

#include <vector>

#include "discovery/paths.h"

namespace tw {

// Moves each target to the Recycle Bin on its own; the ones still there, in their order.
// A target that no longer exists counts as moved; a name only the verbatim spelling reaches
// ("trail.", "con") stays, as the shell cannot reach it. Main thread: the shell may show
// dialogs owned by `owner`.
std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets);

}  // namespace tw
