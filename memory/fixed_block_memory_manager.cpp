// A pool of equal-sized heap blocks with last-freed, first-reused recycling.
#include "memory/fixed_block_memory_manager.h"

#include <algorithm>

#include "memory/memory.h"

namespace tarn {

FixedBlockMemoryManager::FixedBlockMemoryManager(uint32_t blockSize, uint32_t initialCount,
                                                 uint32_t growBy)
    : blockSize_(blockSize), growBy_(growBy) {
  IncreaseCapacity(initialCount);
}

FixedBlockMemoryManager::~FixedBlockMemoryManager() {
  for (void* block : allBlocks_) Memory::Free(block);
}

void* FixedBlockMemoryManager::New(bool zero) {
  AutoLock guard(*this);
  if (top_ == capacity_) IncreaseCapacity(growBy_);
  if (top_ == capacity_) return nullptr;
  void* block = freeStack_[top_];
  freeStack_[top_] = nullptr;
  ++top_;
  if (zero) Memory::MemSet(block, 0, blockSize_);
  return block;
}

void FixedBlockMemoryManager::Free(void* block) {
  if (block == nullptr) return;
  AutoLock guard(*this);
  // With nothing handed out, the stack has no slot to take the block back into.
  if (top_ == 0) return;
  --top_;
  freeStack_[top_] = block;
}

bool FixedBlockMemoryManager::IsAllocated(const void* block) {
  AutoLock guard(*this);
  const auto freeBegin = freeStack_.begin() + top_;
  if (std::find(freeBegin, freeStack_.end(), block) != freeStack_.end()) return false;
  return std::find(allBlocks_.begin(), allBlocks_.end(), block) != allBlocks_.end();
}

void FixedBlockMemoryManager::IncreaseCapacity(uint32_t count) {
  AutoLock guard(*this);
  // Reserving first means a block, once made, is always recorded.
  freeStack_.reserve(freeStack_.size() + count);
  allBlocks_.reserve(allBlocks_.size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    void* block = Memory::Malloc(blockSize_);
    if (block == nullptr) return;
    freeStack_.push_back(block);
    allBlocks_.push_back(block);
    ++capacity_;
  }
}

uint32_t FixedBlockMemoryManager::GetCapacity() {
  AutoLock guard(*this);
  return capacity_;
}

}  // namespace tarn
