// Explicit Euler step.
#include "integrators/euler_integrator.h"

#include "integrators/integrator_messages.h"

namespace tarn {

EulerIntegrator::EulerIntegrator() {
  algorithm = IntegrationAlgorithm::AlgEuler;
  currentOrder = 1;
}

void EulerIntegrator::Step() {
  const double t0 = *indVar;
  const double h = stepSize;
  const char* const startOfStep = integrator_messages::kStageEvaluations[0];

  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(startOfStep);

  for (uint32_t i = 0; i < numStates; ++i) states[i] = states[i] + h * derivatives[i];
  *indVar = t0 + h;

  CalculateAlgebraicStatesOrStop();
  CalculateDerivatives();
  TraceEvaluation(startOfStep);
}

}  // namespace tarn
