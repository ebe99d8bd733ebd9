// Integrator: the base class of every integration algorithm. It binds the model's state arrays and
// derivative function, guards every derivative evaluation against floating-point faults, keeps
// the per-state error weights, forms finite-difference Jacobians and the time derivative, solves
// the model's algebraic states through its AlgebraicStateSolver, and writes diagnostics to its
// message buffer.
//
// The solver drives an integrator through its public members: before every Step it writes
// stepSize and copies computeJacobValidity, maxOrder, jacobNonlinThresh, twoSidedMatrixEval,
// writeNormalData and writeExtraData from the settings; it mirrors its initialisation switch into
// `initializing`, sets inPostStepEvaluation around the evaluation that follows each step, sets
// restartRequested after a restart, a state restore or a state event, sets
// modelUnchangedSinceLastStep, reads currentOrder, stepSize and stepSizeChanged after the step,
// and collects `messages`.
#ifndef TARN_INTEGRATORS_INTEGRATOR_H
#define TARN_INTEGRATORS_INTEGRATOR_H

#include <cstdint>
#include <string>
#include <vector>

#include "integrators/algebraic_state_solver.h"
#include "integrators/linpack.h"
#include "integrators/state_bindings.h"
#include "solver/integrator_settings.h"
#include "tarn/tarnsim.h"

namespace tarn {

// The internal steps a solver library may take in one call, that is within one step of the
// runtime, before it gives up (the libraries' own default, 500, ends ordinary stiff problems
// over long output intervals).
inline constexpr int32_t kLibraryStepLimit = 50000;

// Which Jacobian CalculateJacobian builds.
enum class JacobianType : int32_t {
  OdeStateJacobian = 1,        // derivatives with respect to the ODE states
  AlgebraicStateJacobian = 2,  // residuals with respect to the algebraic states
  AllStateJacobian = 3,        // derivatives then residuals, with respect to all states
};

class Integrator : public StateBindings {
 public:
  Integrator() = default;
  virtual ~Integrator() = default;
  Integrator(const Integrator&) = delete;
  Integrator& operator=(const Integrator&) = delete;

  // Takes the model's arrays and derivative function (borrowed; the delay states are not used),
  // and allocates the work arrays for numStates + numAlgStates states: error bounds 1e-4 each,
  // weights, errors and counters zero. Overrides call this first. Returns true.
  virtual bool Initialize(const StateBindings& bindings);
  // Releases everything Initialize allocated.
  virtual void Finalize();

  // Advances *indVar by one step.
  virtual void Step() = 0;

  // Whether Step reads the derivatives that the solver's evaluation after the last step left
  // (the runtime's own methods do; the library adapters evaluate for themselves).
  virtual bool UsesPostStepDerivatives() const { return true; }
  // While the method continues an integration: true, with the point it has reached in *reach and
  // the step size it will attempt next in *nextStepSize. A Step ending at or before *reach only
  // interpolates: it changes nothing but the states it hands back and *indVar (to *indVar +
  // stepSize), keeps stepSize and sets stepSizeChanged to *nextStepSize != stepSize, so that the
  // solver may leave out such a step whose end nothing observes and do the rest itself. False
  // otherwise, and for every method of the runtime's own.
  virtual bool GetInterpolationWindow(double* reach, double* nextStepSize) const;

  // For saved states: the history a fixed-step method carries from one step to the next, and
  // putting it back into a freshly initialised integrator. Methods that keep none, and those that
  // restart their integration from a restored point, save nothing and ignore what they are given.
  virtual std::vector<double> SaveHistory() const { return {}; }
  virtual void RestoreHistory(const std::vector<double>& /*history*/) {}

  // Evaluates the model once at the present *indVar, states and algebraic states. Outside
  // initialisation the evaluation runs with cleared floating-point flags and throws the const
  // char* "floating point error" when it raised an overflow, a division by zero or an invalid
  // operation; a const char* thrown by the model passes through, anything else thrown becomes
  // "unknown exception". While `initializing` the model is called without any of this.
  virtual void CalculateDerivatives();

  // Solves residuals(algStates) = 0 (AlgebraicStateSolver::Solve). True when there are no
  // algebraic states or it converged; false, with a message, on a singular structure, a condition
  // too low or 50 iterations.
  virtual bool CalculateAlgebraicStates();

  // Finite-difference Jacobian: columns[j][i] = d(equation i)/d(variable j) for the groups `type`
  // selects. Perturbs each variable by max(|x|·2^-26, its error weight, 2^-52); central
  // differences when twoSidedMatrixEval or computeJacobValidity is set (the latter also checks
  // non-linearity and repeatability, reporting in messages), backward differences otherwise.
  // The stop flag is left as it was on entry. Always returns true.
  virtual bool CalculateJacobian(JacobianType type, double** columns);

  // out[i] = d(derivatives[i])/d(indVar) at fixed states, by a backward difference; the
  // derivatives and *indVar are restored. ODE states only.
  virtual void CalculateSecondDerivatives(double* out);

  // Appends `text` and a line end to `messages`.
  virtual void WriteMessage(const char* text);
  // The independent variable, then states and derivatives of each group present.
  virtual void WriteStates();
  // Nothing in the base class.
  virtual void WriteDerivatives();
  // currentErrors on one line, when there are states.
  virtual void WriteCurrentErrors();
  // One line per row i < rows of m[0][i] ... m[columns-1][i] (m holds column pointers).
  virtual void WriteMatrix(double** m, uint32_t rows, uint32_t columns);
  // For the Runge-Kutta-Fehlberg algorithms, how often each state controlled the step size.
  virtual void WriteStatistics();

  // maxErrors[i] = max(maxAbsErrors[i], |state·maxRelErrors[i]|) for the ODE states, and for the
  // algebraic states too when includeAlgebraic; relativeErrorDominant[i] = 1 where the relative
  // bound was the larger.
  virtual void UpdateMaxErrorVector(bool includeAlgebraic);

  void SetDerivativeFunction(TarnSimDerivativeFunction function);
  // initConds -> states and algInitConds -> algStates, or the reverse.
  void CopyInitCondsToStates();
  void CopyStatesToInitConds();
  // Set one bound; ignored unless index < totalStates.
  void SetMaxAbsoluteError(uint32_t index, double value);
  void SetMaxRelativeError(uint32_t index, double value);

  // The evaluation at the start of a step: CalculateDerivatives with inAuxiliaryEvaluation raised
  // (and lowered again, also when the evaluation throws).
  void CalculateAuxiliaryDerivatives();
  // When the model has algebraic states, CalculateAlgebraicStates; a failure raises the stop flag
  // (a raised flag stays raised).
  void CalculateAlgebraicStatesOrStop();
  // For methods that carry history from step to step: true when a state differs from
  // `lastStates` (changed from outside: host, event, reset; NaN always counts as changed) or a
  // restart was requested. Records the present states in `lastStates` and clears the request.
  bool ConsumeRestart(std::vector<double>& lastStates);
  // Formats with printf rules and passes the text to WriteMessage. Any length.
  void WriteFormattedMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Copy of the solver's settings record: it shares the stop flag and every other setting.
  IntegratorSettings settings;

  uint32_t totalStates = 0;  // numStates + numAlgStates
  // The (instance, section) pair passed to derivativeFunction.
  uint32_t derivArg1 = 0;
  uint32_t derivArg2 = 0;

  // Scale of the multi-value step-change test (a step differing by more than this times 1e-15).
  double stepChangeTolerance = 0.1;
  double stepSize = 0.01;  // h of the next step
  double minStepSize = 1e-10;
  double maxStepSize = 1e10;
  std::vector<double> maxAbsErrors;  // [totalStates]
  std::vector<double> maxRelErrors;  // [totalStates]

  bool initializing = true;      // mirrors the solver's initialisation switch
  bool minStepViolated = false;  // error test still failed at minStepSize
  bool writeNormalData = false;  // trace switches
  bool writeExtraData = false;
  bool inAuxiliaryEvaluation = false;  // step-start and algebraic-iteration evaluations
  bool inPostStepEvaluation = false;   // set by the solver around its post-step evaluation
  bool restartRequested = false;       // multistep methods drop their history and clear it
  // Set by the solver before each step: nothing the derivative section reads has changed since
  // the last step ended, so an evaluation at the step's start would repeat the last one.
  bool modelUnchangedSinceLastStep = false;

  PointerMatrix stageValues;                   // 7 work vectors of totalStates for one-step methods
  std::vector<double> currentErrors;           // [totalStates] error estimate of the last step
  std::vector<double> maxErrors;               // [totalStates] current error weights
  std::vector<int32_t> errorControlledCount;   // [totalStates] times each state limited h
  std::vector<int32_t> relativeErrorDominant;  // [totalStates] 1 where the relative bound won
  bool stepSizeChanged = false;                // the solver must continue with stepSize
  IntegrationAlgorithm algorithm = IntegrationAlgorithm::AlgUserDefined;
  int32_t currentOrder = 0;
  int32_t maxOrder = 0;
  bool computeJacobValidity = true;

  // Derivatives at x - δ, at x and at x + δ: 3 vectors of totalStates.
  PointerMatrix jacobianWork;
  bool inJacobianEvaluation = false;
  bool twoSidedMatrixEval = true;
  double jacobNonlinThresh = 0.2;
  std::vector<uint8_t> nonRepeatableReported;  // [totalStates] per row, within one Jacobian
  int32_t jacobianEvaluations = 0;             // counted by the multi-value methods

  std::string messages;          // filled by WriteMessage, collected by the runtime
  uint64_t messagesLeftOut = 0;  // messages past kMessageBufferLimit since the last collection

 protected:
  // When writeNormalData: `label`, WriteStates and WriteDerivatives.
  void TraceEvaluation(const char* label);

 private:
  // The validity checks of Jacobian entry (i, k) from the differences in jacobianWork and the
  // repeated evaluation at x + δ: non-linearity, and (once per row) a value that the repeated
  // evaluation does not reproduce, each reported in messages. True when either was found.
  bool CheckJacobianEntry(uint32_t i, uint32_t k, double repeated);
  // Appends values formatted by kValue and separated by kValueSeparator.
  static void AppendValues(std::string& line, const double* values, uint32_t count);

  AlgebraicStateSolver algebraicStateSolver_{*this};
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_INTEGRATOR_H
