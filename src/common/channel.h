#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tw {

// An unbounded first-in first-out channel between two threads, split into a sending and a
// receiving end. Either end may go away first: sending into a channel whose receiver is gone
// fails (the value is dropped), and receiving from one whose sender is gone yields what is
// left, then "closed". The shared state lives as long as either end, so a thread that comes
// back late from a blocking call finds both ends gone without touching freed memory.
//
// Hand-overs are expected in quick succession between two busy threads, so a receiver spins
// briefly on an atomic count before it sleeps: a wake-up through the kernel costs more than
// the work handed over.
template <class T>
class ChannelState {
 public:
  bool push(T value) {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      if (receiver_gone_) return false;
      queue_.push_back(std::move(value));
      available_.fetch_add(1, std::memory_order_release);
      wake = sleepers_ > 0;
    }
    if (wake) ready_.notify_one();
    return true;
  }

  void close_sender() {
    {
      std::lock_guard lock(mutex_);
      sender_gone_ = true;
      closed_.store(true, std::memory_order_release);
    }
    ready_.notify_all();
  }

  void close_receiver() {
    std::deque<T> dropped;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    receiver_gone_ = true;
    dropped.swap(queue_);
  }

  enum class Wait { Value, Timeout, Closed };

  template <class Clock, class Duration>
  Wait pop_until(std::optional<T>& out, const std::chrono::time_point<Clock, Duration>& deadline) {
    spin();
    std::unique_lock lock(mutex_);
    ++sleepers_;
    const bool ready = ready_.wait_until(lock, deadline, [&] { return !queue_.empty() || sender_gone_; });
    --sleepers_;
    if (!queue_.empty()) {
      out.emplace(std::move(queue_.front()));
      queue_.pop_front();
      available_.fetch_sub(1, std::memory_order_relaxed);
      return Wait::Value;
    }
    return ready ? Wait::Closed : Wait::Timeout;
  }

 private:
  void spin() const {
    // About half a millisecond of polling, checking the clock only now and then.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
    for (unsigned i = 1;; ++i) {
      if (available_.load(std::memory_order_acquire) > 0 || closed_.load(std::memory_order_acquire)) return;
      if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> queue_;
  std::atomic<std::size_t> available_{0};
  std::atomic<bool> closed_{false};
  unsigned sleepers_ = 0;
  bool sender_gone_ = false;
  bool receiver_gone_ = false;
};

template <class T>
class Sender {
 public:
  explicit Sender(std::shared_ptr<ChannelState<T>> state) : state_(std::move(state)) {}
  Sender(Sender&&) noexcept = default;
  Sender& operator=(Sender&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;
  ~Sender() { close(); }

  // False when the receiver is gone; the value is then dropped.
  bool send(T value) { return state_ && state_->push(std::move(value)); }

 private:
  void close() {
    if (state_) state_->close_sender();
    state_.reset();
  }
  std::shared_ptr<ChannelState<T>> state_;
};

template <class T>
class Receiver {
 public:
  using Wait = typename ChannelState<T>::Wait;

  explicit Receiver(std::shared_ptr<ChannelState<T>> state) : state_(std::move(state)) {}
  Receiver(Receiver&&) noexcept = default;
  Receiver& operator=(Receiver&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
    }
    return *this;
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver() { close(); }

  // Waits for the next value until the deadline.
  template <class Clock, class Duration>
  Wait receive_until(std::optional<T>& out, const std::chrono::time_point<Clock, Duration>& deadline) {
    return state_ ? state_->pop_until(out, deadline) : Wait::Closed;
  }

  // Waits without limit; nothing once the sender is gone and everything was taken.
  std::optional<T> receive() {
    std::optional<T> out;
    while (state_) {
      const Wait w = state_->pop_until(out, std::chrono::steady_clock::now() + std::chrono::hours(1));
      if (w != Wait::Timeout) break;
    }
    return out;
  }

 private:
  void close() {
    if (state_) state_->close_receiver();
    state_.reset();
  }
  std::shared_ptr<ChannelState<T>> state_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
  auto state = std::make_shared<ChannelState<T>>();
  return {Sender<T>(state), Receiver<T>(state)};
}

}  // namespace tw
