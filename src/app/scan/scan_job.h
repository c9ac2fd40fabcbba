#pragma once

// A scan on a worker thread of its own: progress and the result handed to the window through
// process-wide slots and private messages.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "app/scan/scan_result.h"

namespace tw {

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
void store_scan_progress(std::uint64_t scan_id, const ScanProgress& progress);
// The latest progress, once; nothing when it was taken already.
std::optional<TakenProgress> take_scan_progress();

// Replaces what the slot holds, except an unread result of a later scan.
void store_scan_result(std::uint64_t scan_id, ScanResult result);
std::optional<TakenResult> take_scan_result();

}  // namespace tw
