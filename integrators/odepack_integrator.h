// OdepackIntegrator: hands every step to DLSODES, the sparse stiff/non-stiff solver of ODEPACK,
// and routes the package's diagnostics into the integrator's message buffer.
#ifndef TARN_INTEGRATORS_ODEPACK_INTEGRATOR_H
#define TARN_INTEGRATORS_ODEPACK_INTEGRATOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "integrators/library_adapter.h"
#include "tarn/tarn_export.h"

namespace tarn {

// Adapter to DLSODES (A. C. Hindmarsh, "ODEPACK, a systematized collection of ODE solvers",
// Scientific Computing, North-Holland 1983) with the sparsity structure generated internally: the
// method flag is 210, 212, 213, 220, 222 or 223, taken from the settings' OdepackMethodFlag once
// per adapter. Each Step calls the package once with the output time t + stepSize (ITASK 1: it
// integrates past it and interpolates) and relative and absolute tolerances per ODE state.
//
// The package continues its own integration from one Step to the next (ISTATE 2). It starts
// afresh (ISTATE 1, repeating its start-up and sparsity analysis) when a state was changed from
// outside since the last step; when the derivatives at the start of a step differ from those of
// the solver's evaluation after the last step at the same point (an event's discrete section or
// the host changed the model; not evaluated when the solver knows the model unchanged); when the
// solver set restartRequested; and after a failed or interrupted call.
//
// The package keeps its integration in process-wide common blocks (DLS001, DLSS01). Every Step
// holds one process-wide lock, so that adapters of instances running on different threads step
// one at a time, and takes the blocks over exactly: when another adapter stepped last, its blocks
// are saved into that adapter and this adapter's own are put back (the package's DSRCMS), so
// interleaved integrations go on as if each ran alone.
//
// The package calls back through static functions, which reach the adapter through `m_instance`:
// the adapter whose Step runs, or ran last (the owner of the blocks' present contents).
class OdepackIntegrator final : public LibraryAdapter {
 public:
  OdepackIntegrator();
  // Gives up the common blocks when it owns them.
  ~OdepackIntegrator() override;

  // The adapter base's Initialize, then work arrays for neq = numStates equations:
  // lrw = 3n² + 32n + 30 reals, liw = n + 30 integers (enough for every accepted method flag).
  // The next Step starts the package afresh.
  bool Initialize(const StateBindings& bindings) override;
  void Finalize() override;

  // Advances *indVar by stepSize with one call of the package. A failure raises the stop flag and
  // writes the message of its ISTATE; *indVar still moves to the output time. A stop flag raised
  // by the model during the package's evaluations (which may lie beyond the output time) is
  // cleared; the solver's evaluation after the step decides. Sets stepSizeChanged when the
  // package's next step (HCUR) differs from stepSize, without writing stepSize.
  void Step() override;

  // One call of the package from the present point to `tout`, with the step limit set at a first
  // call.
  void CallPackage(double tout);

  // TCUR and HCUR while the package continues this adapter's integration (ISTATE 2, no restart
  // pending): continuing with ITASK 1, it only interpolates for a TOUT it has integrated past.
  bool GetInterpolationWindow(double* reach, double* nextStepSize) const override;

  // Writes the message that belongs to a negative ISTATE.
  void WriteOdepackErrorDescription(int32_t istate);

  // DLSODES arguments, named as the package names them; INTEGER is 32-bit.
  bool methodFlagPending = true;  // read and check OdepackMethodFlag at the next step
  int32_t itol = 4;               // RTOL and ATOL both given per state
  int32_t itask = 1;              // integrate to TOUT (past it, and interpolate)
  int32_t istate = 1;             // 1: start afresh; 2 after a successful call; < 0 a failure
  int32_t iopt = 1;               // optional inputs: the step limit, the rest default
  int32_t mf = 222;               // method flag
  std::vector<double> rwork;      // [lrw] real work array
  int32_t lrw = 0;
  std::vector<int32_t> iwork;  // [liw] integer work array
  int32_t liw = 0;
  int32_t neq = 0;  // number of equations: the ODE states
  // The common blocks of this adapter's integration, saved when another adapter took them over
  // (DSRCMS layout: DLS001's reals, then DLSS01's; likewise the integers).
  std::vector<double> savedCommonReals;
  std::vector<int32_t> savedCommonIntegers;
  bool commonBlocksSaved = false;

  // The adapter that receives the package's callbacks and messages, and whose integration the
  // package holds; null when there is none.
  static OdepackIntegrator* m_instance;

 private:
  // Makes the common blocks this adapter's, under the package lock: the present owner's are saved
  // into it and this adapter's saved ones put back. False when this adapter has none saved (its
  // integration must start afresh).
  bool TakeOverCommonBlocks();
  void SaveCommonBlocks();

  // The package's right-hand side F(NEQ, T, Y, YDOT): evaluates the model at (*t, y) and copies
  // the derivatives into ydot.
  static void Derivatives(const int32_t* neq, const double* t, double* y, double* ydot);
};

}  // namespace tarn

// The package's message routine, replacing its own: passes the first *nmes characters of `msg`
// unchanged to WriteMessage of OdepackIntegrator::m_instance (nothing when there is none) and
// returns 0. The integer and real values that come with a message are not written. Never stops
// the process, not even for a message of level 2. Exported so that the package calls this one.
extern "C" TARN_API int xerrwd_(const char* msg, const int32_t* nmes, const int32_t* nerr,
                                const int32_t* level, const int32_t* ni, const int32_t* i1,
                                const int32_t* i2, const int32_t* nr, const double* r1,
                                const double* r2, std::size_t msgLength);

#endif  // TARN_INTEGRATORS_ODEPACK_INTEGRATOR_H
