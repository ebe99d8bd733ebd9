// Host functions for the library's lifecycle, instances, tolerances and section evaluation.
#include "api/guard.h"
#include "runtime/blas_threads.h"
#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "tarn/tarn.h"

using tarn::Guarded;
using tarn::StopBlasThreadsThisLibraryStarted;
using tarn::TarnSimRuntime;

namespace {

constexpr uint32_t kVersion = 0x00010000;
constexpr double kNoTolerance = -1.0;

}  // namespace

extern "C" {

uint32_t TarnGetVersion(void) { return kVersion; }

void TarnInitialize(void) {
  Guarded([] {
    // A run in progress ends first: its worker could neither find its forgotten instance nor be
    // stopped through it.
    TarnSimRuntime::GetInstance()->EndEveryRun();
    TarnSimRuntime::GetInstance()->TarnSimInitialize();
    TarnSimMain();
    StopBlasThreadsThisLibraryStarted();
  });
}

void TarnFinalize(void) {
  Guarded([] {
    TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
    runtime->EndEveryRun();
    runtime->TarnSimDeinitialize();
  });
}

uint32_t TarnCreate(void) {
  return Guarded(0u, [] { return TarnSimRuntime::GetInstance()->TarnSimCreateSystemInstance(); });
}

uint32_t TarnCreateIndependent(void) {
  return Guarded(0u,
                 [] { return TarnSimRuntime::GetInstance()->TarnSimCreateIndependentInstance(); });
}

void TarnDestroy(uint32_t instance) {
  Guarded([&] {
    TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
    // The worker of a run of this instance must not outlive its record.
    tarn::TarnSimExecutionManager& manager = runtime->ExecutionManagerOf(instance);
    if (manager.RunningInstance() == instance) manager.EndPreviousRun();
    runtime->TarnSimDestroySystemInstance(instance);
  });
}

void TarnSetRelativeError(uint32_t instance, uint32_t index, double value) {
  Guarded(
      [&] { TarnSimRuntime::GetInstance()->TarnSimSetRelativeErrorTol(instance, index, value); });
}

void TarnSetAbsoluteError(uint32_t instance, uint32_t index, double value) {
  Guarded(
      [&] { TarnSimRuntime::GetInstance()->TarnSimSetAbsoluteErrorTol(instance, index, value); });
}

double TarnGetRelativeError(uint32_t instance, uint32_t index) {
  const auto tolerances = TarnSimRuntime::GetInstance()->TolerancesOf(instance, index);
  return tolerances ? tolerances->relative : kNoTolerance;
}

double TarnGetAbsoluteError(uint32_t instance, uint32_t index) {
  const auto tolerances = TarnSimRuntime::GetInstance()->TolerancesOf(instance, index);
  return tolerances ? tolerances->absolute : kNoTolerance;
}

void TarnCalcDeriv(uint32_t instance, uint32_t section) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  TarnSimDerivativeFunction derivative = runtime->GetSystemInfo().derivative;
  if (derivative == nullptr || runtime->GetSystemInstance(instance) == nullptr) return;
  const bool continuousSection =
      section >= TARN_SECTION_DERIVATIVE && section < TARN_SECTION_DISCRETE;
  Guarded([&] {
    derivative(instance, continuousSection ? section : uint32_t{TARN_SECTION_DERIVATIVE});
  });
}

}  // extern "C"
