// MultiValueMethodIntegrator: variable-step, variable-order predictor-corrector integration in
// Nordsieck form, the frame of the Adams-Moulton and the Gear (backward-differentiation) families.
#ifndef TARN_INTEGRATORS_MULTI_VALUE_METHOD_INTEGRATOR_H
#define TARN_INTEGRATORS_MULTI_VALUE_METHOD_INTEGRATOR_H

#include <cstdint>
#include <vector>

#include "integrators/integrator.h"
#include "integrators/linpack.h"

namespace tarn {

// Gear's multi-value integrator (C. W. Gear, Numerical Initial Value Problems in Ordinary
// Differential Equations, 1971; Algorithm 407 DIFSUB, Comm. ACM 14, 1971). The history of each ODE
// state is its Nordsieck vector z[j] = h^j·y^(j)/j!, j = 0..q. A step predicts with the Pascal
// triangle, corrects z[0] and z[1] up to three times against the model's derivatives (fixed-point
// iteration for Adams, Newton with the factored matrix I - |l0|·h·J for Gear), and once the
// corrector converged and the error test passed (|Σe|/w at most the order's error constant) adds
// the remaining corrections l[j]·Σe. Every q + 1 accepted steps it chooses the order q - 1, q or
// q + 1 whose step-size factor is largest; after a decision the step never shrinks. A failed
// error test retries with a smaller step and possibly a lower order; corrector convergence
// failures first refresh the Jacobian (Gear) and then quarter the step. The weights w are
// max(maxAbsErrors, |y|·maxRelErrors).
//
// The method restarts at order 1 on its first step, when restartRequested is set, when a state
// differs from the history's value (changed from outside), and on the step after it gave up at
// the minimum step. Each restart evaluates the Jacobian of all states (both families).
//
// Algebraic states are solved with the base class's iteration before every derivative
// evaluation; the Jacobian of the ODE states then is the Schur complement
// J_yy - J_yz·J_zz⁻¹·J_zy of the Jacobian of all states.
//
// The order never exceeds maxOrder (which the solver copies from the settings before every step),
// nor the highest order the family's coefficient tables hold: 7 for Adams, 6 for Gear; below 1
// maxOrder counts as 1. A lowered maxOrder takes effect at the next step.
class MultiValueMethodIntegrator : public Integrator {
 public:
  ~MultiValueMethodIntegrator() override = default;

  // The base Initialize, then the arrays below for numStates ODE and numAlgStates algebraic
  // states, all zero. Returns false when the base fails.
  bool Initialize(const StateBindings& bindings) override;
  // Releases the arrays below, then everything the base allocated.
  void Finalize() override;
  // One accepted step from t0 = *indVar with h = stepSize, after as many retries as the tests
  // need: then *indVar = t0 + h for the h taken, `states` = nordsieck[0], stepSize holds the step
  // proposed for the next one and stepSizeChanged says whether the solver must take it.
  // Failing the tests at order 1 and minStepSize: minStepViolated and the settings'
  // MinStepSizeViolation are set, `messages` names the state, *indVar = t0 + h with the states at
  // the last corrector iterate, and the next step restarts; the run continues. A Jacobian that
  // cannot be formed, a singular iteration matrix or a stop raised during the step (by the
  // algebraic iteration or the model) ends the step with the stop flag raised, the states and
  // *indVar back at the start of the step, and a restart due should the run continue.
  void Step() override;
  // Per state: corrector convergence failures caused and times it controlled the step, with the
  // counts of Jacobian evaluations and factorisations.
  void WriteStatistics() override;

  // generalJacobian = Jacobian of all states; with algebraic states, its ODE block becomes the
  // Schur complement and its algebraic columns J_yz·J_zz⁻¹. False, with a message, when J_zz is
  // singular (the ODE block is then the plain J_yy).
  bool CalculateJacobianGeneralMatrix();
  // newtonMatrix = LU factors of I + l0·h·J_yy (l0 of the current order, stored negated), J_yy
  // from generalJacobian. False when a pivot is zero.
  bool CalculateInverseTransitionMatrix(double h);
  // nordsieckWork = nordsieck rescaled from nordsieckStep to h, columns 0..currentOrder.
  void ChangeBasis(double h);
  // The predictor on nordsieckWork: multiplication by the Pascal triangle of order currentOrder.
  void UpdateNordsieckVector();
  // Zeroes all columns of nordsieck and nordsieckWork.
  void ClearWorkAreas();

  // Steps left before the next step/order decision; negative: the next step restarts.
  int32_t stepsUntilOrderChange = -2;
  // Step size to which `nordsieck` is scaled (1 right after a restart, with z[1] = y').
  double nordsieckStep = 1.0;
  int32_t luDecompositions = 0;  // factorisations of the iteration matrix

  // n = numStates, N = totalStates, m = numAlgStates.
  // Nordsieck arrays: kNordsieckColumns columns of n, column j holding h^j·y^(j)/j! for every
  // ODE state, h = nordsieckStep; columns above the current order are not used. `nordsieck` is
  // the accepted history; `nordsieckWork` is rescaled, predicted and corrected during an attempt.
  static constexpr uint32_t kNordsieckColumns = 8;
  PointerMatrix nordsieck;
  PointerMatrix nordsieckWork;
  std::vector<double> correctionSum;  // [N] accumulated corrector correction of the attempt
  // N columns of N: generalJacobian[j][i] = ∂(equation i)/∂(variable j), ODE states first;
  // reduced in place by the elimination of the algebraic states.
  PointerMatrix generalJacobian;
  // Rows of the iteration matrix (row addressing of Linpack), n of N used; then its LU factors.
  PointerMatrix newtonMatrix;
  std::vector<int> newtonPivots;       // [N]
  PointerMatrix algebraicBlock;        // m columns of m: J_zz, then its inverse, same layout
  std::vector<int> algebraicPivots;    // [m]
  std::vector<double> algebraicWork;   // [m] work vector of the inversion and the elimination
  std::vector<double> relativeErrors;  // [N] corrections over the weights, for the trace
  std::vector<int32_t> predictorCorrectorResets;  // [N] convergence failures each state caused
  // [N] correctionSum of the step before a decision, for the order-up estimate.
  std::vector<double> previousCorrection;
  double lastStepSize = 0;  // size of the last accepted step

 protected:
  // A family's integrator: `code` is AlgAdamsMoulton or AlgGearStiff.
  explicit MultiValueMethodIntegrator(IntegrationAlgorithm code);

 private:
  enum class Correction { kConverged, kNotConverged, kStopped };

  // What became of one attempt at the step.
  enum class Verdict {
    kAccepted,            // the step is taken; the step size is updated by `factor`
    kRejected,            // try again with the step size updated by `factor`
    kRetry,               // try again as the convergence failure's handling left it
    kGiveUp,              // the tests cannot be met at this order and step; `controlling` failed
    kEndedAtMinimumStep,  // given up at order 1 and minStepSize: the step ends, the run goes on
    kAbandoned,           // the step is abandoned with the stop flag raised
  };
  struct Outcome {
    Verdict verdict;
    double factor = 1;         // step-size factor of kAccepted and kRejected
    uint32_t controlling = 0;  // state that failed the test, for kGiveUp
  };
  // What the attempts of one step share.
  struct StepState {
    double t0 = 0;                // *indVar at the start of the step
    double h = 0;                 // step size of the present attempt
    bool restarted = false;       // the step began with a restart
    bool changedOnEntry = false;  // restarted, or h differs from the history's step
    bool firstAttempt = true;
    int32_t fail = 0;                   // > 0: error-test failures, < 0: convergence failures
    bool earlierAttemptFailed = false;  // an attempt failed or cut h
  };

  // The coefficient row of this family: 0 Adams, 1 Gear.
  int Family() const;
  bool IsStiff() const;
  // The highest order this step may use.
  int32_t OrderLimit() const;
  // l_j of the corrector of `order`, stored negated.
  double Coefficient(int32_t order, int32_t j) const;
  // Restart detection and, when due, the restart; false when it failed and raised the stop flag.
  bool StartStep(bool& restarted);
  // Up to three corrector iterations from the prediction with step h; the index of the last state
  // that failed the convergence test goes to `lastFailing`.
  Correction Correct(double h, int32_t fail, uint32_t& lastFailing);
  // The step-size factor at a decision or after an error-test failure, from the estimates for the
  // orders q - 1, q and q + 1; `errorNumerator` and `errorWeight` are |Σe| and w of the state with
  // the largest scaled correction. Changes currentOrder when another order is better and then
  // starts a new highest Nordsieck column or drops the highest one.
  double ChooseStepAndOrder(int32_t fail, double errorNumerator, double errorWeight);
  // One attempt from t0 with step.h: rescaling and factoring as needed, prediction, correction,
  // then the handling of a convergence failure or the error test.
  Outcome Attempt(StepState& step);
  // Refreshes the Jacobian (Gear, first failure since a success) or cuts the step; kGiveUp at
  // minStepSize, kAbandoned when the Jacobian cannot be formed.
  Outcome HandleConvergenceFailure(StepState& step, int32_t q, uint32_t lastFailing);
  // Jacobian at the prediction of step size h; false when the stop flag is raised or the
  // Jacobian cannot be formed.
  bool RefreshJacobianAtPrediction(double h);
  // The error test of the corrector's result at order q: accepted (CompleteStep), rejected with
  // a new step and order, or given up after repeated failures.
  Outcome TestError(StepState& step, int32_t q);
  // Adds the remaining corrections, makes a step/order decision when one is due and accepts the
  // attempt as the new history; returns the step-size factor.
  double CompleteStep(StepState& step, int32_t q, double errorNumerator, double errorWeight);
  // Above order 1 or minStepSize: half the step (kRejected), at one order lower. At order 1 and
  // minStepSize: report the violation, leave the states at the last iterate and schedule a
  // restart (kEndedAtMinimumStep).
  Outcome GiveUp(StepState& step, uint32_t controlling);
  // The step size for the next attempt or step from the factor r; true when it changed.
  bool UpdateStepSize(StepState& step, double r);
  // CalculateJacobianGeneralMatrix, counted; false, with a message, when it fails.
  bool EvaluateJacobian();
  // Algebraic states when there are any, then the model.
  void EvaluateModel();
  // Abandons the step: states and *indVar back at the start, stop flag raised, and a restart
  // scheduled for a run that continues.
  void AbandonStep(double t0);
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_MULTI_VALUE_METHOD_INTEGRATOR_H
