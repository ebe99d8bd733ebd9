// The critical section of the C++ standard library binding: a recursive mutex.
#ifndef TARN_RUNTIME_THREADS_STD_CRITICAL_SECTION_H
#define TARN_RUNTIME_THREADS_STD_CRITICAL_SECTION_H

#include <mutex>

#include "runtime/threads/critical_section.h"

namespace tarn {

class StdCriticalSection final : public CriticalSection {
 public:
  void Lock() override;
  void Unlock() override;

 private:
  std::recursive_mutex mutex_;
};

}  // namespace tarn

#endif  // TARN_RUNTIME_THREADS_STD_CRITICAL_SECTION_H
