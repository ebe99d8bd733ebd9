// CVODE adapter: solver memory from the first step to the next restart, one CVode call per step,
// the right-hand-side callback and the error handler.
#include "integrators/cvode_integrator.h"

#include <cvode/cvode.h>
#include <cvode/cvode_diag.h>
#include <cvode/cvode_ls.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_band.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_band.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <utility>

#include "integrators/integrator_messages.h"

namespace tarn {
namespace {

// What the right-hand side returns to make CVode give up at once.
constexpr int kUnrecoverableFailure = -1;

}  // namespace

CvodeIntegrator::CvodeIntegrator() {
  algorithm = IntegrationAlgorithm::AlgCvode;
  currentOrder = 2;
}

CvodeIntegrator::~CvodeIntegrator() { ReleaseSolverMemory(); }

bool CvodeIntegrator::Initialize(const StateBindings& bindings) {
  if (!LibraryAdapter::Initialize(bindings)) return false;
  ReleaseSolverMemory();
  return true;
}

void CvodeIntegrator::Finalize() {
  ReleaseSolverMemory();
  LibraryAdapter::Finalize();
}

void CvodeIntegrator::Step() {
  bool restart = RestartDue();

  // A changed model: CVODE's history, and the stretch it has already integrated past the last
  // output time, belong to the old right-hand side.
  if (DerivativesChangedSinceLastStep()) restart = true;

  if (restart) ReleaseSolverMemory();
  if (numStates > 0 && cvodeMemory == nullptr && !CreateSolverMemory()) {
    WriteMessage(integrator_messages::kSolverMemoryFailed);
    ReleaseSolverMemory();
    settings.SetStopFlag(true);
    return;
  }

  stepSizeChanged = false;
  const double tout = *indVar + stepSize;
  if (numStates == 0) {
    // Nothing to integrate.
    *indVar = tout;
    return;
  }

  // Left set when the model's evaluation throws.
  lastCallIncomplete = true;
  const int result = CVode(cvodeMemory, tout, yVector, indVar, CV_NORMAL);
  if (evaluationException) {
    // CVode has returned through its own clean-up; the exception goes on from the point whose
    // evaluation raised it.
    *indVar = evaluationExceptionTime;
    std::rethrow_exception(std::exchange(evaluationException, nullptr));
  }
  // A stop raised during the call (by the host, or by a failed algebraic solve in a callback)
  // stays raised.
  if (result != CV_SUCCESS) settings.SetStopFlag(true);
  // CVode returns the time it reached.
  if (result == CV_TOO_MUCH_WORK) {
    WriteFormattedMessage(integrator_messages::kStepLimitReached,
                          static_cast<long>(kLibraryStepLimit), *indVar);
  }
  *indVar = tout;
  if (result == CV_SUCCESS) {
    lastCallIncomplete = false;
    double nextStepSize = 0;
    CVodeGetCurrentStep(cvodeMemory, &nextStepSize);
    if (nextStepSize != stepSize) {
      stepSizeChanged = true;
      stepSize = nextStepSize;
    }
  }
  const double* solution = N_VGetArrayPointer(yVector);
  std::copy(solution, solution + numStates, states);
  std::copy(solution, solution + numStates, lastStates.begin());
}

bool CvodeIntegrator::CreateSolverMemory() {
  const auto n = static_cast<sunindextype>(numStates);
  if (SUNContext_Create(nullptr, &context) != 0) return false;
  yVector = N_VNew_Serial(n, context);
  abstolVector = N_VNew_Serial(n, context);
  if (yVector == nullptr || abstolVector == nullptr) return false;
  std::copy(states, states + numStates, N_VGetArrayPointer(yVector));
  std::copy(maxAbsErrors.begin(), maxAbsErrors.begin() + numStates,
            N_VGetArrayPointer(abstolVector));

  cvodeMemory = CVodeCreate(CV_BDF, context);
  if (cvodeMemory == nullptr) return false;
  // The handler first, so that the set-up's own diagnostics reach the message buffer too.
  if (CVodeSetErrHandlerFn(cvodeMemory, &WriteSolverMessage, this) != CV_SUCCESS ||
      CVodeInit(cvodeMemory, &Derivatives, *indVar, yVector) != CV_SUCCESS ||
      CVodeSVtolerances(cvodeMemory, maxRelErrors[0], abstolVector) != CV_SUCCESS ||
      CVodeSetMaxNumSteps(cvodeMemory, kLibraryStepLimit) != CV_SUCCESS ||
      CVodeSetUserData(cvodeMemory, this) != CV_SUCCESS) {
    return false;
  }

  const int32_t upper = settings.GetJacUpperBandwidth();
  const int32_t lower = settings.GetJacLowerBandwidth();
  if (upper == 0 && lower == 0) return CVDiag(cvodeMemory) == CVDIAG_SUCCESS;
  if (upper > 0 && lower > 0) {
    // A band wider than the matrix is the whole matrix; storage for more diagonals than it has
    // would be wasted (for a bandwidth near 2^31, terabytes).
    const sunindextype widest = std::max<sunindextype>(n - 1, 0);
    jacobianMatrix = SUNBandMatrix(n, std::min<sunindextype>(upper, widest),
                                   std::min<sunindextype>(lower, widest), context);
    if (jacobianMatrix == nullptr) return false;
    linearSolver = SUNLinSol_Band(yVector, jacobianMatrix, context);
  } else {
    if (upper >= 0 || lower >= 0) WriteMessage(integrator_messages::kInconsistentBandwidths);
    jacobianMatrix = SUNDenseMatrix(n, n, context);
    if (jacobianMatrix == nullptr) return false;
    linearSolver = SUNLinSol_Dense(yVector, jacobianMatrix, context);
  }
  return linearSolver != nullptr &&
         CVodeSetLinearSolver(cvodeMemory, linearSolver, jacobianMatrix) == CVLS_SUCCESS;
}

void CvodeIntegrator::ReleaseSolverMemory() {
  if (cvodeMemory != nullptr) CVodeFree(&cvodeMemory);
  if (linearSolver != nullptr) SUNLinSolFree(linearSolver);
  if (jacobianMatrix != nullptr) SUNMatDestroy(jacobianMatrix);
  if (yVector != nullptr) N_VDestroy(yVector);
  if (abstolVector != nullptr) N_VDestroy(abstolVector);
  if (context != nullptr) SUNContext_Free(&context);
  cvodeMemory = nullptr;
  linearSolver = nullptr;
  jacobianMatrix = nullptr;
  yVector = nullptr;
  abstolVector = nullptr;
  context = nullptr;
}

int CvodeIntegrator::Derivatives(double t, N_Vector y, N_Vector ydot, void* adapter) {
  auto& self = *static_cast<CvodeIntegrator*>(adapter);
  try {
    const double* values = N_VGetArrayPointer(y);
    std::copy(values, values + self.numStates, self.states);
    self.CalculateAlgebraicStatesOrStop();
    *self.indVar = t;
    self.CalculateDerivatives();
  } catch (...) {
    self.evaluationException = std::current_exception();
    self.evaluationExceptionTime = t;
    return kUnrecoverableFailure;
  }
  std::copy(self.derivatives, self.derivatives + self.numStates, N_VGetArrayPointer(ydot));
  return 0;
}

void CvodeIntegrator::WriteSolverMessage(int errorCode, const char* module, const char* function,
                                         char* text, void* adapter) {
  auto* self = static_cast<CvodeIntegrator*>(adapter);
  if (self->evaluationException) return;
  self->WriteFormattedMessage(
      integrator_messages::kSolverMessage, module,
      errorCode < 0 ? integrator_messages::kErrorKind : integrator_messages::kWarningKind, function,
      text);
}

}  // namespace tarn
