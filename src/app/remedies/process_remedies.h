#pragma once

#include "app/remedies/remedy_queue.h"

namespace tw {

// Runs a Close, Force quit, Restart Explorer or Disconnect job on a thread of its own, which reports its
// outcome through the queue. False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_process_remedy(RemedyKind kind, const RemedyJob& job);

}  // namespace tw
