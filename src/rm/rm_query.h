#pragma once

#include <windows.h>

#include <restartmanager.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "procs/rm_finding.h"

namespace tw {

// The scan cuts its file list into batches of at most this many files per query.
inline constexpr std::size_t kRmBatchFiles = 256;
// Split budget of one scan, shared by all its batches; a split into halves costs kRmSplitCost.
// It bounds the extra sessions a scan opens however many files are held.
inline constexpr std::uint32_t kRmScanSplitBudget = 400;
inline constexpr std::uint32_t kRmSplitCost = 2;

// The Restart Manager calls the query makes. Wine's Restart Manager names no process, so the
// tests put a stand-in here.
struct RmApi {
  decltype(&::RmStartSession) start_session = &::RmStartSession;
  decltype(&::RmRegisterResources) register_resources = &::RmRegisterResources;
  decltype(&::RmGetList) get_list = &::RmGetList;
  decltype(&::RmEndSession) end_session = &::RmEndSession;
};

// Asks which processes use the files of `slice` and appends one finding per process. While
// `budget` lasts, a slice with users is split into halves (first half first, depth first) and
// asked again, so that processes get attributed to single files; a process that was not
// narrowed down is appended without a file. Restart Manager failures add nothing.
void query_holders(std::span<const std::wstring> slice, std::uint32_t& budget, std::vector<RmFinding>& findings,
                   const RmApi& api = {});

}  // namespace tw
