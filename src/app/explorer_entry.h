#pragma once

namespace tw {

// The "--unregister" run: removes the File Explorer menu entries and all settings.
// Returns the process exit status (always 0).
int run_unregister();

}  // namespace tw
