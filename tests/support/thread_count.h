// The number of threads of this process, for tests that check that no worker outlives its run.
#ifndef TARN_TESTS_SUPPORT_THREAD_COUNT_H
#define TARN_TESTS_SUPPORT_THREAD_COUNT_H

#include <chrono>
#include <filesystem>
#include <thread>

namespace tarn::test {

inline int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// The thread count once it has come down to `expected`, or after a second. A thread that has just
// been joined may still be listed for a moment while the kernel releases it, the longer the
// busier the machine.
inline int SettledThreadCount(int expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  int count = ThreadCount();
  while (count > expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = ThreadCount();
  }
  return count;
}

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_THREAD_COUNT_H
