#pragma once

// What a scan is asked and what it gives: plain records, shared by the search, its worker and
// the window's state.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/scan/diagnosis.h"
#include "discovery/paths.h"
#include "discovery/scan_progress.h"
#include "procs/holders.h"

namespace tw {

struct ScanRequest {
  std::vector<Target> targets;  // the worker's own copy, in target-set order
  std::uint64_t scan_id = 0;
  HWND window = nullptr;        // receives the progress and finished messages
  bool deep = false;
  // Set by the window to end the search early; shared, as the window may go first.
  std::shared_ptr<std::atomic<bool>> stop;
  // Run on the worker over the holders found, before the result is handed over: what the
  // window learns of them besides the search (the services it may offer to stop).
  std::function<void(std::vector<Holder>&)> finish_holders;
};

// What a scan found besides its holders; the window keeps it once the holders became rows.
struct ScanSummary {
  std::vector<Diagnosis> diagnoses;   // one per target, only when no holder was found
  std::uint64_t files_checked = 0;
  std::uint64_t folders = 0;
  std::uint64_t inaccessible = 0;     // processes the deep search could not open
  std::uint64_t unexamined = 0;       // handles the deep search did not ask, as the question could hang
  bool truncated = false;             // a folder listing stopped at the cap
  bool deep = false;
  bool drive = false;                 // a drive was searched by what is open on it, its files not listed
  bool gave_up = false;               // the deep search stopped early
  bool stopped = false;               // told to stop: what was found so far, no diagnoses
  bool network_unseen = false;        // a target lies in a share whose opens only an administrator may list
};

struct ScanResult : ScanSummary {
  std::vector<Holder> holders;        // in display order
};

// What a worker left in a slot, with the scan it belongs to.
struct TakenProgress {
  std::uint64_t scan_id = 0;
  ScanProgress progress;
};
struct TakenResult {
  std::uint64_t scan_id = 0;
  ScanResult result;
};

}  // namespace tw
