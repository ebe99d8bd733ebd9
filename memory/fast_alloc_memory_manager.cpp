// Power-of-two pooled allocation over FixedBlockMemoryManager.
#include "memory/fast_alloc_memory_manager.h"

#include <bit>

namespace tarn {
namespace {

using Byte = unsigned char;

// Index of the smallest size class 2^(i+1) that holds `size` (1 <= size <= kLargestRequest).
uint32_t PoolIndex(uint32_t size) {
  const auto bits = static_cast<uint32_t>(std::bit_width(size - 1));
  return bits == 0 ? 0 : bits - 1;
}

}  // namespace

void FastAllocMemoryManager::Initialize() {
  Finalize();
  for (uint32_t i = 0; i < kPoolCount; ++i) {
    const uint32_t blockSize = (uint32_t{2} << i) + static_cast<uint32_t>(kHeaderSize);
    pools_[i] = std::make_unique<FixedBlockMemoryManager>(blockSize, 0, kPoolGrowth);
  }
}

void FastAllocMemoryManager::Finalize() {
  for (auto& pool : pools_) pool.reset();
}

void* FastAllocMemoryManager::New(uint32_t size, bool zero) {
  if (size == 0 || size > kLargestRequest) return nullptr;
  const uint32_t index = PoolIndex(size);
  if (pools_[index] == nullptr) return nullptr;
  auto* block = static_cast<Byte*>(pools_[index]->New(zero));
  if (block == nullptr) return nullptr;
  block[kHeaderSize - 1] = static_cast<Byte>(index);
  return block + kHeaderSize;
}

void FastAllocMemoryManager::Free(void* pointer) {
  FixedBlockMemoryManager* pool = PoolOf(pointer);
  if (pool != nullptr) pool->Free(static_cast<Byte*>(pointer) - kHeaderSize);
}

bool FastAllocMemoryManager::IsAllocated(const void* pointer) {
  FixedBlockMemoryManager* pool = PoolOf(pointer);
  return pool != nullptr && pool->IsAllocated(static_cast<const Byte*>(pointer) - kHeaderSize);
}

FixedBlockMemoryManager* FastAllocMemoryManager::PoolOf(const void* pointer) const {
  if (pointer == nullptr) return nullptr;
  const Byte tag = static_cast<const Byte*>(pointer)[-1];
  return tag < kPoolCount ? pools_[tag].get() : nullptr;
}

}  // namespace tarn
