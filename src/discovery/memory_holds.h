#pragma once

// Files other processes hold without a handle: loaded as images (the program, its DLLs and
// plug-ins) or mapped into memory as data views whose handles were closed. Only the names of
// the regions are read, never what they contain.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
};

// Walks every listed process but this one and those below 5, and keeps what lies inside a
// key. Processes gone before they could be opened are passed over; once `stop` is set it ends
// after the process at hand.
MemoryWalkResult walk_memory_of(const std::vector<std::uint32_t>& pids, const KeyIndex& keys,
                                const DosDeviceTable& devices, StopFlag stop);

// The identifiers of the running processes; empty when they cannot be listed.
std::vector<std::uint32_t> running_process_ids();

}  // namespace tw
