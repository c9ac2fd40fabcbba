#include "app/scan/scan_job.h"

#include "app/scan/search.h"
#include "app/system/messages.h"
#include "common/slot.h"
#include "common/thread.h"

namespace tw {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

Slot<TakenProgress>& progress_slot() {
  static Slot<TakenProgress> slot;
  return slot;
}

Slot<TakenResult>& result_slot() {
  static Slot<TakenResult> slot;
  return slot;
}

}  // namespace

ProgressPoster::ProgressPoster(HWND window, std::uint64_t scan_id, NowFn now)
    : window_(window), scan_id_(scan_id), now_(now), last_posted_(now() - std::chrono::seconds(1)) {}

void ProgressPoster::offer(const ScanProgress& progress) {
  const Clock::time_point now = now_();
  if (now - last_posted_ < kProgressInterval) return;
  last_posted_ = now;
  store_scan_progress(scan_id_, progress);
  ::PostMessageW(window_, kMsgScanProgress, 0, 0);  // a refused post only loses a progress step
}

void run_scan(ScanRequest request) {
  ProgressPoster poster(request.window, request.scan_id);
  ScanResult result = search_targets(request.targets, request.deep,
                                     [&](const ScanProgress& p) { poster.offer(p); }, {}, request.stop.get());
  if (request.finish_holders) request.finish_holders(result.holders);
  store_scan_result(request.scan_id, std::move(result));
  // A refused post leaves the result in the slot, where the next scan replaces it.
  ::PostMessageW(request.window, kMsgScanFinished, 0, 0);
}

bool start_scan(ScanRequest request) {
  return start_detached_thread([request = std::move(request)]() mutable { run_scan(std::move(request)); });
}

void store_scan_progress(std::uint64_t scan_id, const ScanProgress& progress) {
  progress_slot().store(TakenProgress{scan_id, progress});
}

std::optional<TakenProgress> take_scan_progress() { return progress_slot().take(); }

void store_scan_result(std::uint64_t scan_id, ScanResult result) {
  // Scan ids only grow. A superseded scan that finishes late must not destroy the unread
  // result of the scan that replaced it: the window would wait for it for ever.
  result_slot().store_unless(TakenResult{scan_id, std::move(result)},
                             [scan_id](const TakenResult& unread) { return unread.scan_id > scan_id; });
}

std::optional<TakenResult> take_scan_result() { return result_slot().take(); }

}  // namespace tw
