// The fixed texts of the ODE solver: the lines it appends to its message buffer (printf formats
// where they carry values; integers are passed as long) and the lines of its diagnostic dump.
#ifndef TARN_SOLVER_ODE_SOLVER_MESSAGES_H
#define TARN_SOLVER_ODE_SOLVER_MESSAGES_H

namespace tarn::ode_solver_messages {

// Failures of a communication interval.
inline constexpr char kCommIntervalNotPositive[] = "Communication interval negative or zero.";
inline constexpr char kNoIntegrator[] = "No integrator for integration algorithm %ld.";
inline constexpr char kStepSizeNotPositive[] = "Step size %le not positive at %lf.";
inline constexpr char kUnableToCheckpoint[] = "Unable to checkpoint state variables.";
inline constexpr char kUnableToRestore[] = "Unable to restore state variables.";

// Scheduled events: event number (the section code) and the independent variable.
inline constexpr char kIndependentVarEventServiced[] =
    "Independent variable event number %ld serviced at %lf.";
inline constexpr char kIntervalEventServiced[] = "Interval event number %ld serviced at %lf.";
inline constexpr char kIntervalEventNotScheduled[] =
    "Interval event number %ld not scheduled: its interval is not positive.";
inline constexpr char kIntervalEventCancelled[] =
    "Interval event number %ld cancelled at %lf: its interval is not positive.";

// State events.
inline constexpr char kStateEventNumber[] = "State event number %ld";
inline constexpr char kStateEventWindow[] = "Window between %lf and %lf, current value = %le.";
inline constexpr char kStateEventServiced[] = "State event number %ld serviced at %lf.";
inline constexpr char kEventVanished[] = "Event vanished.";

// Diagnostic dump, printed to standard output between two rules of 62 '=' characters.
inline constexpr char kDumpRule[] =
    "==============================================================";
inline constexpr char kDumpBegin[] = "Beginning of debug dump: [%s]\n";
inline constexpr char kDumpAlgorithm[] = "\tIntegration Alg: %ld\n";
inline constexpr char kDumpIndVar[] = "\tIndependent Var: %le\n";
inline constexpr char kDumpNumStates[] = "\tNum Integration States: %ld\n";
inline constexpr char kDumpNumAlgStates[] = "\tNum Algebraic States: %ld\n";
inline constexpr char kDumpNumDelayStates[] = "\tNum Delay States: %ld\n";
inline constexpr char kDumpCommInterval[] = "\tCommunication Interval: %le\n";
inline constexpr char kDumpStepsPerCommInterval[] = "\tNum Steps per Communication Interval: %ld\n";
inline constexpr char kDumpStepSize[] = "\tStep Size: %le\n";
inline constexpr char kDumpMinStepSize[] = "\tMin Step Size: %le\n";
inline constexpr char kDumpMaxStepSize[] = "\tMax Step Size: %le\n";
inline constexpr char kDumpEnd[] = "End of debug dump...";

}  // namespace tarn::ode_solver_messages

#endif  // TARN_SOLVER_ODE_SOLVER_MESSAGES_H
