#pragma once

// Releasing a file without ending its program: the handles the deep search found the program
// holding the file by are closed inside it, each only after it was found to still name that
// file. The program keeps running without the file, which it may not expect.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/remedies/remedy_queue.h"
#include "discovery/hold_ways.h"
#include "procs/end_process.h"
#include "procs/holders.h"
#include "procs/process_facts.h"

namespace tw {

// What became of one handle.
enum class HandleOutcome : std::uint8_t {
  Closed,   // it named the file and was closed
  Changed,  // it names another file now, or nothing, or did not say in time: left alone
  Failed,   // it named the file, but Windows did not close it
};

// How a release went as a whole; the number travels in remedy outcomes. 0 is the failure of
// every row remedy.
enum class ReleaseResult : std::uint8_t {
  NotReleased = 0,     // no handle could be closed (or the process could not be opened for it)
  Released = 1,        // every handle was closed
  PartlyReleased = 2,  // some were closed; others had changed or could not be closed
  Changed = 3,         // every handle had changed since the search: nothing was closed
  Refused = 4,         // not for this process: this program, File Explorer, a service, part of Windows, guarded
  Gone = 5,            // the process ended, or its id names another process now
};

struct HandleRelease {
  std::uint64_t value = 0;
  std::wstring path;  // as the search found it
  HandleOutcome outcome = HandleOutcome::Changed;
  friend bool operator==(const HandleRelease&, const HandleRelease&) = default;
};

struct ReleaseReport {
  ReleaseResult result = ReleaseResult::NotReleased;
  std::vector<HandleRelease> handles;  // in the order given; empty unless the handles were tried
};

// Whether a holder's handles may be closed: a program (never File Explorer, a service or a
// part of Windows) that is not this program, that Windows does not guard, and that holds the
// file by handles (not a loaded module or a mapped view, nor a Restart Manager report alone).
bool release_allowed(const Holder& holder, std::uint32_t own_pid);

// Whether a handle's name now (`fresh`, as Windows gives it) is the file the search found.
bool still_names(const std::optional<std::wstring>& fresh, std::wstring_view found);

// The whole from the handles' outcomes.
ReleaseResult summarise(std::span<const HandleRelease> handles);

// "closed", "changed", "failed": the command line's JSON words.
std::string_view handle_outcome_word(HandleOutcome outcome);

// The real calls behind ReleaseApi. A process opened with PROCESS_DUP_HANDLE and
// PROCESS_QUERY_LIMITED_INFORMATION (null when it cannot be).
HANDLE open_for_release(std::uint32_t pid);
// The name of a fresh copy of the handle, asked on a thread of its own for at most the deep
// search's deadline, since a name query can hang; nothing when it names no disk file.
std::optional<std::wstring> handle_name_in(HANDLE process, std::uint64_t value);
// DuplicateHandle with DUPLICATE_CLOSE_SOURCE; the copy it makes here is closed at once.
bool close_handle_in(HANDLE process, std::uint64_t value);

// The calls a release makes; tests replace what Wine cannot show (guarded processes).
struct ReleaseApi {
  HANDLE (*open_process)(std::uint32_t pid) = &open_for_release;
  std::optional<std::uint64_t> (*start_time_of)(HANDLE process) = &creation_time_of;
  HolderKind (*kind_of)(std::uint32_t pid) = &classify_running;
  std::optional<bool> (*shielded)(std::uint32_t pid) = &process_is_shielded;
  std::optional<std::wstring> (*name_of)(HANDLE process, std::uint64_t value) = &handle_name_in;
  bool (*close_in)(HANDLE process, std::uint64_t value) = &close_handle_in;
};

// Checks again that the process is the one created at `start_time` (unless that is 0) and may
// be released, then closes each handle that still names its file. Blocks: worker threads and
// the command line only.
ReleaseReport release_file_handles(std::uint32_t pid, std::uint64_t start_time, std::span<const HeldHandle> handles,
                                   const ReleaseApi& api = {});

// Runs a release on a thread of its own, which reports {scan id, ReleaseFile, ReleaseResult,
// pid}. False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_release(const RemedyJob& job, std::vector<HeldHandle> handles);

}  // namespace tw
