// Host functions for saved states.
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
  return Guarded(false, [&] { return TarnSimRuntime::GetInstance()->RestoreState(instance, *state); });
}

void TarnFreeState(TarnState* state) { delete state; }

}  // extern "C"
