#pragma once

#include <cstdint>

#include "procs/classify.h"

namespace tw {

// How a force quit went. The numbers travel in remedy outcomes.
enum class ForceQuitResult : std::uint8_t {
  CouldNotEnd = 0,   // it still runs but could not be opened for ending, or ending failed
  Refused = 1,       // this program itself, a service or a part of Windows
  StillRunning = 2,  // ended, but it had not gone 5 seconds later
  Ended = 3,         // gone within 5 seconds, already gone, or the pid names another process now
};

// What the process under `pid` is now, classified from its image and session as a search
// classifies a holder the Restart Manager did not report. For processes named by id: every
// way of acting on a process refuses the same kinds whichever way it was found.
HolderKind classify_running(std::uint32_t pid);

// Posts WM_CLOSE to each of the process's qualifying windows (none are sent synchronously)
// and waits up to 6 seconds for it to exit. True when it exited, or when it can no longer be
// seen; false when it had no window, still runs, or is not the process created at
// `expected_start_time` (unless that is 0): nothing is posted to a newcomer under the pid.
// Blocks: worker threads only.
bool close_process_windows(std::uint32_t pid, std::uint64_t expected_start_time);

// Ends the process with exit code 1 after checking that it is still the one created at
// `expected_start_time` (unless that is 0) and that it may be ended. Blocks up to 5 seconds.
ForceQuitResult force_quit_process(std::uint32_t pid, std::uint64_t expected_start_time);

}  // namespace tw
