// State storage in memory: each entry is a block obtained from a memory manager.
#ifndef TARN_SOLVER_STATE_STORAGE_MEMORY_H
#define TARN_SOLVER_STATE_STORAGE_MEMORY_H

#include <cstdint>
#include <memory>
#include <vector>

#include "memory/memory_manager.h"
#include "solver/state_storage.h"

namespace tarn {

// Writing an entry again with the same length reuses its memory, so repeated saves of the same
// checkpoint allocate only on the first save.
class StateStorageMemory final : public StateStorage {
 public:
  // `managerKind` selects the memory manager that Initialize makes.
  explicit StateStorageMemory(MemoryManagerType managerKind = MemoryManagerType::kDefault)
      : managerKind_(managerKind) {}
  StateStorageMemory(const StateStorageMemory&) = delete;
  StateStorageMemory& operator=(const StateStorageMemory&) = delete;
  ~StateStorageMemory() override;

  // Finalize, then a new memory manager; true when it was made. Entries of an earlier
  // initialisation are released: the storage starts empty at position 0.
  bool Initialize() override;
  void Finalize() override;
  uint32_t GetPosition() const override { return position_; }
  void SetPosition(uint32_t position) override { position_ = position; }
  // Fails (returns 0, storing nothing) before Initialize, after Finalize and when the manager
  // cannot supply the memory; the entry is then left empty so that positions stay aligned.
  uint32_t Write(const void* data, uint32_t length) override;
  uint32_t Read(void* data, uint32_t length) override;
  bool Trim(uint32_t count) override;

  // Number of entries written so far.
  uint32_t GetEntryCount() const { return static_cast<uint32_t>(blocks_.size()); }

 private:
  struct tMemBlockInfo {
    uint32_t length = 0;   // bytes
    void* data = nullptr;  // owned through manager_; null for an empty entry
  };

  // Stores `length` bytes of `data` in `entry`, reusing its memory when the length matches.
  bool Store(tMemBlockInfo& entry, const void* data, uint32_t length);
  void Release(tMemBlockInfo& entry);

  const MemoryManagerType managerKind_;
  uint32_t position_ = 0;
  std::vector<tMemBlockInfo> blocks_;  // in position order
  std::unique_ptr<MemoryManager> manager_;
};

}  // namespace tarn

#endif  // TARN_SOLVER_STATE_STORAGE_MEMORY_H
