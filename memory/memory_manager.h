// The exchangeable allocator interface of the runtime and the factory of its implementations.
#ifndef TARN_MEMORY_MEMORY_MANAGER_H
#define TARN_MEMORY_MEMORY_MANAGER_H

#include <cstdint>
#include <memory>

#include "runtime/threads/critical_section.h"

namespace tarn {

enum class MemoryManagerType : uint32_t {
  kDefault = 0,    // DefaultMemoryManager: the C heap
  kFastAlloc = 1,  // FastAllocMemoryManager: pools of power-of-two blocks
};

class MemoryManager : public LockObject {
 public:
  // A new, uninitialised manager of the given type, or null for an unknown type code. The
  // caller calls Initialize before the first New.
  static std::unique_ptr<MemoryManager> CreateMemoryManager(MemoryManagerType type);

  MemoryManagerType GetType() const { return type_; }

  // Prepares the manager for New; may be called again after Finalize.
  virtual void Initialize() = 0;
  // Releases what the manager holds; a pooling manager releases the memory it handed out with it.
  virtual void Finalize() = 0;
  // `size` bytes aligned for any type, zero-filled when `zero` is set; null on failure.
  virtual void* New(uint32_t size, bool zero) = 0;
  // Returns memory obtained from this manager's New; null is ignored.
  virtual void Free(void* pointer) = 0;

 protected:
  explicit MemoryManager(MemoryManagerType type) : type_(type) {}

 private:
  const MemoryManagerType type_;
};

}  // namespace tarn

#endif  // TARN_MEMORY_MEMORY_MANAGER_H
