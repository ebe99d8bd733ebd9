// Host functions for saved states.
#include <cstring>
#include <vector>

#include "api/guard.h"
#include "runtime/runtime.h"
#include "runtime/saved_state.h"
#include "tarn/tarn.h"

using tarn::Guarded;
using tarn::TarnSimRuntime;

extern "C" {

TarnState* TarnSaveState(uint32_t instance) {
  return Guarded(static_cast<TarnState*>(nullptr),
                 [&] { return TarnSimRuntime::GetInstance()->SaveState(instance).release(); });
}

bool TarnRestoreState(uint32_t instance, const TarnState* state) {
  if (state == nullptr) return false;
  return Guarded(false,
                 [&] { return TarnSimRuntime::GetInstance()->RestoreState(instance, *state); });
}

void TarnFreeState(TarnState* state) { delete state; }

uint64_t TarnSerializeState(const TarnState* state, void* buffer, uint64_t capacity) {
  if (state == nullptr) return 0;
  return Guarded(uint64_t{0}, [&] {
    const std::vector<std::byte> bytes = tarn::StateToBytes(*state);
    if (buffer != nullptr && capacity >= bytes.size()) {
      std::memcpy(buffer, bytes.data(), bytes.size());
    }
    return static_cast<uint64_t>(bytes.size());
  });
}

TarnState* TarnDeserializeState(const void* bytes, uint64_t size) {
  if (bytes == nullptr) return nullptr;
  return Guarded(static_cast<TarnState*>(nullptr), [&] {
    return tarn::StateFromBytes(static_cast<const std::byte*>(bytes), size).release();
  });
}

}  // extern "C"
