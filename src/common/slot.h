#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace tw {

// One value handed from a worker to the main thread: a newer value replaces an unread one.
template <class T>
class Slot {
 public:
  void store(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  // The value, leaving the slot empty; nothing when none came.
  std::optional<T> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(value_, std::nullopt);
  }

 private:
  std::mutex mutex_;
  std::optional<T> value_;
};

}  // namespace tw
