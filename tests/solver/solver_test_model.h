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
    solver.Finalize();
    current_ = nullptr;
  }

  // Run initialisation and model reset: binds the settings to `control`, initialises the solver
  // with `algorithm`, copies the control symbols in, and evaluates the model while the reset is in
  // progress (the runtime's and the reset operator's order).
  void Start(IntegrationAlgorithm algorithm, RightHandSide model, std::vector<double> initial) {
    rightHandSide = model;
    numStates = static_cast<uint32_t>(initial.size());
    std::copy(initial.begin(), initial.end(), initConds.begin());
    t = control.zzticg;
    BindSettings();
    ASSERT_TRUE(solver.Initialize(algorithm, {.indVar = &t,
                                              .numStates = numStates,
                                              .states = states.data(),
                                              .derivatives = derivatives.data(),
                                              .initConds = initConds.data(),
                                              .numDelayStates = kDelayStates,
                                              .delayStates = delayStates.data(),
                                              .delayNextValues = delayNextValues.data(),
                                              .delayInitConds = delayInitConds.data(),
                                              .derivativeFunction = &Derivative}));
    solver.commInterval = control.cint;
    solver.stepsPerCommInterval = static_cast<uint32_t>(control.nstp);
    solver.maxStepSize = control.maxt;
    solver.minStepSize = control.mint;
    solver.stepSize = control.cint / control.nstp;
    if (Integrator* integrator = solver.GetIntegrator()) {
      integrator->settings.Copy(&solver.settings);
      solver.SetInitializationInProgress(true);
      solver.SetDerivFuncArg1(kInstance);
      solver.SetDerivFuncArg2(kDerivativeSection);
      integrator->CalculateDerivatives();
      solver.CopyInitCondsToStates();
      integrator->CalculateDerivatives();
      solver.SetInitializationInProgress(false);
    }
  }

  // One communication interval step as the runtime makes it.
  bool Interval() {
    solver.commInterval = control.cint;
    solver.stepsPerCommInterval = static_cast<uint32_t>(control.nstp);
    solver.maxStepSize = control.maxt;
    solver.minStepSize = control.mint;
    if (solver.firstInterval) solver.HandleIndependentVarEvents();
    solver.SetDerivFuncArg1(kInstance);
    solver.SetDerivFuncArg2(kDerivativeSection);
    return solver.Step();
  }

  // The messages written so far, emptied.
  std::string TakeMessages() {
    std::string text;
    text.swap(solver.messages);
    return text;
  }

  // Model data block.
  double t = 0;
  std::array<double, kMaxStates> states{};
  std::array<double, kMaxStates> derivatives{};
  std::array<double, kMaxStates> initConds{};
  std::array<double, kDelayStates> delayStates{};
  std::array<double, kDelayStates> delayNextValues{};
  std::array<double, kDelayStates> delayInitConds{};
  ControlSymbols control;
  uint32_t numStates = 0;
  RightHandSide rightHandSide = nullptr;

  OdeSolver solver;
  // Independent variable at every evaluation after a step: the end of each step.
  std::vector<double> stepEnds;
  std::vector<SectionRun> sectionRuns;
  // Run after the right-hand side in every derivative-section evaluation.
  std::function<void()> onDerivative;
  // Run for every discrete section, after it was logged.
  std::function<void(uint32_t section)> onSection;

 private:
  static void Derivative(uint32_t instance, uint32_t section) {
    SolverTestModel& model = *current_;
    if (section != kDerivativeSection) {
      model.sectionRuns.push_back({instance, section, model.t});
      if (model.onSection) model.onSection(section);
      return;
    }
    model.rightHandSide(model.t, model.states.data(), model.derivatives.data());
    if (model.solver.GetIntegrator()->inPostStepEvaluation) model.stepEnds.push_back(model.t);
    if (model.onDerivative) model.onDerivative();
  }

  void BindSettings() {
    controlAddresses_ = ControlSymbolAddresses(&control);
    tarn::BindSettings(solver.settings, ControlBlock(controlAddresses_.data()));
  }

  // The address table of `control`, as the runtime's control block reads it.
  std::array<void*, 47> controlAddresses_{};
  static inline SolverTestModel* current_ = nullptr;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_SOLVER_SOLVER_TEST_MODEL_H
