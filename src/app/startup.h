#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

enum class RunMode {
  Window,          // a full instance, or a hand-over to the running one
  Unregister,      // remove the File Explorer entry and the settings, then exit
  DeleteOnReboot,  // the elevated helper: schedule the paths, exit 0 or 1
};

struct StartupRequest {
  RunMode mode = RunMode::Window;
  std::vector<Target> paths;  // normalised, in command-line order
  bool fresh = false;         // never hand over to a running instance
  bool deep = false;          // the first scan is a deep search
};

inline constexpr std::wstring_view kOptionUnregister = L"--unregister";
inline constexpr std::wstring_view kOptionDeleteOnReboot = L"--delete-on-reboot";
inline constexpr std::wstring_view kOptionFresh = L"--fresh";
inline constexpr std::wstring_view kOptionDeep = L"--deep";

// A path argument made usable: white space trimmed, outer double quotes removed (File
// Explorer hands a drive root over as C:" ), a bare drive given its backslash, and a
// relative path resolved against `current_dir`. Nothing when the argument holds no path.
std::optional<Target> normalise_path(std::wstring_view argument, const std::optional<std::wstring>& current_dir);

// Decides the run from the split arguments (program name dropped). Options are compared
// exactly; unknown ones are ignored.
StartupRequest decide_startup(const std::vector<std::wstring>& arguments,
                              const std::optional<std::wstring>& current_dir);

// The process's current directory, or nothing when it cannot be read.
std::optional<std::wstring> current_directory();

}  // namespace tw
