#pragma once

#include <cstdint>

#include "app/remedies/remedy_queue.h"
#include "discovery/network_opens.h"

namespace tw {

// Closes a network open by the server's id: NetFileClose's status. Tests stand in for the server.
using CloseOpenFn = std::uint32_t (*)(std::uint32_t id);

// Runs a Close, Force quit, Restart Explorer or Disconnect job on a thread of its own, which reports its
// outcome through the queue. False when no thread could be started: then nothing is reported.
[[nodiscard]] bool start_process_remedy(RemedyKind kind, const RemedyJob& job, CloseOpenFn close_open = &server_close_open);

}  // namespace tw
