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

}  // namespace tarn::integrator_messages

#endif  // TARN_INTEGRATORS_INTEGRATOR_MESSAGES_H
