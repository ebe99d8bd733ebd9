// The critical section of the C++ standard library binding, and the factory that makes it.
#include "runtime/threads/std_critical_section.h"

namespace tarn {

void StdCriticalSection::Lock() { mutex_.lock(); }

void StdCriticalSection::Unlock() { mutex_.unlock(); }

std::unique_ptr<CriticalSection> CriticalSectionFactory::newCriticalSection() {
  return std::make_unique<StdCriticalSection>();
}

}  // namespace tarn
