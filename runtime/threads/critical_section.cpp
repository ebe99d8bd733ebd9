// LockObject: the owner of one critical section made by the platform binding.
#include "runtime/threads/critical_section.h"

namespace tarn {

LockObject::LockObject() : criticalSection_(CriticalSectionFactory::newCriticalSection()) {}

LockObject::~LockObject() = default;

}  // namespace tarn
