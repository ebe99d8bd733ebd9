// Transport delay over the model's ring of (time, value) points, driven as an integrator drives
// it: an initialising evaluation, one step-start evaluation per step of 0.1 and stage evaluations
// between them.
#include "library/delay_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace tarn {
namespace {

constexpr double kUnset = 5.5555e+33;

// The memory of one delay call site.
struct Delay {
  Delay(int32_t size, double initialValue, double delay, double spacing)
      : times(static_cast<size_t>(size), kUnset),
        values(static_cast<size_t>(size), kUnset),
        initialValue(initialValue),
        delay(delay),
        spacing(spacing) {}

  double Evaluate(double t, double x, bool initializing, bool stepStart) {
    DelayLine line(static_cast<int32_t>(times.size()), times.data(), values.data(), &newest,
                   &cursor, &flag);
    line.Evaluate({0, t, initializing, stepStart}, x, initialValue, delay, spacing, &output);
    return output;
  }
  double StepStart(double t, double x) { return Evaluate(t, x, false, true); }
  double Stage(double t, double x) { return Evaluate(t, x, false, false); }

  std::vector<double> times, values;
  int32_t newest = 0, cursor = 0;
  TarnLogical flag = 0;
  double initialValue, delay, spacing;
  double output = -1;
};

// Step k ends at k / 10, counted rather than accumulated.
double StepTime(int k) { return k / 10.0; }

TEST(DelayLine, InitialValueUntilTheDelayHasPassedThenTheDelayedInput) {
  Delay d(64, -4, 0.5, 0);
  EXPECT_EQ(d.Evaluate(0, 0, true, true), -4.0);
  EXPECT_EQ(d.times[0], -std::numeric_limits<double>::max());
  EXPECT_EQ(d.newest, 1);
  for (int k = 1; k <= 30; ++k) {
    const double t = StepTime(k);
    const double output = d.StepStart(t, t * t);
    const double expected = t <= 0.5 ? -4 : (t - 0.5) * (t - 0.5);
    EXPECT_NEAR(output, expected, 1e-12) << "t " << t;
    // A stage halfway to the next step interpolates between two stored points.
    const double before = t - 0.5, after = t - 0.4;
    if (t > 0.5) EXPECT_NEAR(d.Stage(t + 0.05, 0), (before * before + after * after) / 2, 1e-12);
  }
}

TEST(DelayLine, ZeroDelayReturnsTheInputItself) {
  Delay d(16, 0, 0, 0);
  d.Evaluate(0, 3, true, true);
  for (int k = 1; k <= 40; ++k) {
    const double x = 1.0 / (k + 2);
    EXPECT_EQ(d.StepStart(StepTime(k), x), x) << "step " << k;
    EXPECT_EQ(d.Stage(StepTime(k) + 0.05, 2 * x), 2 * x);
  }
}

TEST(DelayLine, SpacingWiderThanTheStepStillFollowsTheInput) {
  Delay d(64, 0, 0.05, 0.25);
  d.Evaluate(0, 0, true, true);
  for (int k = 1; k <= 20; ++k) {
    const double t = StepTime(k);
    // Shorter than the spacing: interpolated towards the present point.
    EXPECT_NEAR(d.StepStart(t, 2 * t), 2 * (t - 0.05), 1e-12) << "t " << t;
  }
  EXPECT_EQ(d.newest, 1 + 6);  // a point every third step (0.3 > 0.25)
}

TEST(DelayLine, FullRingOverwritesTheOldestPointAndRefusesOlderLookups) {
  Delay d(4, 0, 0.15, 0);
  d.Evaluate(0, 0, true, true);
  for (int k = 1; k <= 12; ++k) {
    const double t = StepTime(k);
    EXPECT_NEAR(d.StepStart(t, 10 * t), k >= 2 ? 10 * (t - 0.15) : 0.0, 1e-12) << "t " << t;
  }
  EXPECT_EQ(d.newest, 13 % 4);
  d.delay = 0.45;  // after the next step the ring reaches back only to t = 1.0
  d.output = -1;
  EXPECT_EQ(d.StepStart(StepTime(13), 13), -1.0);
}

TEST(DelayLine, FlagMakesTheNewestPointFollowTheInputBetweenStepStarts) {
  Delay d(8, 0, 0, 0);
  d.Evaluate(0, 0, true, true);
  d.StepStart(0.1, 1);
  d.flag = 1;
  EXPECT_EQ(d.Stage(0.15, 5), 5.0);
  EXPECT_EQ(d.newest, 2);
  EXPECT_EQ(d.times[2], 0.15);
  d.StepStart(0.2, 2);
  EXPECT_EQ(d.flag, 0);  // cleared at every step start
}

TEST(DelayLine, NegativeDelayResetsTheCursorAndKeepsTheOutput) {
  Delay d(8, 0, 0.3, 0);
  d.Evaluate(0, 0, true, true);
  for (int k = 1; k <= 5; ++k) d.StepStart(StepTime(k), k);
  ASSERT_NE(d.cursor, d.newest);
  d.delay = -1;
  d.output = 42;
  EXPECT_EQ(d.StepStart(StepTime(6), 6), 42.0);
  EXPECT_EQ(d.cursor, d.newest);
}

TEST(DelayLine, UnusableStorageIsNeverTouched) {
  Delay tiny(1, 3, 0, 0);
  tiny.output = 9;
  EXPECT_EQ(tiny.Evaluate(0, 1, true, true), 9.0);
  EXPECT_EQ(tiny.StepStart(0.1, 2), 9.0);
  EXPECT_EQ(tiny.times[0], kUnset);

  // Before any initialisation the bookkeeping may hold anything.
  Delay stale(4, 0, 0.5, 0);
  stale.newest = 17;
  stale.cursor = -2;
  EXPECT_EQ(stale.StepStart(1, 2), -1.0);
  EXPECT_EQ(stale.times[0], kUnset);
}

}  // namespace
}  // namespace tarn
