#pragma once

#include <vector>

#include "discovery/paths.h"

namespace tw {

inline constexpr int kHelperSucceeded = 0;
inline constexpr int kHelperFailed = 1;

// The elevated helper run ("--delete-on-reboot PATH..."): schedules every path for deletion
// at the next restart. Returns kHelperSucceeded only when every path was scheduled.
int run_delete_on_reboot_helper(const std::vector<Target>& paths);

}  // namespace tw
