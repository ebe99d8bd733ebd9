// A small model driven through OdeSolver the way the runtime drives it, for the integrators that
// hand their steps to a solver library: state arrays, the solver's own settings record shared
// with its integrator, a derivative function of (instance, section) that evaluates a chosen
// right-hand side and counts its evaluations, and communication intervals of one step each.
#ifndef TARN_TESTS_INTEGRATORS_ADAPTER_RUN_H
#define TARN_TESTS_INTEGRATORS_ADAPTER_RUN_H

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "solver/ode_solver.h"

namespace tarn::test {

// Right-hand sides dy = f(t, y).
inline void Decay(double, const double* y, double* dy) { dy[0] = -y[0]; }

// Robertson's chemical kinetics (H. H. Robertson, 1966): a stiff system of three species.
inline void Robertson(double, const double* y, double* dy) {
  dy[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
  dy[2] = 3e7 * y[1] * y[1];
  dy[1] = -dy[0] - dy[2];
}

// Van der Pol's oscillator in its stiff scaling with mu = 1e-6 (E. Hairer, G. Wanner, Solving
// Ordinary Differential Equations II, 1996).
inline void VanDerPol(double, const double* y, double* dy) {
  constexpr double kMu = 1e-6;
  dy[0] = y[1];
  dy[1] = ((1 - y[0] * y[0]) * y[1] - y[0]) / kMu;
}

// A harmonic oscillator of angular frequency 1e4.
inline void FastOscillator(double, const double* y, double* dy) {
  dy[0] = 1e4 * y[1];
  dy[1] = -1e4 * y[0];
}

class AdapterRun {
 public:
  using RightHandSide = void (*)(double t, const double* y, double* dy);
  static constexpr uint32_t kMaxStates = 3;

  // Initialises the solver for `algorithm` over the states `initial` with the communication
  // interval `commInterval` handed to the integrator in `stepsPerInterval` steps, sets every
  // state's error bounds, then evaluates the model at the initial point as the model's reset does.
  AdapterRun(IntegrationAlgorithm algorithm, RightHandSide model, std::vector<double> initial,
             double commInterval, double absolute, double relative, int32_t stepsPerInterval = 1)
      : rightHandSide_(model), numStates_(static_cast<uint32_t>(initial.size())) {
    current_ = this;
    std::copy(initial.begin(), initial.end(), initConds_.begin());
    EXPECT_TRUE(solver.Initialize(algorithm, {.indVar = &t,
                                              .numStates = numStates_,
                                              .states = y.data(),
                                              .derivatives = dy.data(),
                                              .initConds = initConds_.data(),
                                              .derivativeFunction = &Derivative}));
    Integrator& integrator = Adapter();
    integrator.settings.Copy(&solver.settings);
    solver.commInterval = commInterval;
    solver.stepsPerCommInterval = stepsPerInterval;
    solver.stepSize = commInterval / stepsPerInterval;
    for (uint32_t i = 0; i < numStates_; ++i) {
      integrator.SetMaxAbsoluteError(i, absolute);
      integrator.SetMaxRelativeError(i, relative);
    }
    solver.SetInitializationInProgress(true);
    solver.SetDerivFuncArg1(kInstance);
    solver.SetDerivFuncArg2(kDerivativeSection);
    integrator.CalculateDerivatives();
    solver.CopyInitCondsToStates();
    integrator.CalculateDerivatives();
    solver.SetInitializationInProgress(false);
    evaluations = 0;
  }

  ~AdapterRun() {
    solver.Finalize();
    current_ = nullptr;
  }

  AdapterRun(const AdapterRun&) = delete;
  AdapterRun& operator=(const AdapterRun&) = delete;

  // Communication intervals until t reaches `end`; false when an interval failed or raised the
  // stop flag.
  bool RunTo(double end) {
    while (end - t > 1e-12 * std::max(1.0, end)) {
      solver.SetDerivFuncArg1(kInstance);
      solver.SetDerivFuncArg2(kDerivativeSection);
      if (!solver.Step() || Settings().GetStopFlag()) return false;
    }
    return true;
  }

  Integrator& Adapter() { return *solver.GetIntegrator(); }
  // Shared by the solver and the integrator.
  IntegratorSettings& Settings() { return solver.settings; }
  // The solver's and the integrator's messages, emptied.
  std::string TakeMessages() {
    std::string text = solver.messages + Adapter().messages;
    solver.messages.clear();
    Adapter().messages.clear();
    return text;
  }

  double t = 0;
  std::array<double, kMaxStates> y{};   // states
  std::array<double, kMaxStates> dy{};  // their derivatives
  OdeSolver solver;
  // Evaluations of the derivative section since the reset.
  int64_t evaluations = 0;
  // Run after the right-hand side in every evaluation.
  std::function<void()> onEvaluation;
  // Runs the discrete section `section` of a serviced event.
  std::function<void(uint32_t section)> onSection;

 private:
  static constexpr uint32_t kInstance = 1;
  static constexpr uint32_t kDerivativeSection = 500;

  static void Derivative(uint32_t, uint32_t section) {
    AdapterRun& run = *current_;
    if (section != kDerivativeSection) {
      if (run.onSection) run.onSection(section);
      return;
    }
    ++run.evaluations;
    run.rightHandSide_(run.t, run.y.data(), run.dy.data());
    if (run.onEvaluation) run.onEvaluation();
  }

  RightHandSide rightHandSide_;
  uint32_t numStates_;
  std::array<double, kMaxStates> initConds_{};

  static inline AdapterRun* current_ = nullptr;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_INTEGRATORS_ADAPTER_RUN_H
