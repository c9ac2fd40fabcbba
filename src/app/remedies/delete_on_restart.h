#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
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

// Registers the deletions now: directly when this process is elevated, else through the
// elevated helper `helper` (tarnwick.exe) run, which Windows asks the user to allow. True
// only when everything was registered; false too when the user declined. Blocks.
bool delete_on_reboot_now(const std::vector<Target>& targets, HWND owner, const std::wstring& helper);

// What a delete-on-restart worker is given, copied at the click.
struct DeleteJob {
  std::vector<Target> targets;
  HWND window = nullptr;     // receives kMsgRemedyFinished; owns the elevation prompt
  std::uint64_t scan_id = 0;
};

// Registers the deletions on a thread of its own: directly when this process is elevated,
// else through the elevated helper run, which Windows asks the user to allow. The outcome
// goes through the remedy queue: 1 only when everything was registered, 0 too when the user
// declined. False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_delete_on_reboot(DeleteJob job);

// The parameters of the elevated helper run: the option, the account whose folders it must
// protect too (Windows may run it as another account, an administrator's), then each target in
// double quotes without its trailing backslashes, quoted so that the helper reads back exactly
// those texts.
std::wstring delete_helper_parameters(const std::vector<Target>& targets,
                                      const std::optional<std::wstring>& for_user = std::nullopt);

// The elevated helper run ("--delete-on-reboot PATH..."): schedules every path for deletion
// at the next restart. Returns kHelperSucceeded only when every path was scheduled; when an
// argument named no file or folder, nothing is scheduled.
int run_delete_on_reboot_helper(const StartupRequest& request);

}  // namespace tw
