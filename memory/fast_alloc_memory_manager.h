// The allocator that serves requests up to 1 MiB from twenty pools of fixed-size blocks, one per
// power-of-two size class, so that freed memory is recycled without going back to the heap.
#ifndef TARN_MEMORY_FAST_ALLOC_MEMORY_MANAGER_H
#define TARN_MEMORY_FAST_ALLOC_MEMORY_MANAGER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory/fixed_block_memory_manager.h"
#include "memory/memory_manager.h"

namespace tarn {

// Pool i serves requests of up to 2^(i+1) bytes. Each of its blocks starts with a header of
// kHeaderSize bytes, whose last byte is the tag i; the caller receives the address after the
// header, which keeps the heap's alignment. New, Free and IsAllocated may be called from several
// threads; Initialize and Finalize may not run alongside them.
class FastAllocMemoryManager final : public MemoryManager {
 public:
  static constexpr uint32_t kPoolCount = 20;
  static constexpr uint32_t kLargestRequest = uint32_t{1} << kPoolCount;  // 1048576 bytes
  static constexpr std::size_t kHeaderSize = alignof(std::max_align_t);

  FastAllocMemoryManager() : MemoryManager(MemoryManagerType::kFastAlloc) {}

  // Finalize, then twenty empty pools that grow by kPoolGrowth blocks at a time.
  void Initialize() override;
  // Destroys the pools and with them every block they handed out.
  void Finalize() override;
  // Null for size 0, above kLargestRequest, before Initialize and when the heap refuses.
  void* New(uint32_t size, bool zero) override;
  void Free(void* pointer) override;
  // True when `pointer` came from New and has not been freed.
  bool IsAllocated(const void* pointer);

 private:
  static constexpr uint32_t kPoolGrowth = 10;

  // The pool that `pointer`'s tag names, or null when the tag names none.
  FixedBlockMemoryManager* PoolOf(const void* pointer) const;

  std::array<std::unique_ptr<FixedBlockMemoryManager>, kPoolCount> pools_;
};

}  // namespace tarn

#endif  // TARN_MEMORY_FAST_ALLOC_MEMORY_MANAGER_H
