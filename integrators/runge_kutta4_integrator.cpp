// Classical fourth-order Runge-Kutta step.
#include "integrators/runge_kutta4_integrator.h"

#include <array>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

constexpr int kStages = 4;

// Stage s + 1 is evaluated at y0 + c·k_s, t0 + c, with c = (numerator·h)/denominator.
struct StageOffset {
  double numerator;
  double denominator;
};
constexpr std::array<StageOffset, kStages - 1> kStageOffsets = {{{1, 2}, {1, 2}, {1, 1}}};
// y1 = y0 + (h/6)·(1·k1 + 2·k2 + 2·k3 + 1·k4), summed in stage order.
constexpr double kWeightDenominator = 6;
constexpr std::array<double, kStages> kWeights = {1, 2, 2, 1};

}  // namespace

RungeKutta4Integrator::RungeKutta4Integrator() {
  algorithm = IntegrationAlgorithm::AlgRungeKutta4;
  currentOrder = 4;
}

void RungeKutta4Integrator::Step() {
  namespace msg = integrator_messages;
  const double t0 = *indVar;
  const double h = stepSize;
  double* y0 = stageValues[1];
  double* sum = stageValues[2];

  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(msg::kStageEvaluations[0]);
  for (uint32_t i = 0; i < numStates; ++i) {
    y0[i] = states[i];
    sum[i] = kWeights[0] * derivatives[i];
  }

  for (int stage = 1; stage < kStages; ++stage) {
    // Move to the point of this stage along the previous stage's slope, then evaluate there.
    const StageOffset& offset = kStageOffsets[stage - 1];
    const double c = offset.numerator * h / offset.denominator;
    for (uint32_t i = 0; i < numStates; ++i) states[i] = y0[i] + c * derivatives[i];
    *indVar = t0 + c;

    CalculateAlgebraicStatesOrStop();
    CalculateDerivatives();
    TraceEvaluation(msg::kStageEvaluations[stage]);
    if (stage < kStages - 1) {
      for (uint32_t i = 0; i < numStates; ++i) sum[i] = sum[i] + kWeights[stage] * derivatives[i];
    }
  }

  const double weightScale = h / kWeightDenominator;
  for (uint32_t i = 0; i < numStates; ++i) {
    states[i] = y0[i] + weightScale * (sum[i] + kWeights[kStages - 1] * derivatives[i]);
  }
}

}  // namespace tarn
