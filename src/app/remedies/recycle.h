#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

// Moves each target to the Recycle Bin on its own; the ones still there, in their order.
// A target that no longer exists counts as moved; a name only the verbatim spelling reaches
// ("trail.", "con") stays, as the shell cannot reach it. Main thread: the shell may show
// dialogs owned by `owner`.
std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets);

// A question about the targets that names them: the question, a blank line, how many there
// are (when more than one), the first five paths, then "and N more".
std::string naming_targets(std::string_view question, const std::vector<Target>& targets);

// "Move to the Recycle Bin?" naming the targets.
std::string recycle_confirmation_text(const std::vector<Target>& targets);

}  // namespace tw
