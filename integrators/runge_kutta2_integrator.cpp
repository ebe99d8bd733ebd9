// Ralston's second-order Runge-Kutta step.
#include "integrators/runge_kutta2_integrator.h"

#include <array>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

// Ralston's tableau in integer form: the second stage lies at (2·h)/3 along k1, and
// y1 = y0 + (h/4)·(1·k1 + 3·k2).
constexpr double kStage2Numerator = 2;
constexpr double kStage2Denominator = 3;
constexpr double kWeightDenominator = 4;
constexpr std::array<double, 2> kWeights = {1, 3};

}  // namespace

RungeKutta2Integrator::RungeKutta2Integrator() {
  algorithm = IntegrationAlgorithm::AlgRungeKutta2;
  currentOrder = 2;
}

void RungeKutta2Integrator::Step() {
  namespace msg = integrator_messages;
  const double t0 = *indVar;
  const double h = stepSize;
  double* y0 = stageValues[1];
  double* k1 = stageValues[2];

  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(msg::kStageEvaluations[0]);

  const double stage2 = kStage2Numerator * h / kStage2Denominator;
  for (uint32_t i = 0; i < numStates; ++i) {
    y0[i] = states[i];
    k1[i] = derivatives[i];
    states[i] = y0[i] + stage2 * k1[i];
  }
  *indVar = t0 + stage2;

  CalculateAlgebraicStatesOrStop();
  CalculateDerivatives();
  TraceEvaluation(msg::kStageEvaluations[1]);

  const double weightScale = h / kWeightDenominator;
  for (uint32_t i = 0; i < numStates; ++i) {
    states[i] = y0[i] + weightScale * (kWeights[0] * k1[i] + kWeights[1] * derivatives[i]);
  }
  *indVar = t0 + h;
}

}  // namespace tarn
