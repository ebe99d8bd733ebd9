// Work against precision on the lactation run (4320 h at cint 1, no perchlorate), through
// libtarn.so as a host runs it: for each method and each tolerance (relative and absolute alike,
// on every state) the CPU time of one run and its worst error over every state at every hourly
// output, against a reference run at 1e-12.
//
// The error of a value is measured in the units of the mixed test
// |got - want| <= rtol |want| + 1e-4 rtol max|want| (max over the run, per state):
// e = |got - want| / (|want| + 1e-4 max|want|), so that a run meets its tolerance where e <= rtol.
// The worst is given over every state, and over every state but the two of the radio-iodide
// tracer (atgraimom, athyt_free_rai): the tracer's pulse switches on at tstop - 24 within a step of
// the libraries, which no method resolves better than about 1e-3 (the reference itself not).
//
//   tarn_work_precision [methods]   e.g. `tarn_work_precision 14,15`; all five by default
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "tarn/tarn.h"

namespace {

constexpr uint32_t kFirstState = 2;
constexpr uint32_t kStateCount = 101;
constexpr double kReferenceTolerance = 1e-12;
constexpr int32_t kReferenceMethod = 15;  // CVODE
constexpr double kSmallFraction = 1e-4;   // of a state's largest magnitude, in the mixed test

struct Method {
  int32_t code;
  const char* name;
};
constexpr Method kMethods[] = {
    {14, "DLSODES"}, {15, "CVODE"}, {2, "Gear"}, {12, "Rosenbrock"}, {9, "Fehlberg 4(5)"}};

// The states at every output point of the run in progress, one row of kStateCount per point.
std::vector<double>* recording = nullptr;

void RecordStates(uint32_t instance, uint32_t, TarnTickType type) {
  if (type != TARN_TICK_OUTPUT || recording == nullptr) return;
  for (uint32_t i = 0; i < kStateCount; ++i) {
    recording->push_back(TarnGetDouble(instance, kFirstState + i));
  }
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Result {
  std::vector<double> states;  // at every output point
  double seconds = 0;
  bool complete = false;
};

// One lactation run of `method` with every state held to `tolerance`.
Result Run(int32_t method, double tolerance) {
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  TarnSetLong(instance, TarnGetSymbolIndex("ialg"), method);
  TarnSetDouble(instance, TarnGetSymbolIndex("cint"), 1);
  TarnSetDouble(instance, TarnGetSymbolIndex("tstop"), 4320);
  for (uint32_t index = kFirstState; index < kFirstState + kStateCount; ++index) {
    TarnSetRelativeError(instance, index, tolerance);
    TarnSetAbsoluteError(instance, index, tolerance);
  }
  Result result;
  recording = &result.states;
  TarnAddTickCallbackFunction(instance, 0, &RecordStates);
  const double start = CpuSeconds();
  TarnStartBlocking(instance);
  result.seconds = CpuSeconds() - start;
  recording = nullptr;
  result.complete = TarnGetDouble(instance, TarnGetSymbolIndex("t")) == 4320;
  TarnFinalize();
  return result;
}

struct Error {
  double worst = 0;
  uint32_t state = 0;  // symbol index of the state where it occurs
};

bool IsTracerState(uint32_t index) {
  return std::string(TarnGetSymbolName(index)).find("rai") != std::string::npos;
}

// The worst error of `got` against `want` in the units of the mixed test, and where; over every
// state, or over every state but the tracer's.
Error WorstError(const std::vector<double>& got, const std::vector<double>& want, bool withTracer) {
  std::vector<double> largest(kStateCount, 0.0);
  for (std::size_t k = 0; k < want.size(); ++k) {
    largest[k % kStateCount] = std::max(largest[k % kStateCount], std::fabs(want[k]));
  }
  Error error;
  const std::size_t count = std::min(got.size(), want.size());
  for (std::size_t k = 0; k < count; ++k) {
    const double scale = std::fabs(want[k]) + kSmallFraction * largest[k % kStateCount];
    const auto state = kFirstState + static_cast<uint32_t>(k % kStateCount);
    if (!withTracer && IsTracerState(state)) continue;
    const double e = scale > 0 ? std::fabs(got[k] - want[k]) / scale : 0;
    if (e > error.worst) error = {e, state};
  }
  return error;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Method> methods(std::begin(kMethods), std::end(kMethods));
  if (argc > 1) {
    std::vector<int32_t> wanted;
    for (const char* code = argv[1]; *code != '\0';) {
      char* end = nullptr;
      wanted.push_back(static_cast<int32_t>(std::strtol(code, &end, 10)));
      code = *end == ',' ? end + 1 : end;
      if (end == code && *code != '\0') ++code;  // skip anything that is not a number
    }
    std::erase_if(methods, [&](const Method& m) {
      return std::find(wanted.begin(), wanted.end(), m.code) == wanted.end();
    });
  }
  const Result reference = Run(kReferenceMethod, kReferenceTolerance);
  if (!reference.complete) {
    std::fprintf(stderr, "the reference run failed\n");
    return 1;
  }
  const Result check = Run(14, kReferenceTolerance);
  const Error agreement = WorstError(check.states, reference.states, true);
  const Error agreementWithout = WorstError(check.states, reference.states, false);
  std::printf(
      "reference: CVODE at %g, %.2f s; DLSODES at %g against it: %.2g (%s), without the tracer "
      "%.2g (%s)%s\n\n",
      kReferenceTolerance, reference.seconds, kReferenceTolerance, agreement.worst,
      TarnGetSymbolName(agreement.state), agreementWithout.worst,
      TarnGetSymbolName(agreementWithout.state), check.complete ? "" : ", incomplete");
  std::printf("%-14s %9s %12s %12s %-16s %12s %s\n", "method", "tolerance", "CPU time",
              "worst error", "at state", "w/o tracer", "at state");
  for (const Method& method : methods) {
    for (const double tolerance : {1e-4, 1e-6, 1e-8}) {
      const Result result = Run(method.code, tolerance);
      if (!result.complete) {
        std::printf("%-14s %9.0e %10.1f ms %12s\n", method.name, tolerance, result.seconds * 1e3,
                    "failed");
        continue;
      }
      const Error error = WorstError(result.states, reference.states, true);
      const Error without = WorstError(result.states, reference.states, false);
      std::printf("%-14s %9.0e %10.1f ms %12.2g %-16s %12.2g %s\n", method.name, tolerance,
                  result.seconds * 1e3, error.worst, TarnGetSymbolName(error.state), without.worst,
                  TarnGetSymbolName(without.state));
      std::fflush(stdout);
    }
  }
  return 0;
}
