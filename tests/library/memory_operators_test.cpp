// Operators that keep memory in model variables, driven through sequences of evaluations: an
// initialising one, step starts, and intermediate stages that must never move the memory.
#include "library/memory_operators.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

EvaluationState Initializing(double t) { return {0, t, true, true}; }
EvaluationState StepStart(double t) { return {0, t, false, true}; }
EvaluationState Stage(double t) { return {0, t, false, false}; }

TEST(LimitedIntegrator, StopsOnlyWhileTheRateDrivesTheStateOut) {
  double state = 0.5;
  EXPECT_EQ(zzlimf(&state, 3, 0, 1), 3.0);
  state = 1.5;
  EXPECT_EQ(zzlimf(&state, -2, 0, 1), -2.0);  // heading back in
  EXPECT_EQ(state, 1.5);
  EXPECT_EQ(zzlimf(&state, 2, 0, 1), 0.0);
  EXPECT_EQ(state, 1.0);
  state = -0.5;
  EXPECT_EQ(zzlimf(&state, -1, 0, 1), 0.0);
  EXPECT_EQ(state, 0.0);
}

TEST(Backlash, FollowsOnlyBeyondTheHalfWidth) {
  double output = 0, memory = 0;
  Backlash(Initializing(0), &output, &memory, 5, 1, 0);
  EXPECT_EQ(output, 1.0);  // the initial value is limited too
  Backlash(StepStart(1), &output, &memory, 0, 1, 3);
  EXPECT_EQ(output, 2.0);
  Backlash(StepStart(2), &output, &memory, 0, 1, 2.5);
  EXPECT_EQ(output, 2.0);
  Backlash(Stage(2.5), &output, &memory, 0, 1, 10);
  EXPECT_EQ(output, 2.0);
  Backlash(StepStart(3), &output, &memory, 0, 1, 0);
  EXPECT_EQ(output, 1.0);
}

TEST(LimitedChange, MemoryTakesYOnlyOutsideTheLimitsAndMovingOut) {
  double output = 0, memory = 0;
  const double initial = 1;
  LimitedChange(Initializing(0), &output, &memory, &initial, 0.5, 3, 0, 1);
  EXPECT_EQ(output, 2.0);
  LimitedChange(StepStart(1), &output, &memory, &initial, 2, 4, 0, 1);
  EXPECT_EQ(output, 0.0);  // x above upper, y rising: memory = 4
  LimitedChange(StepStart(2), &output, &memory, &initial, 0.5, 6, 0, 1);
  EXPECT_EQ(output, 2.0);  // inside: held
  LimitedChange(StepStart(3), &output, &memory, &initial, -1, 7, 0, 1);
  EXPECT_EQ(output, 3.0);  // below lower with y rising: held
  LimitedChange(Stage(3.5), &output, &memory, &initial, 2, 9, 0, 1);
  EXPECT_EQ(output, 5.0);  // a stage never moves it
}

TEST(SlopeEstimate, SecantBetweenStepStarts) {
  double output = 0, previousX = 0, previousT = 0, slope = 0;
  SlopeEstimate(Initializing(0), 1, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 5.0);
  SlopeEstimate(StepStart(0.5), 2, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 2.0);
  SlopeEstimate(StepStart(0.5), 7, 5, &output, &previousX, &previousT, &slope);  // same t
  SlopeEstimate(Stage(0.75), 100, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, 2.0);
  SlopeEstimate(StepStart(1.5), 0, 5, &output, &previousX, &previousT, &slope);
  EXPECT_EQ(output, -2.0);
}

struct SwitchMemory {
  TarnLogical previousInput = 0;
  double output = 0, switchTime = 0, value = 0;

  void Evaluate(const EvaluationState& state, double tau, double initial, TarnLogical input) {
    ExponentialSwitch(state, tau, initial, input, &previousInput, &output, &switchTime, &value);
  }
};

TEST(ExponentialSwitch, RisesFromZeroWithTheTimeConstant) {
  SwitchMemory m;
  m.Evaluate(Initializing(0), 1, 0, 1);
  EXPECT_EQ(m.output, 0.0);
  m.Evaluate(Stage(1), 1, 0, 1);  // evaluated at every call
  EXPECT_DOUBLE_EQ(m.output, 1 - std::exp(-1.0));
}

TEST(ExponentialSwitch, ContinuousAtEverySwitch) {
  SwitchMemory m;
  m.Evaluate(Initializing(0), 2, 0.5, 1);
  m.Evaluate(StepStart(2), 2, 0.5, 1);
  const double atOff = m.output;
  EXPECT_DOUBLE_EQ(atOff, 1 - 0.5 * std::exp(-1.0));
  m.Evaluate(StepStart(2), 2, 0.5, 0);
  EXPECT_DOUBLE_EQ(m.output, atOff);
  m.Evaluate(StepStart(4), 2, 0.5, 0);
  EXPECT_DOUBLE_EQ(m.output, atOff * std::exp(-1.0));
  const double atOn = m.output;
  m.Evaluate(StepStart(4), 2, 0.5, 1);
  EXPECT_DOUBLE_EQ(m.output, atOn);
  m.Evaluate(StepStart(6), 2, 0.5, 1);
  EXPECT_DOUBLE_EQ(m.output, 1 - (1 - atOn) * std::exp(-1.0));
}

TEST(ExponentialSwitch, InitialValueIsKeptInsideTheOpenUnitInterval) {
  SwitchMemory m;
  m.Evaluate(Initializing(0), 1, 1, 0);
  EXPECT_DOUBLE_EQ(m.output, 0.999999);
  m.Evaluate(Initializing(0), 1, -3, 0);
  EXPECT_NEAR(m.output, 1e-30, 1e-42);
}

}  // namespace
}  // namespace tarn
