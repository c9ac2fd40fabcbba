#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "common/handles.h"
#include "discovery/hold_ways.h"
#include "discovery/native_paths.h"
#include "discovery/paths.h"
#include "discovery/scan_progress.h"

namespace tw {

// A file in another process, held through a handle or in its memory, whose name lies inside
// a target.
struct DeepRecord {
  std::uint32_t pid = 0;
  std::wstring path;  // the handle's final path without the "\\?\" prefix, spelled as found
  HoldWays how = kHeldOpen;
  std::vector<std::uint64_t> handles;  // held open: the handle values found for it, ascending
  friend bool operator==(const DeepRecord&, const DeepRecord&) = default;
};

struct DeepSearchResult {
  std::vector<DeepRecord> records;  // by pid, then path by components; one per pid, path and way
  std::uint64_t inaccessible = 0;   // processes that could not be opened to copy handles or walk memory
  std::uint64_t unexamined = 0;     // handles not asked their names, or not answered: the question could hang
  bool gave_up = false;             // name queries hung in too many processes
  bool stopped = false;             // told to stop before every handle was looked at
};

// One entry of the system handle table, as much of it as the search uses.
struct HandleEntry {
  std::uint64_t pid = 0;
  std::uint64_t handle = 0;
  std::uint32_t access = 0;  // the rights the handle was opened with
  std::uint16_t type_index = 0;
};

// Handles opened with these rights are where name queries hang: synchronous pipes, and folders
// with a change notification pending, wait until the owner's own call ends, which may be never.
// The same rights are also those of most files opened for reading or writing, so they are not
// passed over blindly; once eight such handles did not answer, the rest of them are.
bool name_query_may_hang(std::uint32_t access);

using QuerySystemInformationFn = LONG(WINAPI*)(ULONG information_class, void* buffer, ULONG size, ULONG* returned);
// Names a handle of this process: its final path when it is a disk file, else nothing.
using NameHandleFn = std::optional<std::wstring> (*)(HANDLE handle);

// The platform calls the deep search cannot do without; tests replace what Wine cannot show.
// ntdll's NtQuerySystemInformation, looked up at run time (the documented headers do not
// declare the class the search asks for); a failure status when it cannot be found.
LONG WINAPI nt_query_system_information(ULONG information_class, void* buffer, ULONG size, ULONG* returned);

// GetFileType says disk: the final path (buffer rule of final_path_name); otherwise nothing,
// so pipes and consoles, whose name queries can hang, are never asked.
std::optional<std::wstring> name_of_disk_handle(HANDLE handle);

struct MemoryWalkResult;  // memory_holds.h
using MemoryWalkFn = MemoryWalkResult (*)(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                                          const DosDeviceTable& devices, StopFlag stop);
MemoryWalkResult walk_memory_of(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                                const DosDeviceTable& devices, StopFlag stop);

struct DeepSearchApi {
  QuerySystemInformationFn query_system_information = &nt_query_system_information;  // nullptr: the search cannot run
  NameHandleFn name_handle = &name_of_disk_handle;
  // The files processes have loaded or mapped, walked after the handles; nullptr: handles only.
  MemoryWalkFn walk_memory = &walk_memory_of;
};

// How long a name query may take before its thread is given up.
inline constexpr std::chrono::milliseconds kNameDeadline{400};

// A process with a handle whose name query hung has the rest of its handles passed over, so
// one program cannot stop the search. Only when queries hang everywhere does the search give
// up: after this many hung processes in a row with no answer between them (the system itself
// hangs: 3.2 s of waiting), or this many in all (at most 12.8 s, and as many abandoned
// threads). Hangs of handles with rights where hanging is expected count towards neither.
struct DeepSearchLimits {
  std::chrono::milliseconds name_deadline = kNameDeadline;
  std::uint64_t hung_in_a_row = 8;
  std::uint64_t hung_in_all = 32;
};

// The system's extended handle table: 8 MiB first, growing by at least 4 MiB a call, at most
// 12 calls and 1 GiB. Nothing when it cannot be read.
std::optional<std::vector<HandleEntry>> read_handle_table(QuerySystemInformationFn query);

// The file handles of other processes (pid 5 and up), in table order. The type index of
// file objects is learnt from a handle to our own executable. Nothing when the table or the
// index cannot be had.
std::optional<std::vector<HandleEntry>> file_handles_of_others(QuerySystemInformationFn query);

// Walks every file handle of every other process, names it on a guarded thread and keeps the
// ones inside a key; then walks every other process's memory for files loaded or mapped.
// Offers progress every 2,000 handles. Once `stop` is set it ends after the handle at hand (at
// most one name deadline later), or at once while memory is walked.
DeepSearchResult deep_search(const std::vector<std::string>& resolved_keys, std::uint64_t files_checked,
                             const ProgressSink& progress, const DeepSearchApi& api = {},
                             const DeepSearchLimits& limits = {}, StopFlag stop = nullptr);

// A copy of another process's handle on its way to be named. Whoever is done with it first
// closes it: the name-query thread once it has the name, or the search when it stops waiting,
// so that a query that hangs never keeps the user's file open.
class NameRequest {
 public:
  explicit NameRequest(UniqueHandle handle) : handle_(handle.release()) {}
  ~NameRequest() { done(); }
  NameRequest(const NameRequest&) = delete;
  NameRequest& operator=(const NameRequest&) = delete;
  HANDLE handle() const { return handle_; }
  // Closes the handle unless the other side has; safe to call from both threads.
  void done() {
    if (!closed_.exchange(true)) ::CloseHandle(handle_);
  }

 private:
  HANDLE handle_;
  std::atomic<bool> closed_{false};
};

// The name-query thread: answers each request sent to it with its name, until the request
// channel closes.
void name_query_worker(Receiver<std::shared_ptr<NameRequest>> requests, Sender<std::optional<std::wstring>> replies,
                       NameHandleFn name_handle);

struct NameQueryChannels {
  Sender<std::shared_ptr<NameRequest>> requests;
  Receiver<std::optional<std::wstring>> replies;
};

// A fresh channel pair and a detached name-query thread holding its far ends. Nothing when
// no thread could be started.
std::optional<NameQueryChannels> start_name_query_worker(NameHandleFn name_handle);

}  // namespace tw
