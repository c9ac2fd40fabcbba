#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/paths.h"

namespace tw {

// Who can answer the shell while it moves things.
enum class RecycleUi : std::uint8_t {
  Dialogs,  // the window's user: progress, "file in use" and the warning before deleting for good
  None,     // possibly nobody (a service, an SSH session, a scheduled task): no dialog but that warning
};

enum class RecycleResult : std::uint8_t {
  Moved,    // it was there, and after the shell's work it is gone
  Missing,  // it was not there to move
  Failed,   // the shell failed or was cancelled, or it is still there
  NoBin,    // without dialogs: it is on a drive that has no Recycle Bin (a share, a removable one)
};

// The type GetDriveTypeW gives the volume that holds `path`.
UINT drive_type_of(const std::wstring& path);

// The shell call a test must be able to replace: Wine's shell never fails without dialogs.
struct RecycleApi {
  decltype(&::SHFileOperationW) file_operation = &::SHFileOperationW;
  UINT (*drive_type)(const std::wstring& path) = &drive_type_of;
};

// Moves one target to the Recycle Bin. A name only the verbatim spelling reaches ("trail.",
// "con") fails, as the shell cannot reach it. With dialogs, main thread: they are owned by
// `owner`.
RecycleResult recycle_target(HWND owner, const Target& target, RecycleUi ui, const RecycleApi& api = {});

// Moves each target to the Recycle Bin on its own, with the shell's dialogs; the ones still
// there, in their order. A target that no longer exists counts as moved.
std::vector<Target> recycle_targets(HWND owner, const std::vector<Target>& targets);

// A question about the targets that names them: the question, a blank line, how many there
// are (when more than one), the first five paths, then "and N more".
std::string naming_targets(std::string_view question, const std::vector<Target>& targets);

// "Move to the Recycle Bin?" naming the targets.
std::string recycle_confirmation_text(const std::vector<Target>& targets);
// The same with the paths as they are to be shown.
std::string recycle_confirmation_of(const std::vector<std::string>& shown_paths);

}  // namespace tw
