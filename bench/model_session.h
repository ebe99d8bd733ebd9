// ModelSession: the library initialised with one instance of the model, configured for one of the
// benchmarked runs, and the model's arrays as the solver binds them.
#ifndef TARN_BENCH_MODEL_SESSION_H
#define TARN_BENCH_MODEL_SESSION_H

#include <cstdint>

namespace tarn::bench {

// One benchmarked run: communication interval and stop time in hours, and whether the mother
// drinks perchlorate-laden water and the infant's formula carries perchlorate. Every other symbol
// keeps the model's default.
struct RunConfiguration {
  const char* name;
  double commInterval;
  double stopTime;
  bool perchlorate;
};

inline constexpr RunConfiguration kDefaultRun{"day", 0.05, 24, false};
inline constexpr RunConfiguration kLactationRun{"lactation", 1, 4320, false};
inline constexpr RunConfiguration kLactationDosedRun{"lactation_dosed", 1, 4320, true};

// The model's own steps per communication interval (nstp).
inline constexpr int32_t kDefaultStepsPerInterval = 10;

// Tolerance of every state, relative and absolute: the model's registered default.
inline constexpr double kStateTolerance = 1e-4;

// The integration states of the model and its independent variable, where the runtime binds them
// (the states of symbols 2.., their derivatives after them, in the model's data block).
struct ModelArrays {
  uint32_t instance = 0;
  uint32_t count = 0;
  double* t = nullptr;
  double* states = nullptr;
  double* derivatives = nullptr;
};

class ModelSession {
 public:
  // Initialises the library and creates the instance; aborts when either fails, since no
  // benchmark means anything without them.
  ModelSession();
  ~ModelSession();
  ModelSession(const ModelSession&) = delete;
  ModelSession& operator=(const ModelSession&) = delete;

  uint32_t instance() const { return instance_; }

  // Sets the algorithm code, steps per interval, interval, stop time and dosing of `run`. The
  // model's data outlives the session, so every symbol a benchmark may change is set here.
  void Configure(const RunConfiguration& run, int32_t algorithm,
                 int32_t stepsPerInterval = kDefaultStepsPerInterval) const;

  // Withdraws the model's declaration of memoryless derivative sections until the next session:
  // the runs make every evaluation and library call of the hand-over, as for a model that
  // declares nothing.
  void WithdrawDeclaration() const;
  // One complete run on the calling thread; aborts unless it reached tstop.
  void Run() const;

  // Runs the initial section and stops before the first interval: t and the states at the start
  // of the run.
  void PreStep() const;

  double Get(uint32_t index) const;
  void Set(const char* name, double value) const;
  static uint32_t Index(const char* name);

  ModelArrays Arrays() const;

 private:
  uint32_t instance_ = 0;
  uint32_t timeIndex_ = 0;
  uint32_t stopTimeIndex_ = 0;
};

}  // namespace tarn::bench

#endif  // TARN_BENCH_MODEL_SESSION_H
