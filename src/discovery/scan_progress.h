#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace tw {

enum class ScanPhase : std::uint8_t {
  Listing = 0,
  AskingWindows = 1,
  DeepSearching = 2,
  Taken = 3,  // marks a progress slot whose content the window has already taken
};

struct ScanProgress {
  std::uint64_t files = 0;  // files listed so far, or files checked once listing is over
  float fraction = 0.0f;    // share of the current phase done, 0 to 1 (0 while listing)
  ScanPhase phase = ScanPhase::Listing;
};

// Receives progress offers from the scan's worker; it decides which ones to pass on.
using ProgressSink = std::function<void(const ScanProgress&)>;

// Set by another thread to end a search early; the search keeps what it found so far. Read
// between small steps, so that a stop takes effect within a fraction of a second.
using StopFlag = const std::atomic<bool>*;
inline bool stop_asked(StopFlag stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

}  // namespace tw
