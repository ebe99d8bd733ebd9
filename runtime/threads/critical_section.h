// Mutual exclusion for the runtime: the abstract critical section, its factory, the lock object
// that owns one, and the scoped guard that holds a lock object for the length of a block.
#ifndef TARN_RUNTIME_THREADS_CRITICAL_SECTION_H
#define TARN_RUNTIME_THREADS_CRITICAL_SECTION_H

#include <memory>

namespace tarn {

// A lock that the thread holding it may take again; each Lock needs one Unlock by that thread.
class CriticalSection {
 public:
  virtual ~CriticalSection() = default;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class CriticalSectionFactory {
 public:
  // A new, unlocked critical section of the platform binding.
  static std::unique_ptr<CriticalSection> newCriticalSection();
};

// Base of every class that serialises its own operations: owns one critical section.
class LockObject {
 public:
  LockObject();
  virtual ~LockObject();
  LockObject(const LockObject&) = delete;
  LockObject& operator=(const LockObject&) = delete;

  void Lock() { criticalSection_->Lock(); }
  void Unlock() { criticalSection_->Unlock(); }

 private:
  std::unique_ptr<CriticalSection> criticalSection_;
};

// Holds a lock object from construction to the end of the enclosing scope, however it is left.
class AutoLock {
 public:
  [[nodiscard]] explicit AutoLock(LockObject& lockObject) : lockObject_(lockObject) {
    lockObject_.Lock();
  }
  ~AutoLock() { lockObject_.Unlock(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  LockObject& lockObject_;
};

}  // namespace tarn

#endif  // TARN_RUNTIME_THREADS_CRITICAL_SECTION_H
