// Step-size controlled step of an embedded Runge-Kutta-Fehlberg pair.
#include "integrators/runge_kutta_fehlberg_integrator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

constexpr double kGrowthLimit = 5;    // the proposal grows by at most this factor per step
constexpr double kShrinkFloor = 0.1;  // a failed attempt shrinks the step by at most this factor
// A relative error of exactly zero is taken as the smallest normal double, so that the growth
// factor stays finite (and reaches kGrowthLimit).
constexpr double kSmallestRelativeError = DBL_MIN;
// When every error estimate is zero no state limited the step; the count and the trace then name
// this state, or state 0 when the model has a single ODE state.
constexpr uint32_t kDefaultControllingState = 1;

double Fraction(const StepFraction& fraction, double h) {
  return fraction.numerator * h / fraction.denominator;
}

}  // namespace

RungeKuttaFehlbergIntegrator::RungeKuttaFehlbergIntegrator(IntegrationAlgorithm code, int32_t order,
                                                           const FehlbergPair& pair)
    : pair_(pair) {
  algorithm = code;
  currentOrder = order;
}

const double* RungeKuttaFehlbergIntegrator::StageDerivative(int32_t stage) const {
  return stage == pair_.stageCount ? derivatives : stageValues[stage + 1];
}

double RungeKuttaFehlbergIntegrator::Combine(const StageSum& sum, uint32_t i) const {
  double total = sum.terms[0].coefficient * StageDerivative(sum.terms[0].stage)[i];
  for (int32_t term = 1; term < sum.termCount; ++term) {
    total = total + sum.terms[term].coefficient * StageDerivative(sum.terms[term].stage)[i];
  }
  return total;
}

void RungeKuttaFehlbergIntegrator::MoveStates(const StageCombination& combination, double h) {
  const double* y0 = stageValues[1];
  const double scale = Fraction(combination.scale, h);
  for (uint32_t i = 0; i < numStates; ++i) states[i] = y0[i] + scale * Combine(combination.sum, i);
}

uint32_t RungeKuttaFehlbergIntegrator::ControllingState() const {
  // Ratios are compared cross-multiplied, e[i]·w[m] > w[i]·e[m], starting from the ratio 0/1.
  uint32_t m = numStates > kDefaultControllingState ? kDefaultControllingState : 0;
  double errorOfM = 0;
  double weightOfM = 1;
  for (uint32_t i = 0; i < numStates; ++i) {
    if (currentErrors[i] * weightOfM > maxErrors[i] * errorOfM) {
      m = i;
      errorOfM = currentErrors[i];
      weightOfM = maxErrors[i];
    }
  }
  return m;
}

void RungeKuttaFehlbergIntegrator::EvaluateStages(double t0, double h) {
  const uint32_t n = numStates;
  for (int32_t stage = 2; stage <= pair_.stageCount; ++stage) {
    // k(stage - 1) moves out of `derivatives` before the next evaluation overwrites it.
    if (stage > 2) std::copy(derivatives, derivatives + n, stageValues[stage]);
    const FehlbergStage& point = pair_.stages[stage - 2];
    MoveStates(point.increment, h);
    *indVar = t0 + Fraction(point.time, h);
    CalculateAlgebraicStatesOrStop();
    CalculateDerivatives();
    TraceEvaluation(integrator_messages::kStageEvaluations[stage - 1]);
  }
}

double RungeKuttaFehlbergIntegrator::EstimateError(double h, int32_t rejections, uint32_t& m) {
  const uint32_t n = numStates;
  double* e = currentErrors.data();
  const double* w = maxErrors.data();
  for (uint32_t i = 0; i < n; ++i) e[i] = std::fabs(Combine(pair_.error, i));
  m = ControllingState();
  if (rejections == 0 && n > 0) ++errorControlledCount[m];
  // A zero error passes whatever its weight (a zero weight would make it 0/0); a NaN error
  // fails.
  const double errorOfM = n > 0 ? e[m] : 0;
  const double q = errorOfM == 0
                       ? kSmallestRelativeError
                       : std::max(std::fabs(h) * errorOfM / (w[m] * pair_.errorDenominator),
                                  kSmallestRelativeError);

  if (writeNormalData) {
    for (uint32_t i = 0; i < n; ++i) e[i] = h * e[i] / (w[i] * pair_.errorDenominator);
    WriteFormattedMessage(integrator_messages::kEstimatedError, static_cast<long>(rejections));
    WriteCurrentErrors();
    WriteFormattedMessage(integrator_messages::kLargestRelativeError, static_cast<long>(m), q);
  }
  return q;
}

void RungeKuttaFehlbergIntegrator::Step() {
  namespace msg = integrator_messages;
  const uint32_t n = numStates;
  const double t0 = *indVar;
  double* y0 = stageValues[1];
  double* k1 = stageValues[2];

  UpdateMaxErrorVector(false);
  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  std::copy(states, states + n, y0);
  std::copy(derivatives, derivatives + n, k1);

  for (int32_t rejections = 0;; ++rejections) {
    const double h = stepSize;
    if (writeNormalData) {
      if (rejections == 0) WriteMessage(msg::kStageEvaluations[0]);
      WriteStates();
      WriteDerivatives();
    }

    EvaluateStages(t0, h);
    uint32_t m = 0;
    const double q = EstimateError(h, rejections, m);
    if (q <= 1) {
      MoveStates(pair_.solution, h);
      *indVar = t0 + h;
      double growth = pair_.acceptConstant / std::pow(q, pair_.exponent);
      if (growth <= 1) growth = 1;
      if (growth > kGrowthLimit) growth = kGrowthLimit;
      // After a failed attempt the reduced step stands as the proposal.
      if (rejections == 0) stepSize = h * growth;
      stepSizeChanged = growth != 1 || rejections != 0;
      return;
    }

    if (h <= minStepSize) {
      // Leave the model at the last accepted point rather than at a stage of a failed attempt.
      std::copy(y0, y0 + n, states);
      *indVar = t0;
      minStepViolated = true;
      settings.SetMinStepSizeViolation(true);
      CalculateDerivatives();
      settings.SetStopFlag(true);
      WriteFormattedMessage(integrator_messages::kCannotSatisfyErrorCriterion,
                            static_cast<long>(m));
      return;
    }
    // max() keeps the floor when the quotient is NaN.
    const double shrink =
        std::max(kShrinkFloor, pair_.rejectConstant / std::pow(q, pair_.exponent));
    stepSize = std::max(h * shrink, minStepSize);
  }
}

}  // namespace tarn
