// State storage in memory obtained from a memory manager.
#include "solver/state_storage_memory.h"

#include <algorithm>
#include <cassert>

#include "memory/memory.h"

namespace tarn {

StateStorageMemory::~StateStorageMemory() { Finalize(); }

bool StateStorageMemory::Initialize() {
  Finalize();
  manager_ = MemoryManager::CreateMemoryManager(managerKind_);
  if (manager_ == nullptr) return false;
  manager_->Initialize();
  return true;
}

void StateStorageMemory::Finalize() {
  // Entries go back through the manager that made them: deleting a heap-backed manager alone
  // would not release them.
  for (tMemBlockInfo& entry : blocks_) Release(entry);
  blocks_.clear();
  position_ = 0;
  manager_.reset();
}

uint32_t StateStorageMemory::Write(const void* data, uint32_t length) {
  assert(data != nullptr || length == 0);
  // A position past the last entry appends one.
  tMemBlockInfo* entry = nullptr;
  if (position_ < blocks_.size()) {
    entry = &blocks_[position_];
  } else {
    entry = &blocks_.emplace_back();
  }
  ++position_;
  return Store(*entry, data, length) ? length : 0;
}

uint32_t StateStorageMemory::Read(void* data, uint32_t length) {
  if (position_ >= blocks_.size()) return 0;
  const tMemBlockInfo& entry = blocks_[position_];
  ++position_;
  const uint32_t count = std::min(length, entry.length);
  Memory::MemCopy(data, entry.data, count);
  return count;
}

bool StateStorageMemory::Trim(uint32_t count) {
  if (count >= blocks_.size()) return false;
  for (auto entry = blocks_.begin() + count; entry != blocks_.end(); ++entry) Release(*entry);
  blocks_.resize(count);
  return true;
}

bool StateStorageMemory::Store(tMemBlockInfo& entry, const void* data, uint32_t length) {
  if (manager_ == nullptr) return false;
  if (entry.data == nullptr || entry.length != length) {
    Release(entry);
    entry.data = manager_->New(length, false);
    if (entry.data == nullptr && length != 0) return false;
    entry.length = length;
  }
  Memory::MemCopy(entry.data, data, length);
  return true;
}

void StateStorageMemory::Release(tMemBlockInfo& entry) {
  if (manager_ != nullptr) manager_->Free(entry.data);
  entry = tMemBlockInfo{};
}

}  // namespace tarn
