// Fuzz target: run control of the host API on the library's own model. Each input is a sequence
// of instance creations and destructions, writes of run-control symbols and model parameters
// (NaN, infinities, zero, negative, huge and ordinary values), pre-steps, steps, runs to a time,
// blocking and non-blocking starts and continues, stops, reinitialisations, tolerance changes,
// synchronisation points and finalisations, on a horizon of a few communication intervals.
//
// Checks: every call returns (a run that cannot proceed must end by itself; a watchdog stops runs
// that are merely long, such as a huge step count, through TarnStop as a host would); the
// execution states of every run are well formed (1 or 6 opens a run, 5 or 7 closes it, nothing
// else outside a run, no run left open when a blocking call returns); and after the input, a
// fresh instance with the model's default values runs to exactly the reference result, so that
// nothing a hostile run did survives it.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "solver/message_buffer.h"
#include "tarn/tarn.h"

namespace {

using Clock = std::chrono::steady_clock;

// Short horizon: four intervals of the model's default 0.05 h.
constexpr double kHorizon = 0.2;
// A run call gets this long before the watchdog starts stopping it.
constexpr auto kRunBudget = std::chrono::milliseconds(100);
// A tick callback stops any run call that has produced this many output ticks.
constexpr int kTickBudget = 20;
constexpr size_t kMaxInstances = 4;

// TARN_FUZZ_TRACE=1 prints every call and execution state, to read a reproducer.
const bool trace = std::getenv("TARN_FUZZ_TRACE") != nullptr;

void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "violated: %s\n", property);
  std::abort();
}

// ---- The model's default values, restored before every input ------------------------------

struct SavedSymbol {
  uint32_t index;
  TarnDataType dataType;
  TarnSymbolValue value;
  std::array<uint32_t, 6> extents;
  std::vector<double> elements;  // the model's arrays are one-dimensional doubles
};
std::vector<SavedSymbol> defaults;

void SaveDefaults(uint32_t instance) {
  const uint32_t count = TarnGetNumberSymbols();
  for (uint32_t index = 1; index <= count; ++index) {
    SavedSymbol saved{};
    saved.index = index;
    Require(
        TarnGetSymbolValue(instance, index, &saved.dataType, &saved.value, saved.extents.data()),
        "every symbol reads");
    if (saved.extents[0] != 0) {
      const auto* elements = static_cast<const double*>(saved.value.address);
      saved.elements.assign(elements, elements + saved.extents[0]);
    }
    defaults.push_back(saved);
  }
}

void RestoreDefaults(uint32_t instance) {
  for (SavedSymbol& saved : defaults) {
    TarnSymbolValue value = saved.value;
    if (!saved.elements.empty()) value.address = saved.elements.data();
    TarnSetSymbolValue(instance, saved.index, saved.dataType, value, saved.extents.data());
  }
}

uint32_t Index(const char* name) {
  const uint32_t index = TarnGetSymbolIndex(name);
  Require(index != 0, "the model has the symbol");
  return index;
}

// ---- Callbacks: execution states, ticks -------------------------------------------------------

std::atomic<bool> runOpen{false};
std::atomic<int> runsEnded{0};
std::atomic<int> ticksThisCall{0};

void OnState(uint32_t instance, uint32_t, TarnExecutionState, TarnExecutionState next) {
  if (trace) std::fprintf(stderr, "  state %d of instance %u\n", next, instance);
  switch (next) {
    case TARN_STATE_STARTED:
    case TARN_STATE_DEBUG_STARTED:
      Require(!runOpen.exchange(true), "a run starts only after the last one ended");
      break;
    case TARN_STATE_INITIALIZED:
    case TARN_STATE_EXCEPTION:
      Require(runOpen.load(), "initialisation and exceptions happen inside a run");
      break;
    case TARN_STATE_ENDED:
    case TARN_STATE_DEBUG_ENDED:
      Require(runOpen.exchange(false), "a run ends once, after it started");
      ++runsEnded;
      break;
    case TARN_STATE_CONTINUE_REQUESTED:
      Require(!runOpen.load(), "a continue is requested between runs");
      break;
    default:
      Require(false, "only the listed execution states are reported");
  }
  (void)instance;
}

void OnTick(uint32_t instance, uint32_t, TarnTickType) {
  // A host that has seen enough stops the run from its callback.
  if (++ticksThisCall >= kTickBudget) TarnStop(instance);
}

// A delivered text holds at most the buffer's limit, the message that crossed it and the line
// counting those left out; no single message comes near 64 KiB.
constexpr size_t kLongestDelivery = tarn::kMessageBufferLimit + 64 * 1024;

void OnStatus(uint32_t, uint32_t, const char* text) {
  Require(text != nullptr && std::strlen(text) < kLongestDelivery, "messages are bounded text");
}

// ---- Watchdog: stops runs that outlive their budget, as a host's stop button would ------------

class Watchdog {
 public:
  Watchdog() : thread_([this] { Loop(); }) {}

  // Arms the watchdog for a run call on `instance` (any instance stops the shared run flag).
  void Arm(uint32_t instance) {
    std::lock_guard lock(mutex_);
    instance_ = instance;
    deadline_ = Clock::now() + kRunBudget;
    armed_ = true;
    changed_.notify_all();
  }
  void Disarm() {
    std::lock_guard lock(mutex_);
    armed_ = false;
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return armed_; });
      if (changed_.wait_until(lock, deadline_, [this] { return !armed_; })) continue;
      // Over budget: keep stopping until the call returns (a continue clears the flag).
      while (armed_) {
        TarnStop(instance_);
        changed_.wait_for(lock, std::chrono::milliseconds(2));
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false;
  uint32_t instance_ = 0;
  Clock::time_point deadline_;
  std::thread thread_;
};

Watchdog* watchdog = nullptr;

// ---- Reference result of a fresh default run ----------------------------------------------------

const char* const kOutputs[] = {"t", "ca_i", "ca_ni", "ca_p", "athyt_i", "ct4", "ct3_n"};
std::vector<double> reference;

std::vector<double> FreshRun() {
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  Require(instance != 0, "an instance can be created");
  RestoreDefaults(instance);
  TarnSetDouble(instance, Index("tstop"), kHorizon);
  TarnStartBlocking(instance);
  std::vector<double> outputs;
  for (const char* name : kOutputs) outputs.push_back(TarnGetDouble(instance, Index(name)));
  TarnFinalize();
  return outputs;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// ---- Hostile values -----------------------------------------------------------------------------

double AnyDouble(FuzzedDataProvider& data) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kSpecial[] = {kNaN,
                                 -kNaN,
                                 kInf,
                                 -kInf,
                                 0.0,
                                 -0.0,
                                 -1.0,
                                 -1e-3,
                                 1e300,
                                 -1e300,
                                 1e-300,
                                 5e-324,
                                 1e-12,
                                 1e-6,
                                 1e-3,
                                 0.01,
                                 0.05,
                                 0.1,
                                 0.125,
                                 0.2,
                                 0.3,
                                 1.0,
                                 2.0,
                                 24.0,
                                 1e6,
                                 std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::min()};
  if (data.ConsumeIntegralInRange(0, 5) != 0) return data.PickValueInArray(kSpecial);
  const uint64_t bits = data.ConsumeIntegral<uint64_t>();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int32_t AnyLong(FuzzedDataProvider& data) {
  constexpr int32_t kSpecial[] = {0,
                                  -1,
                                  1,
                                  2,
                                  3,
                                  4,
                                  5,
                                  6,
                                  7,
                                  8,
                                  9,
                                  10,
                                  11,
                                  12,
                                  13,
                                  14,
                                  15,
                                  16,
                                  100,
                                  1000,
                                  210,
                                  212,
                                  213,
                                  220,
                                  222,
                                  223,
                                  221,
                                  std::numeric_limits<int32_t>::min(),
                                  std::numeric_limits<int32_t>::max()};
  if (data.ConsumeIntegralInRange(0, 5) != 0) return data.PickValueInArray(kSpecial);
  return data.ConsumeIntegral<int32_t>();
}

// Run-control symbols written by name, and every parameter of the model by index.
const char* const kDoubleControls[] = {"cint", "maxt", "mint", "tstop", "zzticg", "tjnitg"};
const char* const kLongControls[] = {"ialg",   "nstp",   "nciout", "mxoitg",
                                     "omfitg", "ubwitg", "lbwitg"};
const char* const kLogicalControls[] = {"cieitg", "wesitg", "cjvitg", "zzstopflag", "zzstepstop"};
std::vector<uint32_t> parameters;
uint32_t stateCount = 0;

void FindParameters() {
  const uint32_t count = TarnGetNumberSymbols();
  for (uint32_t index = 1; index <= count; ++index) {
    TarnSymbolInfo info;
    Require(TarnGetSymbolInfo(index, &info), "every symbol is described");
    // Attribute 1 marks a constant (a parameter with a default value).
    if (info.attributes[1] != 0 && info.dataType == TARN_DATA_DOUBLE) parameters.push_back(index);
    if (info.symbolType == TARN_SYMBOL_STATE) ++stateCount;
  }
}

// ---- One input ---------------------------------------------------------------------------------

class Session {
 public:
  explicit Session(FuzzedDataProvider& data) : data_(data) {}

  void Run() {
    TarnInitialize();
    Create();
    RestoreDefaults(instances_.front());
    TarnSetDouble(instances_.front(), Index("tstop"), kHorizon);
    const int calls = data_.ConsumeIntegralInRange(1, 24);
    for (int call = 0; call < calls && data_.remaining_bytes() > 0; ++call) OneCall();
    TarnFinalize();
    Require(!runOpen.load(), "finalising ends every run");
  }

 private:
  void Create() {
    if (instances_.size() >= kMaxInstances) return;
    const uint32_t instance = TarnCreate();
    Require(instance != 0, "an instance can be created");
    TarnAddExecutionStateChangeCallbackFunction(instance, 0, OnState);
    TarnAddTickCallbackFunction(instance, 0, OnTick);
    TarnAddStatusCallback(instance, 0, OnStatus);
    instances_.push_back(instance);
  }

  // An existing instance, or now and then a number that names none.
  uint32_t AnyInstance() {
    if (!instances_.empty() && data_.ConsumeIntegralInRange(0, 7) != 0) {
      return instances_[data_.ConsumeIntegralInRange<size_t>(0, instances_.size() - 1)];
    }
    return data_.PickValueInArray<uint32_t>({0u, 7u, 99u, 100u});
  }

  // Runs one run-control call under the watchdog and checks that it leaves no run open.
  template <typename Call>
  void Guarded(uint32_t instance, Call call) {
    ticksThisCall = 0;
    watchdog->Arm(instances_.empty() ? instance : instances_.back());
    call();
    watchdog->Disarm();
    Require(!runOpen.load(), "a blocking call returns with its run ended");
  }

  void OneCall() {
    const uint32_t instance = AnyInstance();
    const int call = data_.ConsumeIntegralInRange(0, 17);
    if (trace) std::fprintf(stderr, "call %d on instance %u\n", call, instance);
    switch (call) {
      case 0:
        Create();
        break;
      case 1:
        Destroy();
        break;
      case 2:
        TarnSetDouble(instance, Index(data_.PickValueInArray(kDoubleControls)), AnyDouble(data_));
        break;
      case 3:
        TarnSetLong(instance, Index(data_.PickValueInArray(kLongControls)), AnyLong(data_));
        break;
      case 4:
        TarnSetBool(instance, Index(data_.PickValueInArray(kLogicalControls)),
                    data_.ConsumeIntegral<uint8_t>());
        break;
      case 5:
        if (!parameters.empty()) {
          TarnSetDouble(instance,
                        parameters[data_.ConsumeIntegralInRange<size_t>(0, parameters.size() - 1)],
                        AnyDouble(data_));
        }
        break;
      case 6:
        Guarded(instance, [&] { TarnPreStep(instance); });
        break;
      case 7:
        Guarded(instance, [&] { TarnStep(instance); });
        break;
      case 8: {
        const double target = AnyDouble(data_);
        Guarded(instance, [&] { TarnRunToTime(instance, target); });
        break;
      }
      case 9: {
        const double increment = AnyDouble(data_);
        Guarded(instance, [&] { TarnStepIncr(instance, increment); });
        break;
      }
      case 10:
        Guarded(instance, [&] { TarnStartBlocking(instance); });
        break;
      case 11:
        Guarded(instance, [&] { TarnContinueBlocking(instance); });
        break;
      case 12:
        TarnReinitialize(instance);
        break;
      case 13:
        Tolerance(instance);
        break;
      case 14:
        SyncPoints(instance);
        break;
      case 15:
        TarnFinalize();
        Require(!runOpen.load(), "finalising ends every run");
        instances_.clear();
        TarnInitialize();
        break;
      case 16:
        NonBlocking(instance);
        break;
      default:
        TarnCalcDeriv(instance, data_.ConsumeIntegral<uint32_t>());
        break;
    }
  }

  void Destroy() {
    if (instances_.empty()) return;
    const size_t which = data_.ConsumeIntegralInRange<size_t>(0, instances_.size() - 1);
    TarnDestroy(instances_[which]);
    instances_.erase(instances_.begin() + static_cast<std::ptrdiff_t>(which));
  }

  void Tolerance(uint32_t instance) {
    // A state most of the time (tolerances of states reach the integrator at once).
    const uint32_t index = data_.ConsumeBool()
                               ? data_.ConsumeIntegralInRange<uint32_t>(2, stateCount + 1)
                               : data_.ConsumeIntegral<uint32_t>();
    const double value = AnyDouble(data_);
    if (data_.ConsumeBool()) {
      TarnSetRelativeError(instance, index, value);
    } else {
      TarnSetAbsoluteError(instance, index, value);
    }
  }

  void SyncPoints(uint32_t instance) {
    const uint32_t flag = data_.ConsumeIntegralInRange<uint32_t>(0, 2);
    std::vector<double> times(data_.ConsumeIntegralInRange<size_t>(0, 9));
    for (double& time : times) time = AnyDouble(data_);
    double* address = times.empty() ? nullptr : times.data();
    // The count may disagree with the array only downwards: a host owns its array's length.
    const uint32_t count = data_.ConsumeIntegralInRange<uint32_t>(0, times.size());
    if (data_.ConsumeIntegralInRange(0, 7) == 0) {
      TarnSetDataBlock(instance, flag, 0, 0, count, nullptr);
    } else {
      TarnSetDataBlock(instance, flag, 0, 0, count, &address);
    }
  }

  // A run on the worker thread: start or continue it, then wait for its end (the tick budget or
  // the watchdog stops it) or stop it at once.
  void NonBlocking(uint32_t instance) {
    const bool stopAtOnce = data_.ConsumeBool();
    const int endedBefore = runsEnded.load();
    ticksThisCall = 0;
    watchdog->Arm(instances_.empty() ? instance : instances_.back());
    if (data_.ConsumeBool()) {
      TarnStart(instance);
    } else {
      TarnContinue(instance);
    }
    if (stopAtOnce) TarnStop(instance);
    // A run that started reports its end; the wait stops polling once it has or nothing started.
    const auto giveUp = Clock::now() + 4 * kRunBudget;
    while (runOpen.load() && runsEnded.load() == endedBefore && Clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    watchdog->Disarm();
    Require(!runOpen.load() || runsEnded.load() != endedBefore, "a stopped run ends");
  }

  FuzzedDataProvider& data_;
  std::vector<uint32_t> instances_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  SaveDefaults(instance);
  FindParameters();
  TarnFinalize();
  watchdog = new Watchdog();  // lives as long as the process
  reference = FreshRun();
  Require(SameBits(reference, FreshRun()), "a fresh run repeats itself");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  Session(data).Run();
  Require(SameBits(FreshRun(), reference), "after any input a fresh run gives the reference");
  return 0;
}
