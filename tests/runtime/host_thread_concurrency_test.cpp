// The host's thread against a running worker: debug runs and non-blocking runs of a model with
// debugging information, and at random moments the debugger's commands, breakpoint changes, stops,
// symbol reads, new starts and finalisation. No call may deadlock or crash, every run must report
// its end exactly once and nothing after it, and no worker may outlive the finalisation nor leave
// the debugger busy (which would refuse every later debug start).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "support/decay_model.h"
#include "support/test_model.h"
#include "support/thread_count.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

using M = DecayModel;

constexpr int kIterations = 300;
constexpr int kActionsPerIteration = 12;

std::mutex statesMutex;
std::vector<int> states;

void RecordState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  std::lock_guard lock(statesMutex);
  states.push_back(next);
}

// A run opens with 1 or 6 and closes with 5 or 7; its other states fall between. Between runs,
// the debugger's stop repeats the end of the last run.
void ExpectWellFormed(int iteration) {
  std::lock_guard lock(statesMutex);
  bool open = false;
  int lastEnd = 0;
  for (int state : states) {
    switch (state) {
      case TARN_STATE_STARTED:
      case TARN_STATE_DEBUG_STARTED:
        EXPECT_FALSE(open) << "iteration " << iteration << ": a run started inside a run";
        open = true;
        break;
      case TARN_STATE_ENDED:
      case TARN_STATE_DEBUG_ENDED:
        EXPECT_TRUE(open || lastEnd == 0 || state == lastEnd)
            << "iteration " << iteration << ": state " << state << " after the end";
        open = false;
        lastEnd = state;
        break;
      case TARN_STATE_CONTINUE_REQUESTED:
        EXPECT_FALSE(open) << "iteration " << iteration << ": a continue inside a run";
        break;
      default:
        EXPECT_TRUE(open) << "iteration " << iteration << ": state " << state << " outside a run";
    }
  }
  EXPECT_FALSE(open) << "iteration " << iteration << ": a run never ended";
}

// One host action at random: `pick` draws the line, then the action, so that the seed repeats
// the sequence. True when the action finalized the library.
template <class Pick>
bool TakeRandomAction(uint32_t instance, Pick& pick) {
  const uint32_t line = M::kFirstLine + static_cast<uint32_t>(pick(3));
  switch (pick(14)) {
    case 0:
      TarnDebugBreak(instance);
      break;
    case 1:
      TarnDebugStep(instance);
      break;
    case 2:
      TarnDebugContinue(instance);
      break;
    case 3:
      TarnDebugStop(instance);
      break;
    case 4:
      TarnDebugSuspend(instance);
      std::this_thread::sleep_for(std::chrono::microseconds(pick(500)));
      TarnDebugResume(instance);
      break;
    case 5:
      TarnDebugAddBreakpoint(instance, line, M::kFileName, M::kBlockName);
      break;
    case 6:
      TarnDebugRemoveBreakpoint(instance, line, M::kFileName, M::kBlockName);
      break;
    case 7:
      TarnStop(instance);
      break;
    case 8:
      TarnGetDouble(instance, M::kT);
      TarnGetString(instance, M::kBlock);
      TarnGetLong(instance, M::kLine);
      break;
    case 9:
      TarnDebugStart(instance);
      break;
    case 10:
      TarnStart(instance);
      break;
    case 11:
      TarnDebugClearAllBreakpoints(instance);
      break;
    case 12:
      TarnDebugResume(instance);
      break;
    default:
      TarnFinalize();
      return true;
  }
  return false;
}

TEST(HostThreadConcurrency, DebuggerAndRunControlAtRandomMomentsDuringRuns) {
  // The first initialisation of the process stops the BLAS thread pool it started with.
  UseModel(M::RegisterWithDebugSymbols);
  TarnInitialize();
  TarnFinalize();
  const int baseline = ThreadCount();
  std::mt19937 random(7);
  auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
  int actions = 0;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    UseModel(M::RegisterWithDebugSymbols);
    TarnInitialize();
    const uint32_t instance = TarnCreate();
    ASSERT_NE(instance, 0u);
    {
      std::lock_guard lock(statesMutex);
      states.clear();
    }
    TarnAddExecutionStateChangeCallbackFunction(instance, 0, RecordState);
    M::block.tstop = 1e12;
    M::block.rate = 0;
    if (pick(2) == 0) {
      TarnDebugStart(instance);
    } else {
      TarnStart(instance);
    }
    bool finalized = false;
    for (int action = 0; action < kActionsPerIteration && !finalized; ++action) {
      std::this_thread::sleep_for(std::chrono::microseconds(pick(2000)));
      ++actions;
      finalized = TakeRandomAction(instance, pick);
    }
    TarnFinalize();
    TarnDebugClearAllBreakpoints(0);
    ExpectWellFormed(iteration);
    ASSERT_EQ(SettledThreadCount(baseline), baseline)
        << "iteration " << iteration << " left a thread behind";
    ASSERT_EQ(TarnSimRuntime::GetInstance()->GetExecutionManager().GetDebugState(),
              TarnDebugState::kNotDebugging)
        << "iteration " << iteration << " left the debugger busy";
    if (HasFailure()) break;
  }
  std::printf(
      "host thread concurrency: %d iterations of debug and non-blocking runs, %d host "
      "actions\n",
      kIterations, actions);
}

}  // namespace
}  // namespace tarn::test
