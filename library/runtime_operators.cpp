// Operators through which model code reaches the runtime: run initialisation, the reset that
// closes the initial section, termination, restart, status messages and the debugger's tick.
#include "integrators/integrator.h"
#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "tarn/tarnsim_library.h"

namespace {

using tarn::Control;
using tarn::Integrator;
using tarn::OdeSolver;
using tarn::SystemInstance;
using tarn::TarnSimRuntime;

// Writes the model's text to the instance's status callbacks; a null text writes nothing.
void WriteModelText(uint32_t instance, const char* text) {
  if (text != nullptr) TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance, text);
}

// Marks the solver's initialisation as in progress for its lifetime. Clearing the mark also when
// a reset evaluation throws keeps a failed run from leaving the next run's initial section in
// initialisation mode, where the solver drops every event the model schedules.
class InitializationScope {
 public:
  explicit InitializationScope(OdeSolver& solver) : solver_(solver) {
    solver_.SetInitializationInProgress(true);
  }
  ~InitializationScope() { solver_.SetInitializationInProgress(false); }
  InitializationScope(const InitializationScope&) = delete;
  InitializationScope& operator=(const InitializationScope&) = delete;

 private:
  OdeSolver& solver_;
};

// The reset evaluations of zzrset: derivatives in initialisation mode, zzstopflag cleared, the
// initial conditions (those kept by a reinitialisation, if any) copied into the states, then the
// step-start evaluation at the initial point and the algebraic states.
void ResetModel(uint32_t instance, SystemInstance& record, OdeSolver& solver) {
  const InitializationScope initialization(solver);
  solver.SetDerivFuncArg1(instance);
  solver.SetDerivFuncArg2(TARN_SECTION_DERIVATIVE);
  Integrator* integrator = solver.GetIntegrator();
  if (integrator != nullptr) integrator->CalculateDerivatives();
  record.control.SetFlag(Control::kZzstopflag, 0);
  solver.RestoreKeptInitConds();
  solver.CopyInitCondsToStates();
  if (integrator == nullptr) return;
  solver.SetDerivFuncArg2(TARN_SECTION_DERIVATIVE);
  integrator->CalculateAuxiliaryDerivatives();
  // A failure leaves its message in the integrator's buffer; the solver stops the run when the
  // algebraic states still fail after the first step.
  if (integrator->numAlgStates != 0) integrator->CalculateAlgebraicStates();
}

}  // namespace

extern "C" {

void zznits(uint32_t instance, const char*) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  if (runtime->GetSystemInstance(instance) == nullptr) return;
  runtime->TarnSimInitializeSystemInstance(instance);
  runtime->TarnSimSetExecutionState(instance, TARN_STATE_INITIALIZED);
}

void zzrset(uint32_t instance) {
  SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record == nullptr || record->solver == nullptr) return;
  ResetModel(instance, *record, *record->solver);
  // A pre-step run ends before its first communication interval.
  if (record->preStepPending) {
    record->control.SetFlag(Control::kZzstepstop, 1);
    record->preStepPending = false;
  }
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

void zzrstart(uint32_t instance, double time) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record != nullptr && record->solver != nullptr) record->solver->Restart(time);
}

// Lets the run's "debug stopped" exception through: it unwinds the model back to the execution
// manager.
void zzdebugtick(void) { TarnSimRuntime::GetInstance()->GetExecutionManager().DebugTick(); }

}  // extern "C"
