#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/scan/diagnosis.h"
#include "discovery/deep_search.h"
#include "discovery/file_list.h"
#include "discovery/paths.h"
#include "discovery/scan_progress.h"
#include "procs/holders.h"
#include "rm/rm_query.h"

namespace tw {

struct ScanRequest {
  std::vector<Target> targets;  // the worker's own copy, in target-set order
  std::uint64_t scan_id = 0;
  HWND window = nullptr;        // receives the progress and finished messages
  bool deep = false;
};

struct ScanResult {
  std::vector<Holder> holders;        // in display order
  std::vector<Diagnosis> diagnoses;   // one per target, only when no holder was found
  std::uint64_t files_checked = 0;
  std::uint64_t folders = 0;
  std::uint64_t inaccessible = 0;     // processes the deep search could not open
  std::uint64_t unexamined = 0;       // handles the deep search did not ask, as the question could hang
  bool truncated = false;             // a folder listing stopped at the cap
  bool deep = false;
  bool gave_up = false;               // the deep search stopped early
};

// The platform pieces a scan uses; tests put stand-ins where Wine cannot answer.
struct ScanPlatform {
  RmApi rm;
  DeepSearchApi deep;
  ProcessFacts facts;
  std::vector<ProcessEntry> (*process_list)() = &tw::process_list;
  std::optional<std::wstring> (*image_path)(std::uint32_t) = &tw::image_path;
};

// The whole search, free of windows and slots: listing, the Restart Manager in batches,
// programs started from inside a target, the deep search when asked, then the holders in
// display order or, when there are none, a diagnosis per target.
ScanResult search_targets(const std::vector<Target>& targets, bool deep, const ProgressSink& progress,
                          const ScanPlatform& platform = {});

// Display order: programs, then File Explorer, then services and parts of Windows; within
// each, by lower-cased title. Stable.
void sort_holders(std::vector<Holder>& holders);

// Passes at most one progress offer per 100 ms to the window: stores it in the progress slot
// and posts kMsgScanProgress. The clock is replaceable for tests.
class ProgressPoster {
 public:
  using Clock = std::chrono::steady_clock;
  using NowFn = Clock::time_point (*)();

  ProgressPoster(HWND window, std::uint64_t scan_id, NowFn now = &Clock::now);
  void offer(const ScanProgress& progress);

 private:
  HWND window_;
  std::uint64_t scan_id_;
  NowFn now_;
  Clock::time_point last_posted_;
};

// The scan worker's body: searches, leaves the result in the result slot, posts
// kMsgScanFinished.
void run_scan(ScanRequest request);

// Starts run_scan on a thread of its own. False when no thread could be started.
[[nodiscard]] bool start_scan(ScanRequest request);

// The two process-wide slots the scan workers fill and the window empties.
struct TakenProgress {
  std::uint64_t scan_id = 0;
  ScanProgress progress;
};
void store_scan_progress(std::uint64_t scan_id, const ScanProgress& progress);
// The latest progress, once; nothing when it was taken already.
std::optional<TakenProgress> take_scan_progress();

struct TakenResult {
  std::uint64_t scan_id = 0;
  ScanResult result;
};
// Replaces what the slot holds, except an unread result of a later scan.
void store_scan_result(std::uint64_t scan_id, ScanResult result);
std::optional<TakenResult> take_scan_result();

}  // namespace tw
