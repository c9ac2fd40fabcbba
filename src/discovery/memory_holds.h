#pragma once

// Files other processes hold without a handle: loaded as images (the program, its DLLs and
// plug-ins) or mapped into memory as data views whose handles were closed. Only the names of
// the regions are read, never what they contain.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/channel.h"
#include "discovery/deep_search.h"
#include "discovery/hold_ways.h"
#include "discovery/native_paths.h"
#include "discovery/paths.h"
#include "discovery/scan_progress.h"

namespace tw {

struct MemoryHold {
  std::wstring path;  // as the user's paths are spelled (C:\…, \\server\share\…)
  HoldWays how;       // loaded or mapped
};

// The rights the walk needs: VirtualQueryEx and GetMappedFileNameW ask for
// PROCESS_QUERY_INFORMATION, and older systems also for PROCESS_VM_READ.
inline constexpr DWORD kMemoryWalkRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// One walk over the process's address space: one name per allocation of an image or a mapped
// view, in address order, names that reach no drive or share left out. Nothing when the
// process ended meanwhile.
std::optional<std::vector<MemoryHold>> memory_holds(HANDLE process, const DosDeviceTable& devices);

struct MemoryWalkResult {
  std::vector<DeepRecord> records;           // unsorted; a file held both ways gives two
  std::vector<std::uint64_t> inaccessible;   // processes that could not be opened
  bool stopped = false;
  bool abandoned = false;  // a name query went silent, so the processes after it were not walked
};

// Walks every listed process but this one and those below 5, and keeps what lies inside a
// key. Processes gone before they could be opened are passed over; once `stop` is set it ends
// after the process at hand.
MemoryWalkResult walk_memory_of(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                                const DosDeviceTable& devices, StopFlag stop);

// How long the walk may go without finishing a process before it is given up: naming a mapped
// file asks its file system, which for a share that went away can take very long.
inline constexpr std::chrono::milliseconds kMemoryWalkSilence{2'000};

// The walk on a thread of its own, so that one that hangs can be given up; it sends what it
// finds process by process, so a name query that hangs costs only the processes after it.
class MemoryWalkJob {
 public:
  // Lists the processes and drive letters and walks them, unless `walk` is nullptr.
  MemoryWalkJob(MemoryWalkFn walk, std::shared_ptr<const KeyIndex> keys,
                std::chrono::milliseconds silence = kMemoryWalkSilence);
  ~MemoryWalkJob();
  MemoryWalkJob(const MemoryWalkJob&) = delete;
  MemoryWalkJob& operator=(const MemoryWalkJob&) = delete;

  // What the walk found. Waits until it ends, is told to stop through `stop` (then marked
  // stopped at once), or goes silent (then abandoned; the thread ends on its own).
  MemoryWalkResult finish(StopFlag stop);

 private:
  MemoryWalkFn walk_;
  std::shared_ptr<const KeyIndex> keys_;
  std::chrono::milliseconds silence_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::optional<Receiver<MemoryWalkResult>> finds_;
};

// A file Windows maps as a program image when it is used: programs, DLLs and what is loaded
// like them (controls, Control Panel items, screen savers, drivers, codecs, DirectShow filters,
// language resources, input methods, telephony providers, Node, Python and Excel add-ins).
bool loads_as_image(std::wstring_view path);

// The identifiers of the running processes; empty when they cannot be listed.
std::vector<std::uint32_t> running_process_ids();

}  // namespace tw
