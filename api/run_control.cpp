// Host functions that set run flags and drive the simulation.
#include "runtime/runtime.h"
#include "tarn/tarn.h"

using tarn::Control;
using tarn::TarnSimRuntime;

extern "C" {

void TarnStop(uint32_t instance) {
  if (tarn::SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance)) {
    record->control.SetFlag(Control::kZzstopflag, 1);
  }
}

}  // extern "C"
