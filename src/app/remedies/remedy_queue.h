#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace tw {

// Which remedy an outcome belongs to.
enum class RemedyKind : std::uint8_t {
  Close = 0,
  ForceQuit = 1,
  RestartExplorer = 2,
  DeleteOnRestart = 3,
  StopService = 4,
  ReleaseFile = 5,
  Disconnect = 6,
};

// What a Close, Force quit or Restart Explorer worker is given, copied at click time.
struct RemedyJob {
  std::uint64_t start_time = 0;  // the holder's creation time; 0 when unknown
  std::uint64_t scan_id = 0;     // the window's scan id when the button was clicked
  HWND window = nullptr;         // receives kMsgRemedyFinished
  std::uint32_t pid = 0;
};

// What a worker reports. Close and Restart Explorer: 1 success, 0 failure; Force quit: a
// ForceQuitResult; Delete on restart: 1 scheduled, 0 not (its pid carries nothing); Stop
// service: a StopOutcome; Release the file only: a ReleaseResult; Disconnect: a
// DisconnectResult, its pid the open's id.
struct RemedyOutcome {
  std::uint64_t scan_id = 0;
  RemedyKind kind = RemedyKind::Close;
  std::uint8_t result = 0;
  std::uint32_t pid = 0;
  friend bool operator==(const RemedyOutcome&, const RemedyOutcome&) = default;
};

// Appends one outcome to the process-wide queue, then posts kMsgRemedyFinished to the
// window. A refused post leaves the outcome queued until the next message drains it.
void report_remedy_outcome(HWND window, const RemedyOutcome& outcome);

// Takes every queued outcome, oldest first, leaving the queue empty. Main thread.
std::vector<RemedyOutcome> take_remedy_outcomes();

}  // namespace tw
