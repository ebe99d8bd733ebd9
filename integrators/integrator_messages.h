// The fixed texts of the integrators: exception texts, diagnostic messages (printf formats where
// they carry values) and the trace lines of the step methods. Messages are appended to an
// integrator's message buffer, one line each.
#ifndef TARN_INTEGRATORS_INTEGRATOR_MESSAGES_H
#define TARN_INTEGRATORS_INTEGRATOR_MESSAGES_H

#include <array>

namespace tarn::integrator_messages {

// Texts thrown out of a derivative evaluation.
inline constexpr char kFloatingPointError[] = "floating point error";
inline constexpr char kUnknownException[] = "unknown exception";

// Finite-difference Jacobian checks.
inline constexpr char kStateChangedInJacobian[] = "State changed in Jacobian evaluation: %ld.";
inline constexpr char kJacobianNonLinear[] =
    "Jacobian non-linear measure for row %ld and column %ld is %lf.";
inline constexpr char kEvaluationNotRepeatable[] =
    "Derivative function evaluation not repeatable for row number %ld.";
inline constexpr char kIndependentVariableValue[] = "Independent variable value %lf.\n";

// Algebraic-state iteration.
inline constexpr char kNewJacobianMatrix[] = "New Jacobian evaluated - Jacobian matrix:";
inline constexpr char kNoResidualDependsOnVariable[] = "No residual depends on variable %ld.";
inline constexpr char kNoVariableAffectsResidual[] = "No variable affects residual %ld.";
inline constexpr char kNewPrefix[] = "New ";
inline constexpr char kJacobianCondition[] = "%sJacobian evaluated. Condition number is %lf.";
inline constexpr char kConditionTooLow[] =
    "Condition of algebraic state jacobian %lf too low to proceed";
inline constexpr char kTooManyIterations[] =
    "Too many iterations - algebraic state calculation did not converge.";
inline constexpr char kStateVectorIteration[] = "State vector - iteration number %ld:";
inline constexpr char kResidualVector[] = "Residual vector - current rms %lf previous %lf.";
inline constexpr char kScaledResidual[] = "           Scaled residual is %lf previous %lf.";
inline constexpr char kNewtonStep[] = "Newton step %lf, steepest descent step %lf.";
inline constexpr char kRelativeStep[] = "Relative step %lf, mu %ld";

// Diagnostic writers.
inline constexpr char kIndependentVariable[] = "Ind Var: %12.6lf";
inline constexpr char kOdeStatesHeading[] = "ODE States: ";
inline constexpr char kDaeStatesHeading[] = "DAE States: ";
inline constexpr char kStatesPrefix[] = "  States: ";
inline constexpr char kDerivativesPrefix[] = "  Derivs: ";
inline constexpr char kCurrentErrorsHeading[] = "Current Errors: ";
inline constexpr char kValue[] = "%12.6lf";
inline constexpr char kValueSeparator[] = ", ";
inline constexpr char kMatrixValue[] = "%12.6lf ";
inline constexpr char kStatisticsHeading[] = "Count of times state controlled step size";
inline constexpr char kErrorControlledCount[] = "State: %5ld,  Error Controlled: %5ld";

// Trace lines of a step: the first evaluation, then the n-th evaluation of a multi-stage method
// (stage n at index n-1).
inline constexpr std::array<const char*, 6> kStageEvaluations = {
    "Start of step.",
    "Second derivative evaluation.",
    "Third derivative evaluation.",
    "Fourth derivative evaluation.",
    "Fifth derivative evaluation.",
    "Sixth derivative evaluation.",
};

// Multi-value methods (Adams-Moulton and Gear): failures, the corrector and step-size trace, and
// the statistics.
inline constexpr char kJacobianCalculationFailed[] = "Error calculating Jacobian: stop flag set.";
inline constexpr char kSingularAlgebraicBlock[] = "Singular matrix for algebraic states.";
inline constexpr char kZeroDeterminantStiff[] = "Zero determinant for stiff algorithm.";
inline constexpr char kCannotSatisfyErrorCriterionMultiValue[] =
    "Can't satisfy error criterion for state number %ld";
inline constexpr char kCorrectorIteration[] = "Corrector iteration: fail flag %ld, count %ld.";
inline constexpr char kCurrentErrorRelative[] = "Current error relative to maximum:";
inline constexpr char kStateHasLargestError[] = "State number %ld has largest error.";
inline constexpr char kCorrectorConverged[] = "Corrector converged.";
inline constexpr char kSumOfDerivativeDifferences[] = "Sum of all derivative differences:";
inline constexpr char kStateLargestRelativeError[] = "State %ld has largest relative error of %lf";
inline constexpr char kScaledErrorBelowUnity[] = "Scaled error that must be less than unity is %lf";
inline constexpr char kStepChangeFactors[] = "Step change factors at different orders";
inline constexpr char kBestFactor[] = "Best factor %lf: factor current order %lf";
inline constexpr char kNeighbourOrderFactors[] = "Factor one lower %lf, factor one higher %lf";
inline constexpr char kJacobianEvaluationCount[] = "Number of Jacobian evaluations: %ld";
inline constexpr char kLuDecompositionCount[] = "Number of LU decompositions: %ld";
inline constexpr char kMultiValueStateStatistics[] =
    "State: %5ld,  Predictor Corrector Resets: %5ld, Error Controlled: %5ld";

// Runge-Kutta-Fehlberg step-size control.
inline constexpr char kEstimatedError[] = "Estimated error: numConvFails = %ld";
inline constexpr char kLargestRelativeError[] =
    "State number %ld has largest relative error of %lf";
inline constexpr char kCannotSatisfyErrorCriterion[] =
    "Cannot satisfy error criterion for state number %ld.";

// Rosenbrock step-size control.
inline constexpr char kStepNotSignificant[] =
    "Warning: step size not significant in Rosenbrock integrator.";
inline constexpr char kTooManyAttempts[] =
    "Error: exceeded maximum number of iterations in Rosenbrock integrator.";

// The DLSODES adapter: the method flag check, then the messages for ISTATE -1 .. -7 (entry k for
// ISTATE -(k + 1)), then for any other value.
inline constexpr char kInvalidMethodFlag[] =
    "Error: Invalid value of OMFITG supplied to ODEPACK.  Using default value of 222.";
inline constexpr std::array<const char*, 7> kIstateMessages = {
    "ERROR: Exceeded max allowed number of integration steps in DLSODES.",
    "ERROR: Requested accuracy exceeds machine precision.  Reduce error tolerances.",
    "ERROR: Illegal input to DLSODES detected.",
    "ERROR: Repeated error test failures on a single step (possible singularity, or invalid "
    "input to LSODES.",
    "ERROR: Repeated convergence test failures on a single step (possible inaccuracy in Jacobian "
    "computation.",
    "ERROR: Pure relative error control was requested on a variable which now has a value of "
    "zero.",
    "ERROR: Fatal error in sparse solver.",
};
inline constexpr char kUnrecognizedIstate[] = "ERROR: Unrecognized error code returned by LSODES.";

// The CVODE adapter.
inline constexpr char kSolverMemoryFailed[] = "ERROR: CVodeMalloc failed in CVODE.\n";
inline constexpr char kInconsistentBandwidths[] =
    "Error: Inconsistent values for UBWITG and LBWITG supplied to CVODE.  Assuming dense matrix.";
// A diagnostic of CVODE: module, kind, function, then the text on a line of its own; the last
// line end sets it off from the next message.
inline constexpr char kSolverMessage[] = "[%s %s]  %s\n  %s\n";
inline constexpr char kErrorKind[] = "ERROR";
inline constexpr char kWarningKind[] = "WARNING";

// Both library adapters: a call that used up its internal steps before the output time.
inline constexpr char kStepLimitReached[] =
    "The limit of %ld internal steps per step of the runtime was reached at t = %.10g.";

}  // namespace tarn::integrator_messages

#endif  // TARN_INTEGRATORS_INTEGRATOR_MESSAGES_H
