// Benchmarks of the runtime against its floor: the cost of one evaluation of the derivative
// section, complete runs through the host interface with each algorithm, repeated runs in one
// process, and the same runs integrated by DLSODES and CVODE called directly. Every run
// benchmark reports, as counters, the evaluations of the derivative section by kind and the
// steps taken; at the end a summary sets each runtime figure against its floor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/direct_drivers.h"
#include "bench/evaluation_census.h"
#include "bench/model_session.h"
#include "model/entry_points.h"
#include "runtime/floating_point_status.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn::bench {
namespace {

// Every benchmark runs this many times; the fastest repetition is reported, since other work on
// the machine only ever adds time.
constexpr int kRepetitions = 3;

constexpr int32_t kDlsodes = 14;
constexpr int32_t kCvode = 15;
constexpr int32_t kRungeKutta4 = 5;

// Classical RK4 is unstable on the model at the default step (cint/nstp = 0.005 h): the infant's
// gut uptake of perchlorate relaxes at about 30000 per hour. It runs with steps of 5e-5 h.
constexpr int32_t kRungeKutta4StepsPerInterval = 1000;

int32_t StepsPerInterval(int32_t algorithm) {
  return algorithm == kRungeKutta4 ? kRungeKutta4StepsPerInterval : kDefaultStepsPerInterval;
}

const char* LibraryName(int32_t algorithm) { return algorithm == kDlsodes ? "dlsodes" : "cvode"; }

std::string RunName(const RunConfiguration& run, const std::string& method, const char* kind) {
  return std::string(run.name) + "/" + method + "/" + kind;
}

// Whether the model keeps its declaration of memoryless derivative sections for a run.
enum class Declaration { kAsRegistered, kWithdrawn };

// A session configured for `run`, with or without the model's declaration.
void Prepare(const ModelSession& session, const RunConfiguration& run, int32_t algorithm,
             int32_t stepsPerInterval, Declaration declaration) {
  session.Configure(run, algorithm, stepsPerInterval);
  if (declaration == Declaration::kWithdrawn) session.WithdrawDeclaration();
}

// One census per run, algorithm, steps per interval and declaration, taken the first time a
// benchmark needs it.
const RunCensus& CensusOf(const RunConfiguration& run, int32_t algorithm, int32_t stepsPerInterval,
                          Declaration declaration = Declaration::kAsRegistered) {
  static std::map<std::tuple<std::string, int32_t, int32_t, Declaration>, RunCensus> censuses;
  const auto key = std::make_tuple(std::string(run.name), algorithm, stepsPerInterval, declaration);
  auto found = censuses.find(key);
  if (found == censuses.end()) {
    ModelSession session;
    Prepare(session, run, algorithm, stepsPerInterval, declaration);
    found = censuses.emplace(key, TakeCensus(session)).first;
  }
  return found->second;
}

void ReportCensus(benchmark::State& state, const RunCensus& census) {
  state.counters["evals"] = static_cast<double>(census.evaluations.Total());
  state.counters["evals_step_start"] = static_cast<double>(census.evaluations.stepStart);
  state.counters["evals_post_step"] = static_cast<double>(census.evaluations.postStep);
  state.counters["evals_method"] = static_cast<double>(census.evaluations.method);
  state.counters["steps"] = static_cast<double>(census.steps);
  state.counters["library_steps"] = static_cast<double>(census.librarySteps);
}

// ---- One evaluation of the derivative section -----------------------------------------------

// At the state the run reaches at `time`: the section's arithmetic, its table lookups and its
// transcendental functions, with nothing around the call.
void DerivativeSection(benchmark::State& state, RunConfiguration run, double time) {
  ModelSession session;
  session.Configure(run, kDlsodes);
  session.PreStep();
  TarnRunToTime(session.instance(), time);
  for (auto _ : state) {
    zzderivative(session.instance(), TARN_SECTION_DERIVATIVE);
    benchmark::ClobberMemory();
  }
}

// The floating-point status handling around every evaluation by the integrators: the exception
// flags cleared before and tested after the model's function.
void FloatingPointStatus(benchmark::State& state) {
  for (auto _ : state) {
    ClearFloatingPointStatus();
    benchmark::DoNotOptimize(FloatingPointFaultRaised());
  }
}

// ---- Runs through the host interface --------------------------------------------------------

// A complete run from the initial section to tstop, as a host starts it.
void RuntimeRun(benchmark::State& state, RunConfiguration run, int32_t algorithm,
                int32_t stepsPerInterval, Declaration declaration) {
  ReportCensus(state, CensusOf(run, algorithm, stepsPerInterval, declaration));
  ModelSession session;
  Prepare(session, run, algorithm, stepsPerInterval, declaration);
  for (auto _ : state) session.Run();
}

// The same run driven one communication interval at a time, as a host that reads every output
// point does: the initial section, then TarnStep until tstop.
void SteppedRun(benchmark::State& state, RunConfiguration run, int32_t algorithm) {
  ModelSession session;
  session.Configure(run, algorithm);
  const uint32_t time = ModelSession::Index("t");
  for (auto _ : state) {
    session.PreStep();
    while (session.Get(time) < run.stopTime) TarnStep(session.instance());
  }
}

// What a parameter scan does: set a parameter, start, run, read the outputs, again. Each run
// gets a different iodide dose; the outputs read are every state and the mother's and infant's
// serum iodide and thyroid contents.
void RepeatedRuns(benchmark::State& state) {
  ModelSession session;
  session.Configure(kDefaultRun, kDlsodes);
  const uint32_t instance = session.instance();
  const uint32_t dose = ModelSession::Index("idose");
  const std::vector<uint32_t> outputs = {ModelSession::Index("ca_i"), ModelSession::Index("ca_ni"),
                                         ModelSession::Index("athyt_i"),
                                         ModelSession::Index("cthyb_ni")};
  const uint32_t firstState = 2;
  const uint32_t stateCount = session.Arrays().count;
  const double baseDose = session.Get(dose);
  std::vector<double> read(stateCount + outputs.size());
  int64_t runs = 0;
  for (auto _ : state) {
    TarnSetDouble(instance, dose, baseDose * static_cast<double>(1 + runs % 10));
    TarnStartBlocking(instance);
    for (uint32_t i = 0; i < stateCount; ++i) read[i] = TarnGetDouble(instance, firstState + i);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      read[stateCount + i] = TarnGetDouble(instance, outputs[i]);
    }
    benchmark::DoNotOptimize(read.data());
    ++runs;
  }
  TarnSetDouble(instance, dose, baseDose);
  state.SetItemsProcessed(runs);
  state.counters["runs_per_second"] =
      benchmark::Counter(static_cast<double>(runs), benchmark::Counter::kIsRate);
}

// ---- The floor ----------------------------------------------------------------------------

// The same run integrated by the library called directly from the same start, stopping at the
// run's output times (HandOver::kBare; HandOver::kWithOutputEvaluations with an evaluation at each
// output time), or at the step ends of the run of a model that declares nothing, with the two
// evaluations the design makes around every step (HandOver::kWithEvaluations).
void DirectRun(benchmark::State& state, RunConfiguration run, int32_t algorithm,
               HandOver handOver) {
  const RunCensus& census =
      CensusOf(run, algorithm, kDefaultStepsPerInterval, Declaration::kWithdrawn);
  const std::vector<double>& stopTimes =
      handOver == HandOver::kWithEvaluations ? census.stepEnds : census.outputTimes;
  ModelSession session;
  session.Configure(run, algorithm);
  session.PreStep();
  const ModelArrays model = session.Arrays();
  StartPoint start{*model.t, std::vector<double>(model.states, model.states + model.count)};
  const auto integrate = algorithm == kDlsodes ? &IntegrateWithDlsodes : &IntegrateWithCvode;

  DirectStatistics statistics;
  for (auto _ : state) statistics = integrate(model, start, stopTimes, handOver);
  state.counters["evals"] = static_cast<double>(statistics.evaluations);
  state.counters["library_steps"] = static_cast<double>(statistics.librarySteps);
  state.counters["calls"] = static_cast<double>(stopTimes.size());
}

// ---- Summary ------------------------------------------------------------------------------

// The console report, with the fastest of the repetitions of each benchmark only, followed by
// each runtime run against its two floors.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    std::vector<Run> shown;
    for (const Run& run : reports) {
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!fastest && !single) continue;
      shown.push_back(run);
      if (!run.error_occurred) {
        seconds_[run.run_name.function_name] =
            run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(shown);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-24s %9s %9s %9s %9s %9s %8s %8s %8s %8s\n", "run (CPU time, ms)", "runtime",
                "undecl.", "direct", "outputs", "handover", "/direct", "/outputs", "undecl.",
                "own");
    const std::string suffix = "/runtime";
    for (const auto& [name, runtime] : seconds_) {
      if (name.size() <= suffix.size() ||
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        continue;
      }
      const std::string stem = name.substr(0, name.size() - suffix.size());
      const auto undeclared = seconds_.find(stem + "/runtime_undeclared");
      const auto direct = seconds_.find(stem + "/direct");
      const auto outputs = seconds_.find(stem + "/direct_outputs");
      const auto handover = seconds_.find(stem + "/direct_handover");
      if (undeclared == seconds_.end() || direct == seconds_.end() || outputs == seconds_.end() ||
          handover == seconds_.end()) {
        continue;
      }
      std::printf("%-24s %9.2f %9.2f %9.2f %9.2f %9.2f %7.2fx %7.2fx %7.2fx %7.2fx\n", stem.c_str(),
                  runtime * 1e3, undeclared->second * 1e3, direct->second * 1e3,
                  outputs->second * 1e3, handover->second * 1e3, runtime / direct->second,
                  runtime / outputs->second, undeclared->second / outputs->second,
                  undeclared->second / handover->second);
    }
    std::printf(
        "/direct and /outputs: the runtime against the bare direct driver and against the direct\n"
        "driver that also evaluates the model at every output time. undecl.: the run of a model\n"
        "that does not declare memoryless derivative sections, against the outputs floor; own:\n"
        "that run against the direct driver on its hand-over schedule with its evaluations.\n");
  }

 private:
  std::map<std::string, double> seconds_;
};

double Fastest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void Repeat(benchmark::internal::Benchmark* benchmark, benchmark::TimeUnit unit) {
  benchmark->Unit(unit)->Repetitions(kRepetitions)->ComputeStatistics("min", Fastest);
}

template <class... Arguments>
void Register(const std::string& name, benchmark::TimeUnit unit, Arguments&&... arguments) {
  Repeat(benchmark::RegisterBenchmark(name.c_str(), std::forward<Arguments>(arguments)...), unit);
}

void RegisterLibraryRun(const RunConfiguration& run, int32_t algorithm) {
  const char* library = LibraryName(algorithm);
  Register(RunName(run, library, "runtime"), benchmark::kMillisecond, RuntimeRun, run, algorithm,
           kDefaultStepsPerInterval, Declaration::kAsRegistered);
  Register(RunName(run, library, "runtime_undeclared"), benchmark::kMillisecond, RuntimeRun, run,
           algorithm, kDefaultStepsPerInterval, Declaration::kWithdrawn);
  Register(RunName(run, library, "direct"), benchmark::kMillisecond, DirectRun, run, algorithm,
           HandOver::kBare);
  Register(RunName(run, library, "direct_outputs"), benchmark::kMillisecond, DirectRun, run,
           algorithm, HandOver::kWithOutputEvaluations);
  Register(RunName(run, library, "direct_handover"), benchmark::kMillisecond, DirectRun, run,
           algorithm, HandOver::kWithEvaluations);
}

void RegisterBenchmarks() {
  Register("DerivativeSection/day_t12", benchmark::kNanosecond, DerivativeSection, kDefaultRun,
           12.0);
  Register("DerivativeSection/lactation_dosed_t2160", benchmark::kNanosecond, DerivativeSection,
           kLactationDosedRun, 2160.0);
  Register("FloatingPointStatus/clear_and_test", benchmark::kNanosecond, FloatingPointStatus);

  struct Method {
    int32_t code;
    const char* name;
  };
  for (const Method& method : {Method{kRungeKutta4, "rk4"}, Method{9, "fehlberg45"},
                               Method{12, "rosenbrock"}, Method{2, "gear"}}) {
    Register(RunName(kDefaultRun, method.name, "runtime"), benchmark::kMillisecond, RuntimeRun,
             kDefaultRun, method.code, StepsPerInterval(method.code), Declaration::kAsRegistered);
  }
  for (const RunConfiguration& run : {kDefaultRun, kLactationRun, kLactationDosedRun}) {
    for (int32_t algorithm : {kDlsodes, kCvode}) RegisterLibraryRun(run, algorithm);
  }
  Register(RunName(kDefaultRun, "dlsodes", "runtime_stepped"), benchmark::kMillisecond, SteppedRun,
           kDefaultRun, kDlsodes);
  // DLSODES hands over once per interval: nstp sets only the hand-over step of the adapters.
  Register(RunName(kLactationDosedRun, "dlsodes", "runtime_nstp1"), benchmark::kMillisecond,
           RuntimeRun, kLactationDosedRun, kDlsodes, 1, Declaration::kAsRegistered);
  Register("RepeatedRuns/day/dlsodes", benchmark::kMillisecond, RepeatedRuns);
}

}  // namespace
}  // namespace tarn::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tarn::bench::RegisterBenchmarks();
  tarn::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
