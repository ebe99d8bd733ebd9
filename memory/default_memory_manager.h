// The allocator that hands every request straight to the C heap.
#ifndef TARN_MEMORY_DEFAULT_MEMORY_MANAGER_H
#define TARN_MEMORY_DEFAULT_MEMORY_MANAGER_H

#include "memory/memory_manager.h"

namespace tarn {

// Memory handed out stays valid until Free, whatever happens to the manager.
class DefaultMemoryManager final : public MemoryManager {
 public:
  DefaultMemoryManager() : MemoryManager(MemoryManagerType::kDefault) {}

  void Initialize() override {}
  void Finalize() override {}
  void* New(uint32_t size, bool zero) override;
  void Free(void* pointer) override;
};

}  // namespace tarn

#endif  // TARN_MEMORY_DEFAULT_MEMORY_MANAGER_H
