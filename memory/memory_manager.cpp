// The factory of the runtime's allocators.
#include "memory/memory_manager.h"

#include "memory/default_memory_manager.h"
#include "memory/fast_alloc_memory_manager.h"

namespace tarn {

std::unique_ptr<MemoryManager> MemoryManager::CreateMemoryManager(MemoryManagerType type) {
  switch (type) {
    case MemoryManagerType::kDefault:
      return std::make_unique<DefaultMemoryManager>();
    case MemoryManagerType::kFastAlloc:
      return std::make_unique<FastAllocMemoryManager>();
  }
  return nullptr;
}

}  // namespace tarn
