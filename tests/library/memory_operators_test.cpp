// Operators that keep memory in model variables: limited integrator, backlash, limited change,
// slope estimate and exponential switch, driven through sequences of evaluations.
#include <gtest/gtest.h>

#include <cmath>

#include "library/memory_operators.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

EvaluationState Initializing(double t) { return {0, t, true, true}; }
EvaluationState StepStart(double t) { return {0, t, false, true}; }
EvaluationState Stage(double t) { return {0, t, false, false}; }

TEST(LimitedIntegrator, PassesTheRateInsideOrWhenItLeadsBackIn) {
  double state = 0.5;
  EXPECT_EQ(zzlimf(&state, 3, 0, 1), 3.0);
  state = 1.5;
  EXPECT_EQ(zzlimf(&state, -2, 0, 1), -2.0);  // above, heading down
  EXPECT_EQ(state, 1.5);
  state = -0.5;
  EXPECT_EQ(zzlimf(&state, 2, 0, 1), 2.0);  // below, heading up
  EXPECT_EQ(state, -0.5);
}

TEST(LimitedIntegrator, ClampsTheStateAndStopsWhenDrivenOut) {
  double state = 1.5;
  EXPECT_EQ(zzlimf(&state, 2, 0, 1), 0.0);
  EXPECT_EQ(state, 1.0);
  state = 1;  // on the limit, pushed outwards
  EXPECT_EQ(zzlimf(&state, 2, 0, 1), 0.0);
  EXPECT_EQ(state, 1.0);
  state = -0.5;
  EXPECT_EQ(zzlimf(&state, -1, 0, 1), 0.0);
  EXPECT_EQ(state, 0.0);
}

TEST(Backlash, FollowsOnlyBeyondTheHalfWidth) {
  double output = -1;
  double memory = 99;
  Backlash(Initializing(0), &output, &memory, 0, 1, 0);
  EXPECT_EQ(output, 0.0);
  Backlash(StepStart(1), &output, &memory, 0, 1, 3);
  EXPECT_EQ(output, 2.0);  // dragged up to x - 1
  Backlash(StepStart(2), &output, &memory, 0, 1, 2.5);
  EXPECT_EQ(output, 2.0);  // inside the play
  Backlash(Stage(2.5), &output, &memory, 0, 1, 10);
  EXPECT_EQ(output, 2.0);  // intermediate stages do not move it
  Backlash(StepStart(3), &output, &memory, 0, 1, 0);
  EXPECT_EQ(output, 1.0);  // dragged down to x + 1
  EXPECT_EQ(memory, 1.0);
}

TEST(Backlash, InitialValueIsAlsoLimited) {
  double output = 0;
  double memory = 0;
  Backlash(Initializing(0), &output, &memory, 5, 0.5, 0);
  EXPECT_EQ(output, 0.5);
}

TEST(LimitedChange, MemoryCatchesUpOnlyOutsideTheLimits) {
  double output = 0;
  double memory = 0;
  const double initial = 1;
  LimitedChange(Initializing(0), &output, &memory, &initial, 0.5, 3, 0, 1);
  EXPECT_EQ(memory, 1.0);
  EXPECT_EQ(output, 2.0);

  // x beyond upper and y moving the same way as x - lower: the memory takes y.
  LimitedChange(StepStart(1), &output, &memory, &initial, 2, 4, 0, 1);
  EXPECT_EQ(memory, 4.0);
  EXPECT_EQ(output, 0.0);

  // Inside the limits the memory holds.
  LimitedChange(StepStart(2), &output, &memory, &initial, 0.5, 6, 0, 1);
  EXPECT_EQ(output, 2.0);

  // Beyond lower with y rising: (x - lower) * (y - memory) < 0, the memory holds.
  LimitedChange(StepStart(3), &output, &memory, &initial, -1, 7, 0, 1);
  EXPECT_EQ(output, 3.0);

  // Stage evaluations never move the memory; the output still follows y.
  LimitedChange(Stage(3.5), &output, &memory, &initial, 2, 9, 0, 1);
  EXPECT_EQ(memory, 4.0);
  EXPECT_EQ(output, 5.0);
}

TEST(SlopeEstimate, SecantBetweenStepStarts) {
  double output = 0;
  double previousX = 0;
  double previousT = 0;
  double slope = 0;
  SlopeEstimate(Initializing(0), 1, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 5.0);
  EXPECT_EQ(previousT, 0.0);

  SlopeEstimate(StepStart(0.5), 2, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 2.0);

  // Same time again: nothing moves, no division by zero.
  SlopeEstimate(StepStart(0.5), 7, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 2.0);
  EXPECT_EQ(previousX, 2.0);

  SlopeEstimate(Stage(0.75), 100, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 2.0);

  SlopeEstimate(StepStart(1.5), 0, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, -2.0);
}

struct SwitchMemory {
  TarnLogical previousInput = 0;
  double output = 0;
  double switchTime = 0;
  double value = 0;
};

void Switch(const EvaluationState& state, double tau, double initial, TarnLogical input,
            SwitchMemory& m) {
  ExponentialSwitch(state, tau, initial, input, &m.previousInput, &m.output, &m.switchTime,
                    &m.value);
}

TEST(ExponentialSwitch, RisesFromZeroWithTheTimeConstant) {
  SwitchMemory m;
  Switch(Initializing(0), 1, 0, 1, m);
  EXPECT_EQ(m.output, 0.0);
  Switch(Stage(1), 1, 0, 1, m);  // evaluated at every call
  EXPECT_DOUBLE_EQ(m.output, 1 - std::exp(-1.0));
  Switch(StepStart(3), 1, 0, 1, m);
  EXPECT_DOUBLE_EQ(m.output, 1 - std::exp(-3.0));
}

TEST(ExponentialSwitch, ContinuousAtEverySwitch) {
  SwitchMemory m;
  Switch(Initializing(0), 2, 0.5, 1, m);
  EXPECT_DOUBLE_EQ(m.output, 0.5);
  Switch(StepStart(2), 2, 0.5, 1, m);
  const double atOff = m.output;
  EXPECT_DOUBLE_EQ(atOff, 1 - 0.5 * std::exp(-1.0));

  Switch(StepStart(2), 2, 0.5, 0, m);  // switched off: starts from the same value
  EXPECT_DOUBLE_EQ(m.output, atOff);
  Switch(StepStart(4), 2, 0.5, 0, m);
  EXPECT_DOUBLE_EQ(m.output, atOff * std::exp(-1.0));

  const double atOn = m.output;
  Switch(StepStart(4), 2, 0.5, 1, m);  // and on again
  EXPECT_DOUBLE_EQ(m.output, atOn);
  Switch(StepStart(6), 2, 0.5, 1, m);
  EXPECT_DOUBLE_EQ(m.output, 1 - (1 - atOn) * std::exp(-1.0));
}

TEST(ExponentialSwitch, InitialValueIsKeptInsideTheOpenUnitInterval) {
  SwitchMemory m;
  Switch(Initializing(0), 1, 1, 0, m);
  EXPECT_DOUBLE_EQ(m.output, 0.999999);
  EXPECT_EQ(m.previousInput, 0);
  Switch(Initializing(0), 1, -3, 0, m);
  EXPECT_NEAR(m.output, 1e-30, 1e-42);
}

}  // namespace
}  // namespace tarn
