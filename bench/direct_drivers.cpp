// Direct DLSODES and CVODE drivers for the model's derivative section.
#include "bench/direct_drivers.h"

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "model/entry_points.h"
#include "tarn/tarnsim.h"

// ODEPACK's DLSODES: every argument by reference, INTEGER 32-bit.
using DlsodesRightHandSide = void (*)(const int32_t* neq, const double* t, double* y, double* ydot);
using DlsodesJacobian = void (*)(const int32_t* neq, const double* t, const double* y,
                                 const int32_t* ia, const int32_t* ja, double* pdj);
extern "C" void dlsodes_(DlsodesRightHandSide f, const int32_t* neq, double* y, double* t,
                         const double* tout, const int32_t* itol, const double* rtol,
                         const double* atol, const int32_t* itask, int32_t* istate,
                         const int32_t* iopt, double* rwork, const int32_t* lrw, int32_t* iwork,
                         const int32_t* liw, DlsodesJacobian jac, const int32_t* mf);

namespace tarn::bench {
namespace {

// The model being integrated and the evaluations made so far; DLSODES passes no user data.
struct Integration {
  const ModelArrays* model;
  int64_t evaluations = 0;
};
Integration* current = nullptr;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "direct integration failed: %s\n", what);
  std::abort();
}

void Evaluate(Integration& integration) {
  ++integration.evaluations;
  zzderivative(integration.model->instance, TARN_SECTION_DERIVATIVE);
}

void StartAt(const ModelArrays& model, const StartPoint& start) {
  *model.t = start.t;
  std::copy(start.states.begin(), start.states.end(), model.states);
}

// DLSODES's F: Y is the model's own state array, so only t needs setting.
void DlsodesDerivatives(const int32_t* neq, const double* t, double* y, double* ydot) {
  const ModelArrays& model = *current->model;
  if (y != model.states) std::copy(y, y + *neq, model.states);
  *model.t = *t;
  Evaluate(*current);
  std::copy(model.derivatives, model.derivatives + *neq, ydot);
}

// DLSODES's IWORK(11), NST.
constexpr std::size_t kOdepackStepCountIndex = 10;
constexpr int32_t kMethodFlag = 222;

int CvodeDerivatives(double t, N_Vector y, N_Vector ydot, void* user) {
  auto& integration = *static_cast<Integration*>(user);
  const ModelArrays& model = *integration.model;
  const double* values = N_VGetArrayPointer(y);
  std::copy(values, values + model.count, model.states);
  *model.t = t;
  Evaluate(integration);
  std::copy(model.derivatives, model.derivatives + model.count, N_VGetArrayPointer(ydot));
  return 0;
}

}  // namespace

DirectStatistics IntegrateWithDlsodes(const ModelArrays& model, const StartPoint& start,
                                      const std::vector<double>& stopTimes, HandOver handOver) {
  const auto n = static_cast<int32_t>(model.count);
  const int32_t itol = 4;
  const int32_t itask = 1;
  const int32_t iopt = 0;
  const int32_t mf = kMethodFlag;
  const int32_t lrw = 3 * n * n + 32 * n + 30;
  const int32_t liw = n + 30;
  std::vector<double> rwork(static_cast<std::size_t>(lrw), 0.0);
  std::vector<int32_t> iwork(static_cast<std::size_t>(liw), 0);
  const std::vector<double> tolerances(model.count, kStateTolerance);

  Integration integration{&model};
  current = &integration;
  StartAt(model, start);
  int32_t istate = 1;
  for (const double tout : stopTimes) {
    if (handOver == HandOver::kWithEvaluations) Evaluate(integration);
    dlsodes_(&DlsodesDerivatives, &n, model.states, model.t, &tout, &itol, tolerances.data(),
             tolerances.data(), &itask, &istate, &iopt, rwork.data(), &lrw, iwork.data(), &liw,
             nullptr, &mf);
    if (istate < 0) Fail("DLSODES");
    *model.t = tout;
    if (handOver != HandOver::kBare) Evaluate(integration);
  }
  current = nullptr;
  return {integration.evaluations, iwork[kOdepackStepCountIndex]};
}

DirectStatistics IntegrateWithCvode(const ModelArrays& model, const StartPoint& start,
                                    const std::vector<double>& stopTimes, HandOver handOver) {
  const auto n = static_cast<sunindextype>(model.count);
  SUNContext context = nullptr;
  if (SUNContext_Create(nullptr, &context) != 0) Fail("SUNContext_Create");
  N_Vector y = N_VNew_Serial(n, context);
  N_Vector abstol = N_VNew_Serial(n, context);
  SUNMatrix matrix = SUNDenseMatrix(n, n, context);
  if (y == nullptr || abstol == nullptr || matrix == nullptr) Fail("CVODE vectors");
  SUNLinearSolver linearSolver = SUNLinSol_Dense(y, matrix, context);
  std::copy(start.states.begin(), start.states.end(), N_VGetArrayPointer(y));
  N_VConst(kStateTolerance, abstol);

  Integration integration{&model};
  StartAt(model, start);
  void* memory = CVodeCreate(CV_BDF, context);
  if (memory == nullptr || CVodeInit(memory, &CvodeDerivatives, start.t, y) != CV_SUCCESS ||
      CVodeSVtolerances(memory, kStateTolerance, abstol) != CV_SUCCESS ||
      CVodeSetUserData(memory, &integration) != CV_SUCCESS || linearSolver == nullptr ||
      CVodeSetLinearSolver(memory, linearSolver, matrix) != CV_SUCCESS) {
    Fail("CVODE set-up");
  }
  double reached = start.t;
  for (const double tout : stopTimes) {
    if (handOver == HandOver::kWithEvaluations) Evaluate(integration);
    if (CVode(memory, tout, y, &reached, CV_NORMAL) != CV_SUCCESS) Fail("CVode");
    const double* solution = N_VGetArrayPointer(y);
    std::copy(solution, solution + model.count, model.states);
    *model.t = tout;
    if (handOver != HandOver::kBare) Evaluate(integration);
  }
  long steps = 0;
  CVodeGetNumSteps(memory, &steps);

  CVodeFree(&memory);
  SUNLinSolFree(linearSolver);
  SUNMatDestroy(matrix);
  N_VDestroy(y);
  N_VDestroy(abstol);
  SUNContext_Free(&context);
  return {integration.evaluations, steps};
}

}  // namespace tarn::bench
