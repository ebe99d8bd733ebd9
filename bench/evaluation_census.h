// The census of one run: every evaluation of the derivative section counted by who asked for it,
// the steps taken, and the times at which the run handed over to the integrator and produced
// output, so that the direct drivers can repeat exactly the same schedule without the runtime.
#ifndef TARN_BENCH_EVALUATION_CENSUS_H
#define TARN_BENCH_EVALUATION_CENSUS_H

#include <cstdint>
#include <vector>

#include "bench/model_session.h"

namespace tarn::bench {

struct EvaluationCounts {
  int64_t stepStart = 0;  // at the start of a step (the adapters' evaluation before each call)
  int64_t postStep = 0;   // the solver's evaluation after a step (left out where unobserved)
  int64_t method = 0;     // the integration method's own: the solver library's, or the stages
  int64_t other = 0;      // run initialisation and reset

  int64_t Total() const { return stepStart + postStep + method + other; }
};

struct RunCensus {
  EvaluationCounts evaluations;
  int64_t steps = 0;                // steps of the runtime, passed-over steps among them
  int64_t librarySteps = 0;         // internal steps of the solver library; 0 for other methods
  std::vector<double> outputTimes;  // each communication point after the start, in order
  std::vector<double> stepEnds;     // the time of every post-step evaluation, in order
};

// Runs `session` once as configured with every evaluation of the derivative section counted.
RunCensus TakeCensus(const ModelSession& session);

}  // namespace tarn::bench

#endif  // TARN_BENCH_EVALUATION_CENSUS_H
