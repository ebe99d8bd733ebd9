// A small model driven through OdeSolver the way the runtime drives it: state arrays, a settings
// record bound to a struct of control symbols, and a derivative function that evaluates a chosen
// right-hand side for section 500 and logs every discrete section it is asked to run.
#ifndef TARN_TESTS_SOLVER_SOLVER_TEST_MODEL_H
#define TARN_TESTS_SOLVER_SOLVER_TEST_MODEL_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/control_block.h"
#include "solver/ode_solver.h"
#include "support/control_symbols.h"

namespace tarn::test {

// Right-hand sides: dy = f(t, y).
inline void Growth(double, const double* y, double* dy) { dy[0] = y[0]; }
inline void Decay(double, const double* y, double* dy) { dy[0] = -y[0]; }
inline void Oscillator(double, const double* y, double* dy) {
  dy[0] = y[1];
  dy[1] = -y[0];
}

class SolverTestModel : public ::testing::Test {
 protected:
  using RightHandSide = void (*)(double t, const double* y, double* dy);
  static constexpr uint32_t kInstance = 1;
  static constexpr uint32_t kDerivativeSection = 500;
  static constexpr uint32_t kMaxStates = 4;
  static constexpr uint32_t kDelayStates = 2;

  // One discrete section run by the solver.
  struct SectionRun {
    uint32_t instance;
    uint32_t section;
    double t;
  };

  void SetUp() override { current_ = this; }
  void TearDown() override {
    solver_.Finalize();
    current_ = nullptr;
  }

  // Run initialisation and model reset: binds the settings to `control`, initialises the solver
  // with `algorithm`, copies the control symbols in, and evaluates the model while the reset is in
  // progress (the runtime's and the reset operator's order).
  void Start(IntegrationAlgorithm algorithm, RightHandSide model, std::vector<double> initial) {
    rightHandSide_ = model;
    numStates_ = static_cast<uint32_t>(initial.size());
    std::copy(initial.begin(), initial.end(), initConds_.begin());
    t_ = control_.zzticg;
    BindSettings();
    ASSERT_TRUE(solver_.Initialize(algorithm, {.indVar = &t_,
                                               .numStates = numStates_,
                                               .states = states_.data(),
                                               .derivatives = derivatives_.data(),
                                               .initConds = initConds_.data(),
                                               .numDelayStates = kDelayStates,
                                               .delayStates = delayStates_.data(),
                                               .delayNextValues = delayNextValues_.data(),
                                               .delayInitConds = delayInitConds_.data(),
                                               .derivativeFunction = &Derivative}));
    solver_.commInterval = control_.cint;
    solver_.stepsPerCommInterval = static_cast<uint32_t>(control_.nstp);
    solver_.maxStepSize = control_.maxt;
    solver_.minStepSize = control_.mint;
    solver_.stepSize = control_.cint / control_.nstp;
    if (Integrator* integrator = solver_.GetIntegrator()) {
      integrator->settings.Copy(&solver_.settings);
      solver_.SetInitializationInProgress(true);
      solver_.SetDerivFuncArg1(kInstance);
      solver_.SetDerivFuncArg2(kDerivativeSection);
      integrator->CalculateDerivatives();
      solver_.CopyInitCondsToStates();
      integrator->CalculateDerivatives();
      solver_.SetInitializationInProgress(false);
    }
  }

  // One communication interval step as the runtime makes it.
  bool Interval() {
    solver_.commInterval = control_.cint;
    solver_.stepsPerCommInterval = static_cast<uint32_t>(control_.nstp);
    solver_.maxStepSize = control_.maxt;
    solver_.minStepSize = control_.mint;
    if (solver_.firstInterval) solver_.HandleIndependentVarEvents();
    solver_.SetDerivFuncArg1(kInstance);
    solver_.SetDerivFuncArg2(kDerivativeSection);
    return solver_.Step();
  }

  // The messages written so far, emptied.
  std::string TakeMessages() {
    std::string text;
    text.swap(solver_.messages);
    return text;
  }

  // Model data block.
  double t_ = 0;
  std::array<double, kMaxStates> states_{};
  std::array<double, kMaxStates> derivatives_{};
  std::array<double, kMaxStates> initConds_{};
  std::array<double, kDelayStates> delayStates_{};
  std::array<double, kDelayStates> delayNextValues_{};
  std::array<double, kDelayStates> delayInitConds_{};
  ControlSymbols control_;
  uint32_t numStates_ = 0;
  RightHandSide rightHandSide_ = nullptr;

  OdeSolver solver_;
  // Independent variable at every evaluation after a step: the end of each step.
  std::vector<double> stepEnds_;
  std::vector<SectionRun> sectionRuns_;
  // Run after the right-hand side in every derivative-section evaluation.
  std::function<void()> onDerivative_;
  // Run for every discrete section, after it was logged.
  std::function<void(uint32_t section)> onSection_;

 private:
  static void Derivative(uint32_t instance, uint32_t section) {
    SolverTestModel& model = *current_;
    if (section != kDerivativeSection) {
      model.sectionRuns_.push_back({instance, section, model.t_});
      if (model.onSection_) model.onSection_(section);
      return;
    }
    model.rightHandSide_(model.t_, model.states_.data(), model.derivatives_.data());
    if (model.solver_.GetIntegrator()->inPostStepEvaluation) model.stepEnds_.push_back(model.t_);
    if (model.onDerivative_) model.onDerivative_();
  }

  void BindSettings() {
    controlAddresses_ = ControlSymbolAddresses(&control_);
    tarn::BindSettings(solver_.settings, ControlBlock(controlAddresses_.data()));
  }

  // The address table of `control`, as the runtime's control block reads it.
  std::array<void*, 47> controlAddresses_{};
  static inline SolverTestModel* current_ = nullptr;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_SOLVER_SOLVER_TEST_MODEL_H
