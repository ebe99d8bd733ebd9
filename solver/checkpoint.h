// Checkpointing: a CheckedBlock names one region of memory and the storage it is saved to; a
// CheckPoint holds an ordered list of blocks and saves or restores all of them in that order.
// With the storages rewound to position 0, a save writes one entry per block in registration
// order and a restore reads them back in the same order.
#ifndef TARN_SOLVER_CHECKPOINT_H
#define TARN_SOLVER_CHECKPOINT_H

#include <cstdint>
#include <memory>
#include <vector>

#include "solver/state_storage.h"

namespace tarn {

enum class StateStorageType : uint32_t {
  kPrimary = 0,    // the checkpoint's primary storage
  kSecondary = 1,  // its secondary storage
};

class CheckedBlock {
 public:
  CheckedBlock() = default;
  CheckedBlock(void* data, uint32_t length, StateStorage* storage = nullptr)
      : data_(data), length_(length), storage_(storage) {}
  CheckedBlock(const CheckedBlock&) = default;
  CheckedBlock& operator=(const CheckedBlock&) = default;
  virtual ~CheckedBlock() = default;

  uint32_t GetLength() const { return length_; }

  // Writes the region as the storage's next entry; false when the storage stored less or the
  // block has no storage.
  bool Save() const;
  // Fills the region from the storage's next entry; false when the entry is missing or shorter
  // than the region, or the block has no storage.
  bool Restore() const;

 private:
  void* data_ = nullptr;             // borrowed
  uint32_t length_ = 0;              // bytes
  StateStorage* storage_ = nullptr;  // borrowed
};

class CheckPoint {
 public:
  using CheckedBlockList = std::vector<std::unique_ptr<CheckedBlock>>;

  CheckPoint() = default;
  explicit CheckPoint(uint32_t checkPointId);
  // Initialize with these arguments.
  CheckPoint(uint32_t checkPointId, StateStorage* primaryStorage, StateStorage* secondaryStorage,
             const CheckedBlockList* blocks);
  // Same id and storages, and a copy of every block.
  CheckPoint(const CheckPoint& other);
  CheckPoint& operator=(const CheckPoint&) = delete;
  virtual ~CheckPoint() = default;

  // Replaces the id, the storages (borrowed, may be null) and the blocks: a copy of every block
  // of `blocks` when it is given, none otherwise.
  virtual void Initialize(uint32_t checkPointId, StateStorage* primaryStorage,
                          StateStorage* secondaryStorage, const CheckedBlockList* blocks);
  // Deletes every block.
  virtual void Finalize();
  // Appends a block for `length` bytes at `data` saved to the storage `type` names. False,
  // adding nothing, when that storage is null or `type` names none.
  virtual bool AddCheckedBlock(void* data, uint32_t length, StateStorageType type);
  // Appends `block`, which the checkpoint then owns. False for null.
  virtual bool AddCheckedBlock(std::unique_ptr<CheckedBlock> block);
  // Saves (restores) every block in list order; false at the first block that fails, leaving
  // the blocks after it untouched.
  virtual bool Save() const;
  virtual bool Restore() const;

  // Sum of the blocks' lengths in bytes.
  uint32_t GetTotalLength() const { return totalLength_; }
  const CheckedBlockList& GetBlocks() const { return blocks_; }

 private:
  uint32_t checkPointId_ = 0;  // stored for the owner, not interpreted
  CheckedBlockList blocks_;
  uint32_t totalLength_ = 0;
  StateStorage* primaryStorage_ = nullptr;    // borrowed
  StateStorage* secondaryStorage_ = nullptr;  // borrowed
};

}  // namespace tarn

#endif  // TARN_SOLVER_CHECKPOINT_H
