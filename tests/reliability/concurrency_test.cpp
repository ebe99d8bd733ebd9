// Concurrency: the host's thread starts runs of the library's model on the worker thread and, at
// random moments while they run, stops them, reads (and writes) symbols, starts or continues them
// again, destroys the instance and finalises the library. No call may deadlock or crash, every
// run that starts must report its end exactly once, and no worker may outlive the finalisation.
// Symbol reads and writes during a run are unsynchronised with the worker by design; the values
// read are only required to be readable.
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "reliability/reliability_fixture.h"
#include "support/thread_count.h"

namespace tarn::test {
namespace {

constexpr int kIterations = 300;
constexpr int kActionsPerIteration = 8;

// Every run opens with 1 and closes with 5 before the next opens; 11 comes between runs.
void ExpectWellFormed(const std::vector<int>& states, int iteration) {
  bool open = false;
  for (int state : states) {
    switch (state) {
      case TARN_STATE_STARTED:
        EXPECT_FALSE(open) << "iteration " << iteration << ": a run started inside a run";
        open = true;
        break;
      case TARN_STATE_ENDED:
        EXPECT_TRUE(open) << "iteration " << iteration << ": a run ended twice";
        open = false;
        break;
      case TARN_STATE_INITIALIZED:
      case TARN_STATE_EXCEPTION:
        EXPECT_TRUE(open) << "iteration " << iteration << ": state " << state << " outside a run";
        break;
      case TARN_STATE_CONTINUE_REQUESTED:
        EXPECT_FALSE(open) << "iteration " << iteration << ": a continue inside a run";
        break;
      default:
        ADD_FAILURE() << "iteration " << iteration << ": unexpected state " << state;
    }
  }
  EXPECT_FALSE(open) << "iteration " << iteration << ": a run never ended";
}

TEST(Concurrency, HostCallsAtRandomMomentsDuringNonBlockingRuns) {
  TarnInitialize();
  const uint32_t first = TarnCreate();
  const SymbolSnapshot defaults(first);
  TarnFinalize();
  const int baseline = ThreadCount();

  std::mt19937 random(20240607);
  auto chance = [&](int in) { return std::uniform_int_distribution<int>(0, in - 1)(random) == 0; };
  const uint32_t symbolCount = 1022;
  int actions = 0;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    TarnInitialize();
    uint32_t instance = TarnCreate();
    ASSERT_NE(instance, 0u);
    Reports::Clear();
    Reports::Attach(instance);
    defaults.Restore(instance);
    // Long enough that the host's calls land while the worker integrates.
    TarnSetDouble(instance, Index("tstop"), chance(2) ? 24 : 1e6);
    TarnStart(instance);
    bool finalized = false;
    for (int action = 0; action < kActionsPerIteration && !finalized; ++action) {
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(random)));
      ++actions;
      switch (std::uniform_int_distribution<int>(0, 9)(random)) {
        case 0:
        case 1:
          TarnStop(instance);
          break;
        case 2:
        case 3: {
          TarnGetDouble(instance, Index("t"));
          TarnDataType dataType;
          TarnSymbolValue value;
          uint32_t extents[6];
          TarnGetSymbolValue(instance,
                             std::uniform_int_distribution<uint32_t>(1, symbolCount)(random),
                             &dataType, &value, extents);
          break;
        }
        case 4:
          TarnSetDouble(instance, Index("pdose"), 0.01);  // unsynchronised by design
          break;
        case 5:
          TarnStart(instance);
          break;
        case 6:
          TarnContinue(instance);
          break;
        case 7:
          TarnDestroy(instance);
          instance = TarnCreate();
          Reports::Attach(instance);
          defaults.Restore(instance);
          break;
        case 8:
          TarnDebugStart(instance);  // refused: the model has no debugging information
          break;
        default:
          TarnFinalize();
          finalized = true;
          break;
      }
    }
    TarnFinalize();
    ExpectWellFormed(Reports::States(), iteration);
    ASSERT_EQ(SettledThreadCount(baseline), baseline)
        << "iteration " << iteration << " left a thread behind";
    if (HasFailure()) break;
  }
  TarnInitialize();
  defaults.Restore(TarnCreate());
  TarnFinalize();
  std::printf("concurrency: %d iterations of non-blocking runs, %d host actions\n", kIterations,
              actions);
}

}  // namespace
}  // namespace tarn::test
