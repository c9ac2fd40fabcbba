#pragma once

// Paths from a second instance are resolved on a worker: a large hand-over would otherwise
// keep the window from answering for as long as the file system takes.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/window/window_state.h"

namespace tw {

// A hand-over as it came: the text copied out of WM_COPYDATA before answering its sender.
struct HandOverJob {
  std::uint64_t id = 0;
  std::wstring text;
  HWND window = nullptr;  // receives kMsgHandOverResolved
  IsFolderFn is_folder = &target_is_folder;
};

// The text of a WM_COPYDATA hand-over (tag 0x5E, with data), copied; nothing otherwise.
std::optional<std::wstring> copy_hand_over(ULONG_PTR tag, const void* data, DWORD bytes);

// Resolves the job's paths as any path coming in is resolved; relative ones are dropped (they
// would be read against this process's folder).
ResolvedHandOver resolve_hand_over(const HandOverJob& job);

// Resolves on a thread of its own, queues the outcome and posts kMsgHandOverResolved. False
// when no thread could be started.
[[nodiscard]] bool start_hand_over(HandOverJob job);

// Queues an outcome and tells the window, as the worker does.
void report_hand_over(HWND window, ResolvedHandOver resolved);

// Every outcome queued so far, oldest first. Main thread.
std::vector<ResolvedHandOver> take_resolved_hand_overs();

}  // namespace tw
