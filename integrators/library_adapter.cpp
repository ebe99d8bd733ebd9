// The shared part of the solver-library adapters: their bindings and restart check.
#include "integrators/library_adapter.h"

#include <algorithm>

#include "integrators/integrator_messages.h"

namespace tarn {

bool LibraryAdapter::Initialize(const StateBindings& bindings) {
  if (!Integrator::Initialize(bindings)) return false;
  lastStates.assign(numStates, 0.0);
  lastCallIncomplete = false;
  postStepDerivatives_.assign(numStates, 0.0);
  postStepDerivativesKept_ = false;
  return true;
}

void LibraryAdapter::Finalize() {
  lastStates = {};
  postStepDerivatives_ = {};
  Integrator::Finalize();
}

void LibraryAdapter::CalculateDerivatives() {
  Integrator::CalculateDerivatives();
  if (!inPostStepEvaluation) return;
  std::copy(derivatives, derivatives + numStates, postStepDerivatives_.begin());
  postStepDerivativesKept_ = true;
}

bool LibraryAdapter::DerivativesChangedSinceLastStep() {
  if (modelUnchangedSinceLastStep) return false;
  // The derivatives the solver's evaluation after the last step left at this point: the kept
  // copy, or before the first step the derivatives of the run's initial evaluation.
  double* stepEndDerivatives = stageValues[0];
  if (postStepDerivativesKept_) {
    std::copy(postStepDerivatives_.begin(), postStepDerivatives_.end(), stepEndDerivatives);
  } else {
    std::copy(derivatives, derivatives + numStates, stepEndDerivatives);
  }
  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(integrator_messages::kStageEvaluations[0]);
  bool changed = false;
  for (uint32_t i = 0; i < numStates; ++i) {
    if (derivatives[i] != stepEndDerivatives[i]) changed = true;
  }
  return changed;
}

bool LibraryAdapter::RestartDue() {
  // A model the solver knows unchanged has no state changed from outside either.
  const bool restart = !modelUnchangedSinceLastStep && ConsumeRestart(lastStates);
  return restart || lastCallIncomplete;
}

}  // namespace tarn
