#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/system/startup.h"
#include "discovery/paths.h"

namespace tw {

inline constexpr int kHelperSucceeded = 0;
inline constexpr int kHelperFailed = 1;

// A folder holding more than this many entries (itself included) is not scheduled at all.
inline constexpr std::size_t kScheduleCap = 100'000;

// What deleting `path` at restart takes, in the order to register it: for a folder, every
// file (and linked folder, never entered) breadth first in listing order, then the folders
// deepest last-found first, the folder itself last; anything else alone. A folder met a second
// time (a loop) is taken as a link: listed, never entered again. Entries are spelled as
// join_entry spells them. Nothing when the
// entry cannot be read, a folder cannot be listed, or the folder holds more than `cap`
// entries.
std::optional<std::vector<std::wstring>> deletion_order(const std::wstring& path, std::size_t cap = kScheduleCap);

// Registers every path to be deleted when Windows next starts; protected paths are refused.
// True only when the list was not empty and everything was registered. What could be
// registered stays registered.
bool schedule_delete_on_reboot(const std::vector<Target>& paths);

// The parameters of the elevated helper run: the option, then each target in double quotes
// without its trailing backslashes, quoted so that the helper reads back exactly those texts.
std::wstring delete_helper_parameters(const std::vector<Target>& targets);

// The elevated helper run ("--delete-on-reboot PATH..."): schedules every path for deletion
// at the next restart. Returns kHelperSucceeded only when every path was scheduled; when an
// argument named no file or folder, nothing is scheduled.
int run_delete_on_reboot_helper(const StartupRequest& request);

}  // namespace tw
