// The census: for one run, the model's derivative function as the runtime knows it is replaced by
// a counting one that classifies each call by the flags of the integrator that made it.
#include "bench/evaluation_census.h"

#include <cvode/cvode.h>

#include "integrators/cvode_integrator.h"
#include "integrators/integrator.h"
#include "integrators/odepack_integrator.h"
#include "runtime/runtime.h"
#include "solver/ode_solver.h"
#include "tarn/tarnsim.h"

namespace tarn::bench {
namespace {

// DLSODES's IWORK(11), NST: steps taken since the last start.
constexpr std::size_t kOdepackStepCountIndex = 10;

struct CensusInProgress {
  RunCensus* census;
  TarnSimDerivativeFunction model;
  int64_t librarySince = 0;  // the library's step count when last read
};

CensusInProgress* inProgress = nullptr;

Integrator* ActiveIntegrator(uint32_t instance) {
  const SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  return record != nullptr && record->solver ? record->solver->GetIntegrator() : nullptr;
}

// Steps the solver library has taken since it last started afresh; 0 for other integrators.
int64_t LibraryStepCount(Integrator* integrator) {
  if (auto* odepack = dynamic_cast<OdepackIntegrator*>(integrator)) {
    return odepack->iwork.size() > kOdepackStepCountIndex ? odepack->iwork[kOdepackStepCountIndex]
                                                          : 0;
  }
  if (auto* cvode = dynamic_cast<CvodeIntegrator*>(integrator)) {
    long steps = 0;
    if (cvode->cvodeMemory != nullptr) CVodeGetNumSteps(cvode->cvodeMemory, &steps);
    return steps;
  }
  return 0;
}

// Adds the library's steps since the last reading; a count that went down means the library
// started afresh in between and counts from 0 again.
void ReadLibrarySteps(Integrator* integrator) {
  const int64_t count = LibraryStepCount(integrator);
  int64_t& since = inProgress->librarySince;
  inProgress->census->librarySteps += count >= since ? count - since : count;
  since = count;
}

void CountingDerivative(uint32_t instance, uint32_t section) {
  RunCensus& census = *inProgress->census;
  const double t =
      *TarnSimRuntime::GetInstance()->GetSystemInstance(instance)->IndependentVariable();
  if (section == TARN_SECTION_COMM_POINT) {
    census.outputTimes.push_back(t);
    // The steps of the interval that ended here (none before the first).
    census.steps +=
        TarnSimRuntime::GetInstance()->GetSystemInstance(instance)->solver->GetStepCount();
  } else if (section == TARN_SECTION_DERIVATIVE) {
    Integrator* integrator = ActiveIntegrator(instance);
    EvaluationCounts& counts = census.evaluations;
    if (integrator == nullptr || integrator->initializing) {
      ++counts.other;
    } else if (integrator->inPostStepEvaluation) {
      ++counts.postStep;
      census.stepEnds.push_back(t);
      ReadLibrarySteps(integrator);
    } else if (integrator->inAuxiliaryEvaluation) {
      ++counts.stepStart;
    } else {
      ++counts.method;
    }
  }
  inProgress->model(instance, section);
}

}  // namespace

RunCensus TakeCensus(const ModelSession& session) {
  RunCensus census;
  SystemInformation& info = TarnSimRuntime::GetInstance()->GetSystemInfo();
  CensusInProgress counting{&census, info.derivative};
  inProgress = &counting;
  info.derivative = &CountingDerivative;
  session.Run();
  info.derivative = counting.model;
  inProgress = nullptr;
  // The first communication point is the start of the run.
  if (!census.outputTimes.empty()) census.outputTimes.erase(census.outputTimes.begin());
  return census;
}

}  // namespace tarn::bench
