// Where checkpoints put their bytes: a sequence of entries addressed by position, each written
// and read as a whole.
#ifndef TARN_SOLVER_STATE_STORAGE_H
#define TARN_SOLVER_STATE_STORAGE_H

#include <cstdint>

namespace tarn {

class StateStorage {
 public:
  virtual ~StateStorage() = default;

  // Prepares the storage; false when it cannot be used.
  virtual bool Initialize() = 0;
  // Releases every entry; the storage is empty and at position 0 afterwards.
  virtual void Finalize() = 0;
  // The entry the next Write or Read uses.
  virtual uint32_t GetPosition() const = 0;
  virtual void SetPosition(uint32_t position) = 0;
  // Stores `length` bytes as the entry at the current position and moves to the next one.
  // Returns the number of bytes stored: `length`, or 0 on failure.
  virtual uint32_t Write(const void* data, uint32_t length) = 0;
  // Copies the entry at the current position, at most `length` bytes, to `data` and moves to the
  // next one. Returns the number of bytes copied; 0 when there is no entry at the position.
  virtual uint32_t Read(void* data, uint32_t length) = 0;
  // Keeps the first `count` entries and releases the others; false, changing nothing, when
  // there are no more than `count`.
  virtual bool Trim(uint32_t count) = 0;
};

}  // namespace tarn

#endif  // TARN_SOLVER_STATE_STORAGE_H
