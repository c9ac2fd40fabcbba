#pragma once

// The system file picker.

#include <windows.h>
#include <shobjidl.h>

#include <string_view>
#include <vector>

#include "app/window/message_boxes.h"
#include "discovery/paths.h"

namespace tw {

// The dialog's own options plus what the program needs.
FILEOPENDIALOGOPTIONS picker_options(FILEOPENDIALOGOPTIONS current, bool folder);

// UTF-8, in the current language.
std::string_view picker_title(bool folder);

// The file-system paths of the items, in their order; items without one are left out.
std::vector<Target> file_system_paths(IShellItemArray* items);

// Files (or one folder) chosen by the user, in the dialog's order; empty when cancelled or
// when the dialog cannot be made or shown. COM must be initialised on this thread.
std::vector<Target> pick_paths(const FreeTime& free, bool folder);

}  // namespace tw
