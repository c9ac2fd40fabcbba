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

// "Move to the Recycle Bin?", a blank line, the first five paths, then "and N more".
std::string recycle_confirmation_text(const std::vector<Target>& targets);

}  // namespace tw
