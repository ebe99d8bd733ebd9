// Transport delay over the model's ring of (time, value) points, driven like an integrator drives
// it: an initialising evaluation, then one step-start evaluation per step and stage evaluations
// between them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "library/delay_line.h"

namespace tarn {
namespace {

// The memory of one delay call site, with a fixed step h and x given as a function of time.
class DelayHarness {
 public:
  DelayHarness(int32_t size, double initialValue, double delay, double spacing)
      : times_(static_cast<size_t>(size), 5.5555e+33),
        values_(static_cast<size_t>(size), 5.5555e+33),
        line_(size, times_.data(), values_.data(), &newest_, &cursor_, &flag_),
        initialValue_(initialValue),
        delay_(delay),
        spacing_(spacing) {}

  double Evaluate(double t, double x, bool initializing, bool stepStart) {
    line_.Evaluate({0, t, initializing, stepStart}, x, initialValue_, delay_, spacing_, &output_);
    return output_;
  }
  double Initialize(double t, double x) { return Evaluate(t, x, true, true); }
  double StepStart(double t, double x) { return Evaluate(t, x, false, true); }
  double Stage(double t, double x) { return Evaluate(t, x, false, false); }

  void SetDelay(double delay) { delay_ = delay; }
  void SetOutput(double output) { output_ = output; }
  void RaiseFlag() { flag_ = 1; }
  int32_t newest() const { return newest_; }
  int32_t cursor() const { return cursor_; }
  TarnLogical flag() const { return flag_; }
  double time(int32_t i) const { return times_[static_cast<size_t>(i)]; }
  double value(int32_t i) const { return values_[static_cast<size_t>(i)]; }

 private:
  std::vector<double> times_;
  std::vector<double> values_;
  int32_t newest_ = 0;
  int32_t cursor_ = 0;
  TarnLogical flag_ = 0;
  DelayLine line_;
  double initialValue_;
  double delay_;
  double spacing_;
  double output_ = -1;
};

// Step k of size 0.1 ends at k / 10, counted rather than accumulated.
double StepTime(int k) { return k / 10.0; }

TEST(DelayLine, InitialisationLaysOutSentinelAndStartPoint) {
  DelayHarness d(8, 7, 1, 0);
  EXPECT_EQ(d.Initialize(2, 100), 7.0);
  EXPECT_EQ(d.time(0), -std::numeric_limits<double>::max());
  EXPECT_EQ(d.value(0), 7.0);
  EXPECT_EQ(d.time(1), 2.0);
  EXPECT_EQ(d.value(1), 7.0);
  EXPECT_EQ(d.newest(), 1);
}

TEST(DelayLine, ZeroDelayReturnsTheInputItself) {
  DelayHarness d(16, 0, 0, 0);
  d.Initialize(0, 3);
  for (int k = 1; k <= 40; ++k) {
    const double x = 1.0 / (k + 2);
    EXPECT_EQ(d.StepStart(StepTime(k), x), x) << "step " << k;
    EXPECT_EQ(d.Stage(StepTime(k) + 0.05, 2 * x), 2 * x);
  }
}

TEST(DelayLine, InitialValueUntilTheDelayHasPassedThenTheDelayedInput) {
  DelayHarness d(64, -4, 0.5, 0);
  d.Initialize(0, 0);
  for (int k = 1; k <= 30; ++k) {
    const double t = StepTime(k);
    const double output = d.StepStart(t, t * t);
    if (t <= 0.5) {
      EXPECT_EQ(output, -4.0) << "t " << t;
    } else {
      // Stored points lie 0.1 apart, so the delayed parabola is interpolated between them.
      EXPECT_NEAR(output, (t - 0.5) * (t - 0.5), 1e-12) << "t " << t;
    }
  }
}

TEST(DelayLine, LinearInputIsDelayedExactlyBetweenStoredPoints) {
  DelayHarness d(64, 0, 0.25, 0);
  d.Initialize(0, 0);
  for (int k = 1; k <= 30; ++k) {
    const double t = StepTime(k);
    d.StepStart(t, 3 * t);
    if (t > 0.25) {
      // Stages between step starts look up without storing.
      EXPECT_NEAR(d.Stage(t + 0.05, 3 * (t + 0.05)), 3 * (t - 0.2), 1e-12) << "t " << t;
    }
  }
}

TEST(DelayLine, SpacingWiderThanTheStepStoresFewerPointsButFollowsTheInput) {
  DelayHarness d(64, 0, 0.05, 0.25);
  d.Initialize(0, 0);
  int stored = 0;
  int32_t newest = d.newest();
  for (int k = 1; k <= 20; ++k) {
    const double t = StepTime(k);
    // A delay shorter than the spacing interpolates towards the present point.
    EXPECT_NEAR(d.StepStart(t, 2 * t), 2 * (t - 0.05), 1e-12) << "t " << t;
    if (d.newest() != newest) ++stored;
    newest = d.newest();
  }
  EXPECT_EQ(stored, 6);  // one point every third step (0.3 > 0.25)
}

TEST(DelayLine, FullRingOverwritesTheOldestPoint) {
  DelayHarness d(4, 0, 0.15, 0);
  d.Initialize(0, 0);
  for (int k = 1; k <= 12; ++k) {
    const double t = StepTime(k);
    EXPECT_NEAR(d.StepStart(t, 10 * t), k >= 2 ? 10 * (t - 0.15) : 0.0, 1e-12) << "t " << t;
  }
  EXPECT_EQ(d.newest(), 13 % 4);
}

TEST(DelayLine, LookupOlderThanTheRingLeavesTheOutputUnchanged) {
  DelayHarness d(4, 0, 0.1, 0);
  d.Initialize(0, 0);
  for (int k = 1; k <= 6; ++k) d.StepStart(StepTime(k), k);
  d.SetDelay(0.45);  // after the next step the ring reaches back only to t = 0.4
  d.SetOutput(-1);
  EXPECT_EQ(d.StepStart(StepTime(7), 7), -1.0);
}

TEST(DelayLine, FlagMakesTheNewestPointFollowTheInputBetweenStepStarts) {
  DelayHarness d(8, 0, 0, 0);
  d.Initialize(0, 0);
  d.StepStart(0.1, 1);
  const int32_t newest = d.newest();
  d.RaiseFlag();
  EXPECT_EQ(d.Stage(0.15, 5), 5.0);
  EXPECT_EQ(d.newest(), newest);
  EXPECT_EQ(d.time(newest), 0.15);
  EXPECT_EQ(d.value(newest), 5.0);
  d.StepStart(0.2, 2);
  EXPECT_EQ(d.flag(), 0);  // cleared at every step start
}

TEST(DelayLine, NegativeDelayResetsTheCursorAndKeepsTheOutput) {
  DelayHarness d(8, 0, 0.3, 0);
  d.Initialize(0, 0);
  for (int k = 1; k <= 5; ++k) d.StepStart(StepTime(k), k);
  ASSERT_NE(d.cursor(), d.newest());
  d.SetDelay(-1);
  d.SetOutput(42);
  EXPECT_EQ(d.StepStart(StepTime(6), 6), 42.0);
  EXPECT_EQ(d.cursor(), d.newest());
}

TEST(DelayLine, RingOfFewerThanTwoPointsIsNeverTouched) {
  DelayHarness d(1, 3, 0, 0);
  d.SetOutput(9);
  EXPECT_EQ(d.Initialize(0, 1), 9.0);
  EXPECT_EQ(d.StepStart(0.1, 2), 9.0);
  EXPECT_EQ(d.time(0), 5.5555e+33);
}

TEST(DelayLine, BookkeepingOutsideTheRingIsNotFollowed) {
  // Before any initialisation the model's storage may hold anything.
  std::vector<double> times(4, 0.0);
  std::vector<double> values(4, 0.0);
  int32_t newest = 17;
  int32_t cursor = -2;
  TarnLogical flag = 1;
  DelayLine line(4, times.data(), values.data(), &newest, &cursor, &flag);
  double output = 6;
  line.Evaluate({0, 1, false, true}, 2, 0, 0.5, 0, &output);
  EXPECT_EQ(output, 6.0);
  EXPECT_EQ(newest, 17);
}

}  // namespace
}  // namespace tarn
