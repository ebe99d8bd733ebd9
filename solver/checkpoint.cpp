// Checkpoints: ordered lists of memory regions saved to and restored from state storage.
#include "solver/checkpoint.h"

#include <utility>

namespace tarn {

bool CheckedBlock::Save() const {
  return storage_ != nullptr && storage_->Write(data_, length_) >= length_;
}

bool CheckedBlock::Restore() const {
  return storage_ != nullptr && storage_->Read(data_, length_) >= length_;
}

CheckPoint::CheckPoint(uint32_t checkPointId) : checkPointId_(checkPointId) {}

CheckPoint::CheckPoint(uint32_t checkPointId, StateStorage* primaryStorage,
                       StateStorage* secondaryStorage, const CheckedBlockList* blocks) {
  Initialize(checkPointId, primaryStorage, secondaryStorage, blocks);
}

CheckPoint::CheckPoint(const CheckPoint& other) {
  Initialize(other.checkPointId_, other.primaryStorage_, other.secondaryStorage_, &other.blocks_);
}

void CheckPoint::Initialize(uint32_t checkPointId, StateStorage* primaryStorage,
                            StateStorage* secondaryStorage, const CheckedBlockList* blocks) {
  // The copies are made first: `blocks` may be this checkpoint's own list.
  CheckedBlockList copies;
  uint32_t totalLength = 0;
  if (blocks != nullptr) {
    copies.reserve(blocks->size());
    for (const auto& block : *blocks) {
      copies.push_back(std::make_unique<CheckedBlock>(*block));
      totalLength += block->GetLength();
    }
  }
  Finalize();
  checkPointId_ = checkPointId;
  primaryStorage_ = primaryStorage;
  secondaryStorage_ = secondaryStorage;
  blocks_ = std::move(copies);
  totalLength_ = totalLength;
}

void CheckPoint::Finalize() {
  blocks_.clear();
  totalLength_ = 0;
}

bool CheckPoint::AddCheckedBlock(void* data, uint32_t length, StateStorageType type) {
  StateStorage* storage = nullptr;
  switch (type) {
    case StateStorageType::kPrimary:
      storage = primaryStorage_;
      break;
    case StateStorageType::kSecondary:
      storage = secondaryStorage_;
      break;
  }
  if (storage == nullptr) return false;
  return AddCheckedBlock(std::make_unique<CheckedBlock>(data, length, storage));
}

bool CheckPoint::AddCheckedBlock(std::unique_ptr<CheckedBlock> block) {
  if (block == nullptr) return false;
  totalLength_ += block->GetLength();
  blocks_.push_back(std::move(block));
  return true;
}

bool CheckPoint::Save() const {
  for (const auto& block : blocks_) {
    if (!block->Save()) return false;
  }
  return true;
}

bool CheckPoint::Restore() const {
  for (const auto& block : blocks_) {
    if (!block->Restore()) return false;
  }
  return true;
}

}  // namespace tarn
