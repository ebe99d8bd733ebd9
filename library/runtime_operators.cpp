// Operators through which model code reaches the runtime: run initialisation, termination,
// status messages and the debugger's tick.
#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "tarn/tarnsim_library.h"

namespace {

using tarn::Control;
using tarn::SystemInstance;
using tarn::TarnSimRuntime;

// Writes the model's text to the instance's status callbacks; a null text writes nothing.
void WriteModelText(uint32_t instance, const char* text) {
  if (text != nullptr) TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance, text);
}

}  // namespace

extern "C" {

void zznits(uint32_t instance, const char*) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  if (runtime->GetSystemInstance(instance) == nullptr) return;
  runtime->TarnSimInitializeSystemInstance(instance);
  runtime->TarnSimSetExecutionState(instance, TARN_STATE_INITIALIZED);
}

void zztrmt(uint32_t instance, const char* text) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record == nullptr) return;
  // Only the first termination request of a run is reported.
  if (record->control.Flag(Control::kZzstopflag) == 0) WriteModelText(instance, text);
  record->control.SetFlag(Control::kZzstopflag, 1);
}

void disstr(uint32_t instance, const char* text) { WriteModelText(instance, text); }

void wem(uint32_t instance, const char* text) { WriteModelText(instance, text); }

// Lets the run's "debug stopped" exception through: it unwinds the model back to the execution
// manager.
void zzdebugtick(void) { TarnSimRuntime::GetInstance()->GetExecutionManager().DebugTick(); }

}  // extern "C"
