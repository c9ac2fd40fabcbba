#pragma once

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tw {

// One value handed from a worker to the main thread: a newer value replaces an unread one.
template <class T>
class Slot {
 public:
  void store(T value) {
    store_unless(std::move(value), [](const T&) { return false; });
  }
  // The same, except that an unread value for which `keep(unread)` is true stays.
  template <class Keep>
  void store_unless(T value, Keep keep) {
    std::optional<T> replaced;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    if (value_ && keep(*value_)) return;
    replaced = std::exchange(value_, std::move(value));
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

// Values handed from workers to the main thread in the order they came, all taken at once.
template <class T>
class Queue {
 public:
  void push(T value) {
    std::lock_guard lock(mutex_);
    values_.push_back(std::move(value));
  }
  std::vector<T> take_all() {
    std::vector<T> taken;
    std::lock_guard lock(mutex_);
    taken.swap(values_);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::vector<T> values_;
};

}  // namespace tw
