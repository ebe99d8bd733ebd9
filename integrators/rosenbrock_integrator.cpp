// Kaps-Rentrop Rosenbrock step with step-size control.
#include "integrators/rosenbrock_integrator.h"

#include <algorithm>
#include <cmath>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

// Kaps-Rentrop fourth-order Rosenbrock, Shampine's coefficients (ACM TOMS 8, 1982).
constexpr double kGamma = 0.5;
constexpr double kA21 = 2;
constexpr double kA31 = 1.92;
constexpr double kA32 = 0.24;
constexpr double kC21 = -8;
constexpr double kC31 = 14.88;
constexpr double kC32 = 2.4;
constexpr double kC41 = -0.896;
constexpr double kC42 = -0.432;
constexpr double kC43 = -0.4;
constexpr double kB1 = 19.0 / 9.0;
constexpr double kB2 = 0.5;
constexpr double kB3 = 25.0 / 108.0;
constexpr double kB4 = 125.0 / 108.0;
constexpr double kE1 = 17.0 / 54.0;
constexpr double kE2 = 7.0 / 36.0;
constexpr double kE3 = 0;
constexpr double kE4 = 125.0 / 108.0;
constexpr double kC1X = 0.5;
constexpr double kC2X = -1.5;
constexpr double kC3X = 2.42;
constexpr double kC4X = 0.116;
constexpr double kA2X = 1;
constexpr double kA3X = 0.6;

// Step-size control.
constexpr double kSafety = 0.9;
constexpr double kGrowExponent = -0.25;
constexpr double kShrinkExponent = -1.0 / 3.0;
// At or below this error the growth formula would exceed kGrowFactor: (kGrowFactor/kSafety)^-4.
constexpr double kGrowthLimitRatio = 0.1296;
constexpr double kGrowFactor = 1.5;
constexpr double kShrinkFloor = 0.5;  // a failed attempt at most halves the step
constexpr int kMaxAttempts = 40;

}  // namespace

RosenbrockIntegrator::RosenbrockIntegrator() {
  algorithm = IntegrationAlgorithm::AlgRosenbrock;
  currentOrder = 0;
}

bool RosenbrockIntegrator::Initialize(const StateBindings& bindings) {
  if (!Integrator::Initialize(bindings)) return false;
  const uint32_t n = numStates;
  for (std::vector<double>* work : {&savedStates, &savedDerivatives, &timeDerivatives,
                                    &conditionWork, &g1, &g2, &g3, &g4, &stepError}) {
    work->assign(n, 0.0);
  }
  stateJacobian.Allocate(n, n);
  iterationMatrix.Allocate(n, n);
  pivots.assign(n, 0);
  return true;
}

void RosenbrockIntegrator::Finalize() {
  for (std::vector<double>* work : {&savedStates, &savedDerivatives, &timeDerivatives,
                                    &conditionWork, &g1, &g2, &g3, &g4, &stepError}) {
    *work = {};
  }
  stateJacobian.Release();
  iterationMatrix.Release();
  pivots = {};
  Integrator::Finalize();
}

void RosenbrockIntegrator::Attempt(double t0, double h) {
  const uint32_t n = numStates;
  const int order = static_cast<int>(n);
  const double* f = derivatives;
  const double* dfdt = timeDerivatives.data();
  auto solve = [&](std::vector<double>& rhs) {
    Linpack::GaussSolve(iterationMatrix.data(), order, order, pivots.data(), rhs.data(), 0);
  };

  const double diagonal = 1 / (kGamma * h);
  for (uint32_t i = 0; i < n; ++i) {
    double* row = iterationMatrix[i];
    for (uint32_t j = 0; j < n; ++j) row[j] = -stateJacobian[j][i];
    row[i] += diagonal;
  }
  // A singular matrix is not detected here: its zero pivot makes the increments non-finite,
  // which the error test of Step rejects.
  double rcond = 0;
  Linpack::GaussCond(iterationMatrix.data(), order, order, pivots.data(), rcond,
                     conditionWork.data());

  for (uint32_t i = 0; i < n; ++i) g1[i] = savedDerivatives[i] + kC1X * h * dfdt[i];
  solve(g1);

  for (uint32_t i = 0; i < n; ++i) states[i] = savedStates[i] + kA21 * g1[i];
  *indVar = t0 + kA2X * h;
  CalculateAlgebraicStatesOrStop();
  CalculateDerivatives();
  for (uint32_t i = 0; i < n; ++i) g2[i] = f[i] + kC21 * g1[i] / h + kC2X * h * dfdt[i];
  solve(g2);

  for (uint32_t i = 0; i < n; ++i) states[i] = savedStates[i] + kA31 * g1[i] + kA32 * g2[i];
  *indVar = t0 + kA3X * h;
  CalculateAlgebraicStatesOrStop();
  CalculateDerivatives();
  for (uint32_t i = 0; i < n; ++i) {
    g3[i] = f[i] + (kC31 * g1[i] + kC32 * g2[i]) / h + kC3X * h * dfdt[i];
  }
  solve(g3);
  for (uint32_t i = 0; i < n; ++i) {
    g4[i] = f[i] + (kC41 * g1[i] + kC42 * g2[i] + kC43 * g3[i]) / h + kC4X * h * dfdt[i];
  }
  solve(g4);

  for (uint32_t i = 0; i < n; ++i) {
    states[i] = savedStates[i] + kB1 * g1[i] + kB2 * g2[i] + kB3 * g3[i] + kB4 * g4[i];
    stepError[i] = kE1 * g1[i] + kE2 * g2[i] + kE3 * g3[i] + kE4 * g4[i];
  }
  *indVar = t0 + h;
  if (*indVar == t0) WriteMessage(integrator_messages::kStepNotSignificant);
}

void RosenbrockIntegrator::Step() {
  const uint32_t n = numStates;
  const double t0 = *indVar;
  const double stepAtEntry = stepSize;
  double h = stepAtEntry;

  // The step starts from a fresh evaluation: an event's discrete section or the host may have
  // changed the model since the solver's evaluation after the last step, and this is the
  // evaluation whose zero-crossing values a state event compares with those at the step's end.
  CalculateAlgebraicStatesOrStop();
  CalculateAuxiliaryDerivatives();
  UpdateMaxErrorVector(true);
  std::copy(states, states + n, savedStates.begin());
  std::copy(derivatives, derivatives + n, savedDerivatives.begin());
  CalculateJacobian(JacobianType::OdeStateJacobian, stateJacobian.data());
  CalculateSecondDerivatives(timeDerivatives.data());

  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (settings.GetStopFlag()) break;
    Attempt(t0, h);

    // A non-finite estimate (a singular iteration matrix at this h) fails the attempt, which
    // retries with half the step. A zero error over a zero weight compares false and counts as
    // no error.
    double errmax = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const double ratio =
          std::isfinite(stepError[i]) ? std::fabs(stepError[i] / maxErrors[i]) : HUGE_VAL;
      errmax = std::max(errmax, ratio);
    }

    if (errmax <= 1) {
      const double next = errmax > kGrowthLimitRatio ? kSafety * h * std::pow(errmax, kGrowExponent)
                                                     : kGrowFactor * h;
      stepSize = next;
      stepSizeChanged = next != stepAtEntry;
      return;
    }
    const double retry = kSafety * h * std::pow(errmax, kShrinkExponent);
    stepSize = retry;
    h = h >= 0 ? std::max(retry, kShrinkFloor * h) : std::min(retry, kShrinkFloor * h);
  }

  // Leave the model at the last accepted point rather than at a rejected solution.
  std::copy(savedStates.begin(), savedStates.end(), states);
  std::copy(savedDerivatives.begin(), savedDerivatives.end(), derivatives);
  *indVar = t0;
  WriteMessage(integrator_messages::kTooManyAttempts);
  settings.SetStopFlag(true);
}

}  // namespace tarn
