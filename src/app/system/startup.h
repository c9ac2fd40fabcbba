#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/path_spelling.h"

namespace tw {

enum class RunMode {
  Window,          // a full instance, or a hand-over to the running one
  Unregister,      // remove the File Explorer entry and the settings, then exit
  DeleteOnReboot,  // the elevated helper: schedule the paths, exit 0 or 1
  StopService,     // the elevated helper: stop the services named, exit with the outcome
};

struct StartupRequest {
  RunMode mode = RunMode::Window;
  std::vector<Target> paths;  // resolved, in command-line order
  std::vector<std::wstring> services;  // StopService: the names, exactly as given
  std::size_t refused = 0;    // path arguments that name no file or folder
  bool fresh = false;         // never hand over to a running instance
  bool deep = false;          // the first scan is a deep search
  // The account (its SID as text) of the user whose window started this one elevated.
  std::optional<std::wstring> for_user;
};

inline constexpr std::wstring_view kOptionUnregister = L"--unregister";
inline constexpr std::wstring_view kOptionDeleteOnReboot = L"--delete-on-reboot";
inline constexpr std::wstring_view kOptionStopService = L"--stop-service";
inline constexpr std::wstring_view kOptionFresh = L"--fresh";
inline constexpr std::wstring_view kOptionDeep = L"--deep";
inline constexpr std::wstring_view kOptionForUser = L"--for-user=";

// Decides the run from the split arguments (program name dropped). Options are compared
// exactly; unknown ones are ignored. The delete-on-reboot helper is decided by its first
// argument alone, and takes every later argument as an absolute path, whatever it reads; the
// stop-service helper likewise, and takes every later argument as a service name.
StartupRequest decide_startup(const std::vector<std::wstring>& arguments);

}  // namespace tw
