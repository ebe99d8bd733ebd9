// Debug runs of a model with debugging information: breakpoints, break, step, continue, stop, the
// floating-point report, and repeated pause/resume sequences that must never hang.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/execution_manager.h"
#include "runtime/runtime.h"
#include "support/decay_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

using M = DecayModel;
using namespace std::chrono_literals;

// Everything a debug run reports, with a way to wait for it on the host's thread.
class RunLog {
 public:
  void Add(int state) {
    std::lock_guard lock(mutex_);
    states_.push_back(state);
    changed_.notify_all();
  }
  void AddMessage(const char* text) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
  }
  // Waits until `state` has been reported `times` times in all; false after a generous guard.
  bool WaitFor(int state, size_t times = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return Count(state) >= times; });
  }
  std::vector<int> States() {
    std::lock_guard lock(mutex_);
    return states_;
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    states_.clear();
    messages_.clear();
  }

 private:
  size_t Count(int state) const {
    size_t n = 0;
    for (int s : states_) n += s == state;
    return n;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> states_;
  std::vector<std::string> messages_;
};

RunLog runLog;

void RecordState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  runLog.Add(next);
}
void RecordMessage(uint32_t, uint32_t, const char* text) { runLog.AddMessage(text); }

class Debugger : public ::testing::Test {
 protected:
  void SetUp() override { Load(DecayModel::RegisterWithDebugSymbols); }
  void TearDown() override {
    TarnDebugClearAllBreakpoints(instance_);
    TarnFinalize();
  }
  void Load(ModelRegistration registration) {
    UseModel(registration);
    TarnInitialize();
    instance_ = TarnCreate();
    runLog.Clear();
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, RecordState);
    TarnAddStatusCallback(instance_, 0, RecordMessage);
    M::block.rate = 0;
  }
  TarnDebugState DebugState() {
    return TarnSimRuntime::GetInstance()->GetExecutionManager().GetDebugState();
  }
  uint32_t instance_ = 0;
};

TEST_F(Debugger, BreakpointStepContinueAndStop) {
  M::block.tstop = 1e9;
  TarnDebugAddBreakpoint(instance_, 11, "elsewhere.model", "dynamic");
  TarnDebugStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
  EXPECT_EQ(DebugState(), TarnDebugState::kPaused);
  EXPECT_EQ(M::block.line, 11);
  const double pausedAt = M::block.t;

  TarnDebugStep(instance_);  // one interval later
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED, 2));
  EXPECT_EQ(M::block.line, 12);
  EXPECT_DOUBLE_EQ(M::block.t, pausedAt + 0.1);

  TarnDebugContinue(instance_);  // on to line 11 again, three passes on
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED, 3));
  EXPECT_EQ(M::block.line, 11);

  TarnDebugStop(instance_);  // while paused: ended at once
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
  EXPECT_EQ(DebugState(), TarnDebugState::kNotDebugging);
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 8, 8, 9, 8, 7}));
}

TEST_F(Debugger, BreakPausesAtTheNextTickAndStopEndsARunningDebugRun) {
  M::block.tstop = 1e9;
  TarnDebugStart(instance_);
  TarnDebugStep(instance_);      // not paused: nothing
  TarnDebugContinue(instance_);  // not paused: nothing
  TarnDebugBreak(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
  TarnDebugContinue(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_CONTINUED));
  TarnDebugStop(instance_);  // running: ends at the next tick
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
  TarnFinalize();
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 8, 9, 7}));
}

TEST_F(Debugger, DebugRunToTheEndReportsItsStates) {
  M::block.tstop = 0.5;
  TarnDebugStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
  TarnFinalize();
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 7}));
}

TEST_F(Debugger, BreakpointsMatchOnLineAndBlockOnly) {
  const BreakpointList& list = TarnSimRuntime::GetInstance()->GetExecutionManager().Breakpoints();
  TarnDebugAddBreakpoint(instance_, 11, "a.model", "dynamic");
  TarnDebugAddBreakpoint(instance_, 11, "b.model", "dynamic");
  EXPECT_EQ(list.Count(), 1u);
  TarnDebugAddBreakpoint(instance_, 11, "a.model", "Dynamic");  // block names are case-sensitive
  EXPECT_EQ(list.Count(), 2u);
  TarnDebugRemoveBreakpoint(instance_, 11, "other.model", "dynamic");
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_TRUE(list.ContainsBreakpoint(11, nullptr, "Dynamic"));
  TarnDebugClearAllBreakpoints(instance_);
  EXPECT_EQ(list.Count(), 0u);
}

// Every flag but inexact counts at the end of an interval, underflow too.
TEST_F(Debugger, FloatingPointFaultIsReportedOnceAndPauses) {
  for (double M::Block::*faultAt : {&M::Block::overflowAt, &M::Block::underflowAt}) {
    TarnFinalize();
    Load(DecayModel::RegisterWithDebugSymbols);
    M::block.tstop = 0.3;
    M::block.*faultAt = 0.3;  // the final pass raises the fault
    TarnDebugStart(instance_);
    ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
    TarnDebugContinue(instance_);
    ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
    TarnFinalize();
    // The fourth pass (t = 0.3) is on line 10 again; its termination message comes first.
    EXPECT_EQ(runLog.Messages(),
              (std::vector<std::string>{" ",
                                        "*** Floating point exception detected at block dynamic, "
                                        "line 10.*** \n"}));
    EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 8, 9, 7}));
  }
}

TEST_F(Debugger, ModelWithoutDebuggingInformationStartsNoDebugRun) {
  TarnFinalize();
  Load(DecayModel::Register);
  TarnDebugStart(instance_);
  EXPECT_EQ(
      runLog.Messages(),
      (std::vector<std::string>{"Debug error: model does not contain debugging information."}));
  EXPECT_TRUE(runLog.States().empty());
}

TEST_F(Debugger, FinalizeEndsAPausedRun) {
  M::block.tstop = 1e9;
  TarnDebugAddBreakpoint(instance_, 10, "", "dynamic");
  TarnDebugStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
  TarnFinalize();  // must not hang on the suspended worker
  EXPECT_EQ(runLog.States().back(), TARN_STATE_DEBUG_ENDED);
}

// Regression: a second stop before the first took effect reported the end at once, and the
// still-running worker then reported its initialisation after it.
TEST_F(Debugger, StopWhileAStopIsPendingLetsTheWorkerReportTheEnd) {
  M::block.tstop = 1e9;
  for (int round = 0; round < 20; ++round) {
    runLog.Clear();
    TarnDebugStart(instance_);
    TarnDebugStop(instance_);
    TarnDebugStop(instance_);
    ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED)) << round;
    TarnFinalize();  // joins the worker: anything it reports comes before this returns
    EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 7})) << round;
    Load(DecayModel::RegisterWithDebugSymbols);
    M::block.tstop = 1e9;
  }
}

// A stop ends a normal run, which reports its own end; with no run executing, the end of the last
// run is reported again, so that a host waiting for it after a stop never waits in vain.
TEST_F(Debugger, StopEndsANormalRunAndRepeatsTheEndOfAnEndedRun) {
  M::block.tstop = 1e9;
  TarnStart(instance_);
  TarnDebugStop(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_ENDED));
  TarnDebugStop(instance_);
  EXPECT_EQ(runLog.States(), (std::vector<int>{1, 3, 5, 5}));

  runLog.Clear();
  M::block.tstop = 0.3;
  TarnDebugStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
  TarnDebugStop(instance_);
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 7, 7}));
  EXPECT_EQ(DebugState(), TarnDebugState::kNotDebugging);
}

std::atomic<int> ticks{0};
void CountTick(uint32_t, uint32_t, TarnTickType) { ++ticks; }

// Waits long enough for a worker that was asked to pause to reach its next tick, then expects no
// more than that tick within a quiet period.
void ExpectWorkerPaused(const char* what) {
  std::this_thread::sleep_for(50ms);
  const int before = ticks;
  std::this_thread::sleep_for(50ms);
  EXPECT_LE(ticks, before + 1) << what;
}

// Regression: a resume with no pause in force was remembered and cancelled the next pause, so a
// suspend let the worker run on, and a debugger pause reported 8 while the worker ran on.
TEST_F(Debugger, SurplusResumeDoesNotCancelTheNextPause) {
  M::block.tstop = 1e9;
  TarnAddTickCallbackFunction(instance_, 0, CountTick);
  TarnStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_INITIALIZED));
  TarnDebugResume(instance_);
  TarnDebugSuspend(instance_);
  ExpectWorkerPaused("the suspend after a surplus resume did not pause the worker");
  TarnDebugResume(instance_);
  TarnFinalize();
  EXPECT_EQ(runLog.States(), (std::vector<int>{1, 3, 5}));

  Load(DecayModel::RegisterWithDebugSymbols);
  M::block.tstop = 1e9;
  TarnAddTickCallbackFunction(instance_, 0, CountTick);
  TarnDebugStart(instance_);
  TarnDebugResume(instance_);
  TarnDebugBreak(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
  EXPECT_EQ(DebugState(), TarnDebugState::kPaused);
  ExpectWorkerPaused("the break after a surplus resume did not pause the worker");
  TarnDebugContinue(instance_);
  TarnDebugStop(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED));
  TarnFinalize();
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 8, 9, 7}));
}

// Regression: a worker stopped while paused and then resumed ran on after its reported end.
TEST_F(Debugger, ResumingARunStoppedWhilePausedReportsNothingMore) {
  M::block.tstop = 1e9;
  TarnDebugAddBreakpoint(instance_, 11, "", "dynamic");
  TarnDebugStart(instance_);
  ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED));
  TarnDebugStop(instance_);
  TarnDebugResume(instance_);
  std::this_thread::sleep_for(20ms);
  TarnFinalize();
  EXPECT_EQ(runLog.States(), (std::vector<int>{6, 3, 8, 7}));
}

TEST_F(Debugger, RepeatedPauseResumeSequencesNeverHang) {
  M::block.tstop = 1e9;
  for (int round = 0; round < 200; ++round) {
    runLog.Clear();
    TarnDebugStart(instance_);
    TarnDebugBreak(instance_);
    ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED)) << round;
    TarnDebugStep(instance_);
    ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED, 2)) << round;
    TarnDebugContinue(instance_);
    switch (round % 3) {
      case 0:
        TarnDebugStop(instance_);
        ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_ENDED)) << round;
        break;
      case 1:
        TarnDebugBreak(instance_);
        ASSERT_TRUE(runLog.WaitFor(TARN_STATE_DEBUG_PAUSED, 3)) << round;
        TarnDebugStop(instance_);
        break;
      default:
        break;  // the next start ends the running worker
    }
  }
  TarnFinalize();
}

}  // namespace
}  // namespace tarn::test
