// Synchronisation for the threaded tests: a one-shot signal with a bounded wait, and a guard that
// turns a hang into a failed run instead of a stuck suite.
#ifndef TARN_TESTS_THREADS_SIGNAL_H
#define TARN_TESTS_THREADS_SIGNAL_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace tarn::test {

// Only a hang reaches it, however loaded the machine.
inline constexpr std::chrono::seconds kHangTimeout{20};
// How long a test watches for something that must not happen.
inline constexpr std::chrono::milliseconds kQuietPeriod{50};

class Signal {
 public:
  void Set() {
    // Notified under the lock: the waiter may destroy the signal as soon as it sees the flag.
    std::lock_guard lock(mutex_);
    set_ = true;
    changed_.notify_all();
  }
  template <typename Duration>
  bool WaitFor(Duration timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return set_; });
  }
  bool Wait() { return WaitFor(kHangTimeout); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

// Runs `action` on a helper thread; a hang aborts the suite, since a stuck thread cannot be
// recovered.
inline void ExpectFinishes(const char* what, const std::function<void()>& action) {
  Signal done;
  std::thread helper([&] {
    action();
    done.Set();
  });
  if (!done.Wait()) {
    std::fprintf(stderr, "%s did not finish: deadlock\n", what);
    std::abort();
  }
  helper.join();
}

}  // namespace tarn::test

#endif  // TARN_TESTS_THREADS_SIGNAL_H
