// CvodeIntegrator: hands every step to CVODE (SUNDIALS) and routes the solver's diagnostics into
// the integrator's message buffer.
#ifndef TARN_INTEGRATORS_CVODE_INTEGRATOR_H
#define TARN_INTEGRATORS_CVODE_INTEGRATOR_H

#include <sundials/sundials_context.h>
#include <sundials/sundials_linearsolver.h>
#include <sundials/sundials_matrix.h>
#include <sundials/sundials_nvector.h>

#include <cstdint>
#include <exception>
#include <vector>

#include "integrators/library_adapter.h"

namespace tarn {

// Adapter to CVODE (A. C. Hindmarsh et al., "SUNDIALS: Suite of nonlinear and differential/
// algebraic equation solvers", ACM TOMS 31, 2005): variable-order BDF with Newton iteration, a
// scalar relative tolerance (the first state's) and absolute tolerances per ODE state. The linear
// solver follows the settings' Jacobian bandwidths (ubwitg, lbwitg): both negative dense, both
// zero diagonal, both positive band with those half-bandwidths; any other pair writes a message
// and uses dense. Each Step calls CVode once in normal mode with the output time t + stepSize (it
// integrates past it and interpolates) and hands the solver's next step size back to the solver.
//
// The solver memory lives from the first step until a restart or Finalize; CVODE continues its
// own integration from one Step to the next. A restart frees it and creates it afresh at the
// present point: when a state was changed from outside since the last step; when the derivatives
// at the start of a step differ from those of the solver's evaluation after the last step at the
// same point (an event's discrete section or the host changed the model; not evaluated when the
// solver knows the model unchanged); when the solver set restartRequested; after a failed or
// interrupted call. CVODE calls back with this adapter as its user data.
class CvodeIntegrator final : public LibraryAdapter {
 public:
  CvodeIntegrator();
  // Frees the solver memory when Finalize did not.
  ~CvodeIntegrator() override;

  // The adapter base's Initialize, then any solver memory freed.
  bool Initialize(const StateBindings& bindings) override;
  void Finalize() override;

  // Advances *indVar by stepSize with one call of CVode. When the solver memory cannot be
  // created, writes "ERROR: CVodeMalloc failed in CVODE.\n", raises the stop flag and returns
  // without moving *indVar. A failing call raises the stop flag (the solver's own diagnostics
  // explain it); *indVar still moves to the output time. Otherwise the stop flag is cleared (a
  // flag the model raised during the solver's evaluations, which may lie beyond the output time,
  // is left to the solver's evaluation after the step) and stepSize becomes CVODE's next step,
  // with stepSizeChanged set when it differs. An exception of the model's evaluation inside the
  // call comes out of Step once CVode has returned, with *indVar at that evaluation's time.
  void Step() override;

  SUNContext context = nullptr;            // owned
  void* cvodeMemory = nullptr;             // owned; CVODE's solver memory
  N_Vector yVector = nullptr;              // owned; the solution, n values
  N_Vector abstolVector = nullptr;         // owned; the absolute tolerances
  SUNMatrix jacobianMatrix = nullptr;      // owned; dense or band, null for the diagonal solver
  SUNLinearSolver linearSolver = nullptr;  // owned; null for the diagonal solver
  // An exception of the model's evaluation inside CVode, held until CVode has returned: thrown
  // through the library's C frames it would skip their clean-up (the difference-quotient
  // Jacobian frees its work vectors only on the way out).
  std::exception_ptr evaluationException;
  double evaluationExceptionTime = 0;  // the time of the evaluation that threw

 private:
  // Creates the context, both vectors, the solver memory at the present point and the linear
  // solver. False when any of it fails; what was created stays for ReleaseSolverMemory.
  bool CreateSolverMemory();
  // Frees everything CreateSolverMemory created.
  void ReleaseSolverMemory();

  // CVODE's right-hand side: evaluates the model at (t, y) and copies the derivatives into ydot.
  // An exception of the evaluation is kept in evaluationException and fails the call
  // unrecoverably.
  static int Derivatives(double t, N_Vector y, N_Vector ydot, void* adapter);
  // CVODE's error and warning handler: one message per diagnostic, none for the failure an
  // evaluation's exception caused (the exception reports it).
  static void WriteSolverMessage(int errorCode, const char* module, const char* function,
                                 char* text, void* adapter);
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_CVODE_INTEGRATOR_H
