// Two-step Adams-Bashforth step with restart detection.
#include "integrators/adams_bashforth2_integrator.h"

#include <algorithm>
#include <array>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

// y1 = y0 + (h/2)·(3·f0 + (-1)·f-1).
constexpr double kWeightDenominator = 2;
constexpr std::array<double, 2> kWeights = {3, -1};

}  // namespace

AdamsBashforth2Integrator::AdamsBashforth2Integrator() {
  algorithm = IntegrationAlgorithm::AlgAdamsBashforth2;
  currentOrder = 2;
}

bool AdamsBashforth2Integrator::Initialize(const StateBindings& bindings) {
  if (!Integrator::Initialize(bindings)) return false;
  lastStates.assign(numStates, 0.0);
  lastDerivatives.assign(numStates, 0.0);
  firstStep = true;
  return true;
}

void AdamsBashforth2Integrator::Finalize() {
  lastStates = {};
  lastDerivatives = {};
  Integrator::Finalize();
}

std::vector<double> AdamsBashforth2Integrator::SaveHistory() const {
  std::vector<double> history{firstStep ? 1.0 : 0.0};
  history.insert(history.end(), lastStates.begin(), lastStates.end());
  history.insert(history.end(), lastDerivatives.begin(), lastDerivatives.end());
  return history;
}

void AdamsBashforth2Integrator::RestoreHistory(const std::vector<double>& history) {
  if (history.size() != 1 + 2 * static_cast<std::size_t>(numStates)) return;
  firstStep = history[0] != 0;
  const auto statesEnd = history.begin() + 1 + numStates;
  std::copy(history.begin() + 1, statesEnd, lastStates.begin());
  std::copy(statesEnd, history.end(), lastDerivatives.begin());
}

void AdamsBashforth2Integrator::Step() {
  const double t0 = *indVar;
  const double h = stepSize;

  // A state that differs from what the last step left was changed from outside (host, event,
  // reset): the history no longer belongs to this trajectory.
  const bool restart = ConsumeRestart(lastStates);

  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  TraceEvaluation(integrator_messages::kStageEvaluations[0]);

  if (firstStep || restart) {
    for (uint32_t i = 0; i < numStates; ++i) states[i] = states[i] + h * derivatives[i];
    firstStep = false;
  } else {
    const double weightScale = h / kWeightDenominator;
    for (uint32_t i = 0; i < numStates; ++i) {
      states[i] = states[i] +
                  weightScale * (kWeights[0] * derivatives[i] + kWeights[1] * lastDerivatives[i]);
    }
  }
  *indVar = t0 + h;

  std::copy(states, states + numStates, lastStates.begin());
  std::copy(derivatives, derivatives + numStates, lastDerivatives.begin());
}

}  // namespace tarn
