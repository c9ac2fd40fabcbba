#pragma once

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

}  // namespace tw
