// The allocator that hands every request straight to the C heap.
#include "memory/default_memory_manager.h"

#include "memory/memory.h"

namespace tarn {

void* DefaultMemoryManager::New(uint32_t size, bool zero) {
  void* memory = Memory::Malloc(size);
  if (memory != nullptr && zero) Memory::MemSet(memory, 0, size);
  return memory;
}

void DefaultMemoryManager::Free(void* pointer) { Memory::Free(pointer); }

}  // namespace tarn
