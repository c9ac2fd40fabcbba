#pragma once

#include <functional>

namespace tw {

// Runs `body` on a new thread that nobody joins; the thread owns the function and whatever
// it captured. False when no thread could be started (the body is then dropped unrun).
[[nodiscard]] bool start_detached_thread(std::function<void()> body);

}  // namespace tw
