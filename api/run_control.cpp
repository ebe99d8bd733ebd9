// Host functions that set run flags and drive the simulation through the execution manager.
#include <algorithm>
#include <cmath>

#include "api/guard.h"
#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "tarn/tarn.h"

using tarn::Control;
using tarn::Guarded;
using tarn::SystemInstance;
using tarn::TarnSimExecutionManager;
using tarn::TarnSimRuntime;

namespace {

TarnSimRuntime& Runtime() { return *TarnSimRuntime::GetInstance(); }
// The manager that runs `instance`: its own for an independent instance, else the shared one.
TarnSimExecutionManager& Manager(uint32_t instance) {
  return Runtime().ExecutionManagerOf(instance);
}

// Flags of a run that resumes from the present state; the model then skips its initial section.
void PrepareContinue(uint32_t instance) {
  SystemInstance* record = Runtime().GetSystemInstance(instance);
  record->control.SetFlag(Control::kZzstopflag, 0);
  record->control.SetFlag(Control::kZzicon, 1);
  record->control.SetFlag(Control::kZzstepstop, 0);
  Runtime().TarnSimSetExecutionState(instance, TARN_STATE_CONTINUE_REQUESTED);
}

// A fresh run: any earlier worker is ended before the flags of the new run are set.
void StartFresh(uint32_t instance, bool blocking) {
  Manager(instance).EndPreviousRun();
  Runtime().TarnSimReset(instance);
  if (blocking) {
    Manager(instance).StartBlocking();
  } else {
    Manager(instance).Start();
  }
}

void Continue(uint32_t instance, bool blocking) {
  if (Runtime().GetSystemInstance(instance) == nullptr) return;
  Manager(instance).EndPreviousRun();
  PrepareContinue(instance);
  if (blocking) {
    Manager(instance).StartBlocking();
  } else {
    Manager(instance).Start();
  }
}

}  // namespace

extern "C" {

void TarnStart(uint32_t instance) {
  Guarded([&] { StartFresh(instance, /*blocking=*/false); });
}

void TarnStartBlocking(uint32_t instance) {
  Guarded([&] { StartFresh(instance, /*blocking=*/true); });
}

void TarnContinue(uint32_t instance) {
  Guarded([&] { Continue(instance, /*blocking=*/false); });
}

void TarnContinueBlocking(uint32_t instance) {
  Guarded([&] { Continue(instance, /*blocking=*/true); });
}

void TarnStop(uint32_t instance) {
  if (SystemInstance* record = Runtime().GetSystemInstance(instance)) {
    record->control.SetFlag(Control::kZzstopflag, 1);
    if (Manager(instance).RunningInstance() == instance) Manager(instance).RequestStop();
  }
}

void TarnPreStep(uint32_t instance) {
  Guarded([&] {
    SystemInstance* record = Runtime().GetSystemInstance(instance);
    if (record == nullptr) return;
    Manager(instance).EndPreviousRun();
    Runtime().TarnSimReset(instance);
    record->preStepPending = true;
    Manager(instance).StartBlocking();
  });
}

void TarnStep(uint32_t instance) {
  Guarded([&] {
    SystemInstance* record = Runtime().GetSystemInstance(instance);
    if (record == nullptr) return;
    record->stepPending = true;
    Continue(instance, /*blocking=*/true);
  });
}

void TarnReinitialize(uint32_t instance) {
  SystemInstance* record = Runtime().GetSystemInstance(instance);
  if (record == nullptr) return;
  double* initialTime = record->control.Double(Control::kZzticg);
  const double* t = record->IndependentVariable();
  if (initialTime != nullptr && t != nullptr) *initialTime = *t;
  if (record->solver) {
    record->solver->CopyStatesToInitConds();
    record->solver->KeepInitCondsForNextReset();
  }
}

void TarnRunToTime(uint32_t instance, double target) {
  Guarded([&] {
    SystemInstance* record = Runtime().GetSystemInstance(instance);
    if (record == nullptr || !record->solver || !record->control.IsBound()) return;
    double* cint = record->control.Double(Control::kCint);
    const double* t = record->IndependentVariable();
    if (cint == nullptr || t == nullptr || std::isnan(target)) return;
    for (;;) {
      const double now = *t;
      const double remaining = target - now;
      const double kept = *cint;
      // Ends within a relative 2e-15 of the target, or when a stop was requested.
      const double tolerance = 2e-15 * std::max(std::fabs(now), kept);
      if (remaining <= tolerance) break;
      if (record->control.Flag(Control::kZzstopflag) == 1) break;
      // An interval shortened to end on the target restarts the method. A target that the next
      // communication point reaches within the tolerance (one that is a communication point but
      // for rounding) takes the interval as it is, so that the method goes on as in a stepped run.
      // The restart never enlarges the step: a method that does not adapt its step (the
      // Adams-Bashforth method) would keep the whole remaining interval as its step afterwards.
      if (kept - remaining > tolerance) {
        *cint = remaining;
        record->solver->Restart(std::min(remaining, record->solver->stepSize));
      }
      record->stepPending = true;
      Continue(instance, /*blocking=*/true);
      *cint = kept;
      // An interval that did not move the clock (a failed step) would repeat forever.
      if (*t == now) break;
    }
  });
}

void TarnStepIncr(uint32_t instance, double increment) {
  SystemInstance* record = Runtime().GetSystemInstance(instance);
  if (record == nullptr || !(increment > 0)) return;
  if (const double* t = record->IndependentVariable()) TarnRunToTime(instance, *t + increment);
}

void TarnSetDataBlock(uint32_t instance, uint32_t flag, uint32_t, uint32_t, uint32_t count,
                      double** times) {
  Guarded([&] {
    SystemInstance* record = Runtime().GetSystemInstance(instance);
    if (record == nullptr || !record->solver) return;
    if (flag == 0) {
      record->solver->ClearSyncPoints();
    } else if (times != nullptr && *times != nullptr) {
      record->solver->AddSyncPoints(static_cast<int32_t>(count), *times);
    }
  });
}

// ---- Debugger ----------------------------------------------------------------------------------

void TarnDebugStart(uint32_t instance) {
  Guarded([&] {
    Manager(instance).EndPreviousRun();
    Runtime().TarnSimReset(instance);
    Manager(instance).DebugStart();
  });
}

void TarnDebugStep(uint32_t instance) { Manager(instance).DebugStep(); }
void TarnDebugStop(uint32_t instance) { Manager(instance).DebugStop(); }
void TarnDebugBreak(uint32_t instance) { Manager(instance).DebugBreak(); }
void TarnDebugContinue(uint32_t instance) { Manager(instance).DebugContinue(); }
void TarnDebugSuspend(uint32_t instance) { Manager(instance).DebugSuspend(); }
void TarnDebugResume(uint32_t instance) { Manager(instance).DebugResume(); }

void TarnDebugAddBreakpoint(uint32_t instance, uint32_t line, const char* fileName,
                            const char* blockName) {
  Guarded([&] { Manager(instance).DebugAddBreakpoint(line, fileName, blockName); });
}

void TarnDebugRemoveBreakpoint(uint32_t instance, uint32_t line, const char* fileName,
                               const char* blockName) {
  Manager(instance).DebugRemoveBreakpoint(line, fileName, blockName);
}

void TarnDebugClearAllBreakpoints(uint32_t instance) {
  Manager(instance).DebugClearAllBreakpoints();
}

}  // extern "C"
