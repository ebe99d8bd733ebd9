// Runs of a small model through the host interface: execution states, ticks, stepping, running to
// a time, stopping from another thread and faults inside the model.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "solver/message_buffer.h"
#include "support/decay_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

using M = DecayModel;

class RunControl : public ::testing::Test {
 protected:
  void SetUp() override {
    UseModel(DecayModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
    states_.clear();
    runEnds_.clear();
    messages_.clear();
    ticks_ = 0;
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, RecordState);
    TarnAddStatusCallback(instance_, 0, RecordMessage);
    TarnAddTickCallbackFunction(instance_, 0, CountTick);
  }
  void TearDown() override { TarnFinalize(); }

  static void RecordState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
    states_.push_back(next);
    if (next == TARN_STATE_ENDED) runEnds_.push_back(M::block.t);
  }
  static void RecordMessage(uint32_t, uint32_t, const char* text) { messages_.push_back(text); }
  static void CountTick(uint32_t, uint32_t, TarnTickType type) {
    if (type == TARN_TICK_OUTPUT) ++ticks_;
  }

  uint32_t instance_ = 0;
  static inline std::vector<int> states_;
  static inline std::vector<double> runEnds_;  // t at the end of each run
  static inline std::vector<std::string> messages_;
  static inline std::atomic<int> ticks_{0};
};

TEST_F(RunControl, BlockingRunReportsStatesAndTicks) {
  M::block.tstop = 1;  // ten intervals of 0.1
  TarnStartBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5}));
  // One tick per interval step (the last step starts at t = 1 with the stop flag raised and
  // produces none) and one at the end of the run.
  EXPECT_EQ(ticks_, 11);
  EXPECT_DOUBLE_EQ(M::block.t, 1.0);
  EXPECT_NEAR(M::block.y, std::exp(-1.0), 1e-6);
}

TEST_F(RunControl, IntervalsEndOnTheScaledClock) {
  M::block.tstop = 10;
  TarnPreStep(instance_);
  for (int n = 1; n <= 100; ++n) {
    TarnStep(instance_);
    ASSERT_EQ(M::block.t, n / 10.0) << n;
  }
}

TEST_F(RunControl, PreStepThenStepAdvancesOneIntervalPerCall) {
  M::block.yInitial = 2;
  TarnPreStep(instance_);
  EXPECT_EQ(M::block.t, 0.0);
  EXPECT_EQ(M::block.y, 2.0);
  EXPECT_EQ(M::initialSections, 1u);
  TarnStep(instance_);
  EXPECT_DOUBLE_EQ(M::block.t, 0.1);
  TarnStep(instance_);
  EXPECT_DOUBLE_EQ(M::block.t, 0.2);
  EXPECT_EQ(M::initialSections, 1u);
}

TEST_F(RunControl, RunToTimeShortensTheLastIntervalAndRestoresCint) {
  M::block.control.cint = 1;
  M::block.tstop = 100;
  TarnPreStep(instance_);
  runEnds_.clear();
  TarnRunToTime(instance_, 2.5);
  EXPECT_EQ(runEnds_, (std::vector<double>{1, 2, 2.5}));
  EXPECT_EQ(M::block.control.cint, 1.0);
  TarnRunToTime(instance_, 2.5);  // already there: no interval
  EXPECT_DOUBLE_EQ(M::block.t, 2.5);
  TarnStepIncr(instance_, 0);
  TarnStepIncr(instance_, -1);
  EXPECT_DOUBLE_EQ(M::block.t, 2.5);
  TarnStepIncr(instance_, 0.5);
  EXPECT_DOUBLE_EQ(M::block.t, 3.0);
}

TEST_F(RunControl, StopEndsANonBlockingRun) {
  M::block.tstop = 1e12;
  M::block.rate = 0;
  TarnStart(instance_);
  while (ticks_ < 5) std::this_thread::yield();
  TarnStop(instance_);
  TarnFinalize();  // joins the worker
  ASSERT_GE(states_.size(), 3u);
  EXPECT_EQ(states_.front(), 1);
  EXPECT_EQ(states_.back(), 5);
}

TEST_F(RunControl, StopRightAfterStartIsNotLost) {
  // The stop may reach the run before the worker has initialised it (which clears the model's
  // stop flag); the run must end all the same.
  for (int round = 0; round < 50; ++round) {
    M::block.tstop = 1e12;
    M::block.rate = 0;
    states_.clear();
    TarnStart(instance_);
    TarnStop(instance_);
    TarnFinalize();
    ASSERT_EQ(states_.back(), 5) << round;
    TarnInitialize();
    instance_ = TarnCreate();
    TarnAddExecutionStateChangeCallbackFunction(instance_, 0, RecordState);
  }
}

TEST_F(RunControl, StartingAgainEndsTheEarlierWorker) {
  M::block.tstop = 1e12;
  M::block.rate = 0;
  TarnStart(instance_);
  while (ticks_ < 3) std::this_thread::yield();
  TarnStart(instance_);  // the first run ends (state 5) before the second reports 1
  while (ticks_ < 6) std::this_thread::yield();
  TarnStop(instance_);
  TarnFinalize();
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5, 1, 3, 5}));
}

TEST_F(RunControl, FaultInTheDerivativeEndsTheRunWithTheErrorState) {
  M::block.divideByZero = 1;
  TarnStartBlocking(instance_);
  ASSERT_GE(states_.size(), 3u);
  EXPECT_EQ(states_[states_.size() - 2], 10);
  EXPECT_EQ(states_.back(), 5);
  EXPECT_EQ(messages_.back(), "Run ended by an exception: floating point error");
  // The library still works afterwards.
  M::block.divideByZero = 0;
  states_.clear();
  TarnStartBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5}));
}

TEST_F(RunControl, EveryAlgorithmStartsAModelUndefinedBeforeItsInitialTime) {
  // Methods that difference the model in time must not evaluate it before the run's start.
  for (int32_t algorithm : {1, 2, 3, 4, 5, 8, 9, 12, 13, 14, 15}) {
    states_.clear();
    M::block.control.ialg = algorithm;
    TarnStartBlocking(instance_);
    EXPECT_EQ(states_, (std::vector<int>{1, 3, 5})) << "algorithm " << algorithm;
    EXPECT_NEAR(M::block.y, std::exp(-1.0), 0.02) << "algorithm " << algorithm;  // Euler: 0.9^10
  }
}

TEST_F(RunControl, ContinueResumesFromThePresentState) {
  M::block.tstop = 0.5;
  TarnStartBlocking(instance_);
  const double y = M::block.y;
  M::block.tstop = 1.0;
  states_.clear();
  TarnContinueBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{11, 1, 5}));
  EXPECT_DOUBLE_EQ(M::block.t, 1.0);
  EXPECT_NEAR(M::block.y, y * std::exp(-0.5), 1e-6);
  EXPECT_EQ(M::initialSections, 1u);
}

TEST_F(RunControl, UnsupportedAlgorithmFallsBackToRk4WithTwoMessages) {
  M::block.control.ialg = 77;
  TarnStartBlocking(instance_);
  ASSERT_GE(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "WARNING: Invalid integration algorithm was specified.");
  EXPECT_EQ(messages_[1], "The default algorithm (RK4) is being used instead.");
  EXPECT_EQ(M::block.control.ialg, 5);
}

// Tracing every evaluation of 20,000 RK4 steps per interval writes megabytes: each interval
// delivers at most the buffer's limit and says how many messages it left out, and the next
// interval starts with an empty buffer.
TEST_F(RunControl, AnIntervalDeliversAtMostTheBufferLimitAndCountsTheRest) {
  M::block.control.cint = 0.1;
  M::block.control.nstp = 20000;
  M::block.control.wnditg = 1;
  M::block.tstop = 0.2;
  TarnStartBlocking(instance_);
  EXPECT_DOUBLE_EQ(M::block.t, 0.2);
  EXPECT_NEAR(M::block.y, std::exp(-0.2), 1e-12);

  std::vector<std::string> full;
  for (const std::string& message : messages_) {
    if (message.size() > kMessageBufferLimit) full.push_back(message);
  }
  ASSERT_EQ(full.size(), 2u);
  for (const std::string& text : full) {
    EXPECT_LT(text.size(), kMessageBufferLimit + 1024);
    const size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
    const std::string closing = text.substr(lastLine);
    unsigned long long leftOut = 0;
    ASSERT_EQ(std::sscanf(closing.c_str(),
                          "%llu further messages of this communication interval were left out.\n",
                          &leftOut),
              1)
        << closing;
    // Four evaluations of three trace lines for each of 20,000 steps, most of them left out.
    EXPECT_GT(leftOut, 20000u * 4 * 3 - text.size() / 10);
  }
}

TEST_F(RunControl, MissingInstanceChangesNoFlags) {
  TarnContinueBlocking(42);
  TarnPreStep(42);
  TarnStep(42);
  TarnRunToTime(42, 1);
  EXPECT_TRUE(states_.empty());
}

// Regression: a negative step count became about four billion steps per interval.
TEST_F(RunControl, NegativeStepCountStopsTheRunWithAMessage) {
  M::block.control.nstp = -1;
  TarnStartBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5}));
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back(), "Step size -1.000000e-01 not positive at 0.000000.\n");
  EXPECT_EQ(M::block.t, 0.0);
  M::block.control.nstp = 1;
  TarnStartBlocking(instance_);
  EXPECT_DOUBLE_EQ(M::block.t, 1.0);
}

// Regression: a continue before any run stepped a solver without an integrator whose stop never
// reached the model's loop, which then ran forever.
TEST_F(RunControl, ContinueBeforeAnyRunEndsWithAMessage) {
  TarnContinueBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{11, 1, 5}));
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back().rfind("No integrator for integration algorithm", 0), 0u);
  // A fresh run afterwards is a normal one.
  states_.clear();
  TarnStartBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5}));
  EXPECT_NEAR(M::block.y, std::exp(-1.0), 1e-6);
}

// Regression: starting after the instance the library runs was destroyed looped forever in the
// model (blocking) or ran later on a new instance given the same number (non-blocking).
TEST_F(RunControl, StartWithoutAnInstanceToRunDoesNothing) {
  TarnDestroy(instance_);
  TarnStartBlocking(instance_);
  TarnStart(instance_);
  const uint32_t passes = M::passes;
  instance_ = TarnCreate();
  ASSERT_EQ(instance_, 1u);
  TarnAddExecutionStateChangeCallbackFunction(instance_, 0, RecordState);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(M::passes, passes);
  EXPECT_TRUE(states_.empty());
  TarnStartBlocking(instance_);
  EXPECT_EQ(states_, (std::vector<int>{1, 3, 5}));
}

// Regression: initialising during a non-blocking run left its worker unable to find its
// instance, and the next start waited for it forever.
TEST_F(RunControl, InitializeEndsARunInProgress) {
  M::block.tstop = 1e12;
  M::block.rate = 0;
  TarnStart(instance_);
  while (ticks_ < 3) std::this_thread::yield();
  TarnInitialize();
  EXPECT_EQ(states_.back(), 5);
  instance_ = TarnCreate();
  M::block.tstop = 1;
  TarnStartBlocking(instance_);
  EXPECT_DOUBLE_EQ(M::block.t, 1.0);
}

}  // namespace
}  // namespace tarn::test
