// A pool of equal-sized heap blocks, handed out and taken back in last-freed, first-reused order
// and returned to the heap only when the pool is destroyed.
#ifndef TARN_MEMORY_FIXED_BLOCK_MEMORY_MANAGER_H
#define TARN_MEMORY_FIXED_BLOCK_MEMORY_MANAGER_H

#include <cstdint>
#include <vector>

#include "runtime/threads/critical_section.h"

namespace tarn {

// Every operation holds the pool's own lock, so one pool may serve several threads.
class FixedBlockMemoryManager final : public LockObject {
 public:
  // A pool of `blockSize`-byte blocks, `initialCount` of them made at once; `growBy` more are
  // made whenever all are handed out (0: the pool never grows).
  FixedBlockMemoryManager(uint32_t blockSize, uint32_t initialCount, uint32_t growBy);
  // Releases every block, whether or not it is still handed out.
  ~FixedBlockMemoryManager() override;

  // A free block, zero-filled when `zero` is set; null when none is left and the pool cannot
  // grow (no growth, or the heap refused).
  void* New(bool zero);
  // Takes back a block handed out by New. Null, and blocks beyond the number handed out, are
  // ignored; a block freed twice or from another pool is not detected and must not be passed.
  void Free(void* block);
  // True when `block` belongs to this pool and is handed out.
  bool IsAllocated(const void* block);
  // Makes `count` more free blocks; stops early when the heap refuses one.
  void IncreaseCapacity(uint32_t count);
  // Number of blocks made so far.
  uint32_t GetCapacity();

 private:
  const uint32_t blockSize_;
  uint32_t capacity_ = 0;
  const uint32_t growBy_;
  uint32_t top_ = 0;  // blocks handed out; index of the next free block in freeStack_
  // capacity_ entries: null below top_ (handed out), free blocks from top_ on.
  std::vector<void*> freeStack_;
  std::vector<void*> allBlocks_;  // owned: every block made, in order of creation
};

}  // namespace tarn

#endif  // TARN_MEMORY_FIXED_BLOCK_MEMORY_MANAGER_H
