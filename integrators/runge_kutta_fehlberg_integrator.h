// RungeKuttaFehlbergIntegrator: the step-size controlled frame shared by the embedded
// Runge-Kutta-Fehlberg pairs, and the data that describes one pair.
#ifndef TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG_INTEGRATOR_H
#define TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG_INTEGRATOR_H

#include <array>
#include <cstdint>

#include "integrators/integrator.h"

namespace tarn {

// The value numerator·h/denominator, formed in that order.
struct StepFraction {
  double numerator;
  double denominator;
};

// coefficient·k_stage; stages count from 1, k1 being the derivative at the start of the step.
struct StageTerm {
  int32_t stage;
  double coefficient;
};

// An integer combination of stage derivatives, summed term by term in the order given.
struct StageSum {
  static constexpr int32_t kMaxTerms = 5;
  int32_t termCount;
  std::array<StageTerm, kMaxTerms> terms;
};

// scale·(sum), the scale a fraction of h.
struct StageCombination {
  StepFraction scale;
  StageSum sum;
};

// One stage after the first: the derivative evaluated at t0 + time, y0 + increment.
struct FehlbergStage {
  StepFraction time;
  StageCombination increment;
};

// An embedded explicit pair: its stages, the error combination (the higher- minus lower-order
// solution times errorDenominator/h, up to sign), the accepted higher-order solution and the
// constants of its step-size control.
struct FehlbergPair {
  static constexpr int32_t kMaxStages = 6;
  int32_t stageCount;                                // including k1
  std::array<FehlbergStage, kMaxStages - 1> stages;  // k2 .. k(stageCount)
  StageSum error;                                    // e = |sum|
  StageCombination solution;                         // y = y0 + solution
  double errorDenominator;                           // q = |h|·e / (weight·errorDenominator)
  double exponent;                                   // step factors scale with q^-exponent
  double acceptConstant;                             // growth factor acceptConstant / q^exponent
  double rejectConstant;                             // shrink factor rejectConstant / q^exponent
};

// Base of the Fehlberg integrators. Step advances with the higher-order solution of the pair
// and controls the step with the error estimate of the pair, per state relative to the weights
// max(maxAbsErrors, |y0|·maxRelErrors). An attempt with relative error q <= 1 is taken; the
// proposal for the next step grows by the pair's factor, at most 5 and only when the first
// attempt passed. A failed attempt shrinks the step, by at most a factor 10 and never below
// minStepSize; failing at minStepSize stops the run.
//
// Work vectors: stageValues[1] holds y0, stageValues[2] k1 and stageValues[s + 1] k(s) up to the
// second last stage; the last stage's derivative stays in `derivatives`.
class RungeKuttaFehlbergIntegrator : public Integrator {
 public:
  ~RungeKuttaFehlbergIntegrator() override = default;

  // One accepted step from t0 = *indVar with h = stepSize, after as many smaller attempts as the
  // error test needs. On success *indVar = t0 + h for the h taken, `states` hold the solution,
  // stepSize holds the proposal for the next step and stepSizeChanged says whether the solver
  // must take it. On failure at minStepSize the states and *indVar are put back to the start of
  // the step, the model is evaluated there, minStepViolated and the settings' MinStepSizeViolation
  // and stop flags are raised, and the controlling state is named in `messages`.
  void Step() final;

 protected:
  RungeKuttaFehlbergIntegrator(IntegrationAlgorithm code, int32_t order, const FehlbergPair& pair);

 private:
  // k(stage) of the present attempt.
  const double* StageDerivative(int32_t stage) const;
  // Σ coefficient·k(stage)[i] over `sum`, in its order.
  double Combine(const StageSum& sum, uint32_t i) const;
  // states = y0 + combination, h the present step.
  void MoveStates(const StageCombination& combination, double h);
  // The state with the largest ratio currentErrors[i]/maxErrors[i], the lowest index among
  // equals; state 1 (state 0 with a single ODE state) when every error is zero.
  uint32_t ControllingState() const;
  // Stages 2 to stageCount of the attempt from t0 with step h, each evaluated and traced.
  void EvaluateStages(double t0, double h);
  // currentErrors = |error combination| of the attempt, counted for the controlling state `m` on
  // the first attempt; returns m's relative error q (at least kSmallestRelativeError), after
  // tracing the relative errors when writeNormalData.
  double EstimateError(double h, int32_t rejections, uint32_t& m);

  const FehlbergPair& pair_;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG_INTEGRATOR_H
