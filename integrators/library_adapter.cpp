// The shared part of the solver-library adapters: their bindings and restart check.
#include "integrators/library_adapter.h"

namespace tarn {

bool LibraryAdapter::Initialize(double* indVarIn, uint32_t numStatesIn, double* statesIn,
                                double* derivativesIn, double* initCondsIn, uint32_t numAlgStatesIn,
                                double* algStatesIn, double* residualsIn, double* algInitCondsIn,
                                TarnSimDerivativeFunction function) {
  if (!Integrator::Initialize(indVarIn, numStatesIn, statesIn, derivativesIn, initCondsIn,
                              numAlgStatesIn, algStatesIn, residualsIn, algInitCondsIn, function)) {
    return false;
  }
  lastStates.assign(numStates, 0.0);
  lastCallIncomplete = false;
  return true;
}

void LibraryAdapter::Finalize() {
  lastStates = {};
  Integrator::Finalize();
}

bool LibraryAdapter::RestartDue() {
  // A model the solver knows unchanged has no state changed from outside either.
  const bool restart = !modelUnchangedSinceLastStep && ConsumeRestart(lastStates);
  return restart || lastCallIncomplete;
}

}  // namespace tarn
