// The evaluation state of an instance, read from its solver's integrator.
#include "library/evaluation_state.h"

#include "integrators/integrator.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"

namespace tarn {

std::optional<EvaluationState> EvaluationStateOf(uint32_t instance) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record == nullptr || record->solver == nullptr) return std::nullopt;
  const Integrator* integrator = record->solver->GetIntegrator();
  if (integrator == nullptr || integrator->indVar == nullptr) return std::nullopt;
  return EvaluationState{instance, *integrator->indVar, integrator->initializing,
                         integrator->inAuxiliaryEvaluation};
}

}  // namespace tarn
