// Fehlberg 1(2) and 4(5) against hand-computed steps: one step of exponential growth, growth of
// the step on a zero and on a known error, shrinking after failed attempts without growth, and
// the minimum-step failure.
//
// Jump's derivative is 0 at t = 0 and 1 after it. From t0 = 0, k1 = 0 and every later stage is 1,
// so the error combination is a fixed number (2090 for the 4(5) pair, 1 for the 1(2) pair) and
// the relative error of a step is proportional to h: q = 27.78·h and 19.53·h with bound 1e-4.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "integrators/runge_kutta_fehlberg2_integrator.h"
#include "integrators/runge_kutta_fehlberg5_integrator.h"
#include "support/toy_model.h"

namespace tarn {
namespace {

using namespace test::toy;  // the model block and its evaluation times

// y' = 1: every stage is equal and the error estimate is exactly zero.
void Constant(uint32_t, uint32_t) {
  evaluationTimes.push_back(t);
  dy[0] = dy[1] = 1;
}

void Growth(uint32_t, uint32_t) {
  evaluationTimes.push_back(t);
  dy[0] = y[0];
}

void Jump(uint32_t, uint32_t) {
  evaluationTimes.push_back(t);
  dy[0] = t > 0 ? 1 : 0;
}

struct Method {
  const char* name;
  std::function<std::unique_ptr<Integrator>()> create;
  int32_t stageCount;
  double oneStepOfGrowth;                 // y' = y, y(0) = 1, h = 0.1, in rational arithmetic
  double grownFromHundredth;              // proposal after h = 0.01: 0.01·accept/q^p
  double keptStep;                        // 1 >= accept/q^p: growth clipped to 1
  std::vector<double> attemptsFromTenth;  // each h·max(0.1, 0.8/q^p) until q <= 1
};

void PrintTo(const Method& method, std::ostream* out) { *out << method.name; }

class FehlbergTest : public testing::TestWithParam<Method> {
 protected:
  void Start(uint32_t numStates, TarnSimDerivativeFunction function, double h) {
    t = 0;
    y[0] = y[1] = 0;
    evaluationTimes.clear();
    integrator_ = GetParam().create();
    integrator_->settings.stopFlag = &stopFlag_;
    integrator_->settings.minStepSizeViolation = &minStepSizeViolation_;
    integrator_->Initialize(Bindings(numStates, 0, function));
    integrator_->initializing = false;
    integrator_->stepSize = h;
  }

  // The step of each attempt of the last Step: the largest time among its stage evaluations
  // (one stage is at t0 + h). The first evaluation of a step is k1, shared by its attempts; a
  // failed step ends with one more evaluation.
  std::vector<double> Attempts() const {
    std::vector<double> attempts;
    const auto perAttempt = static_cast<size_t>(GetParam().stageCount - 1);
    for (size_t first = 1; first + perAttempt <= evaluationTimes.size(); first += perAttempt) {
      const auto begin = evaluationTimes.begin() + static_cast<ptrdiff_t>(first);
      attempts.push_back(*std::max_element(begin, begin + static_cast<ptrdiff_t>(perAttempt)));
    }
    return attempts;
  }

  std::unique_ptr<Integrator> integrator_;
  TarnLogical stopFlag_ = 0;
  TarnLogical minStepSizeViolation_ = 0;
};

TEST_P(FehlbergTest, OneStepOfExponentialGrowth) {
  Start(1, Growth, 0.1);
  y[0] = 1;
  integrator_->Step();
  EXPECT_EQ(t, 0.1);
  EXPECT_NEAR(y[0], GetParam().oneStepOfGrowth, 1e-15);
}

TEST_P(FehlbergTest, ZeroErrorGrowsTheStepFivefold) {
  // No state limited the step: the count goes to state 1 (state 0 of a single-state model).
  for (uint32_t numStates : {1u, 2u}) {
    Start(numStates, Constant, 0.1);
    integrator_->Step();
    EXPECT_EQ(t, 0.1);
    EXPECT_DOUBLE_EQ(y[0], 0.1);
    EXPECT_EQ(integrator_->stepSize, 0.5);
    EXPECT_TRUE(integrator_->stepSizeChanged);
    EXPECT_EQ(integrator_->errorControlledCount.back(), 1) << numStates << " states";
  }
}

TEST_P(FehlbergTest, AcceptedStepGrowsByTheAcceptConstantOverTheErrorRatioUpToOne) {
  Start(1, Jump, 0.01);
  integrator_->Step();
  EXPECT_EQ(t, 0.01);
  EXPECT_NEAR(integrator_->stepSize, GetParam().grownFromHundredth, 1e-15);
  EXPECT_TRUE(integrator_->stepSizeChanged);

  Start(1, Jump, GetParam().keptStep);
  integrator_->stepSizeChanged = true;
  integrator_->Step();
  EXPECT_EQ(t, GetParam().keptStep);
  EXPECT_EQ(integrator_->stepSize, GetParam().keptStep);
  EXPECT_FALSE(integrator_->stepSizeChanged);
}

TEST_P(FehlbergTest, FailedAttemptsShrinkTheStepAndTheReducedStepIsNotGrown) {
  Start(1, Jump, 0.1);
  integrator_->Step();
  const std::vector<double>& expected = GetParam().attemptsFromTenth;
  const std::vector<double> attempts = Attempts();
  ASSERT_EQ(attempts.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(attempts[i], expected[i], 1e-15);
  EXPECT_EQ(t, attempts.back());
  EXPECT_EQ(integrator_->stepSize, attempts.back());
  EXPECT_TRUE(integrator_->stepSizeChanged);
  EXPECT_EQ(integrator_->errorControlledCount[0], 1);  // first attempts only

  // A smooth problem, whose error falls faster than the step: the attempt that passes has room
  // to grow, and still the proposal is the step taken.
  Start(1, Growth, 1);
  y[0] = 1;
  integrator_->SetMaxAbsoluteError(0, 1e-10);
  integrator_->SetMaxRelativeError(0, 1e-10);
  integrator_->Step();
  EXPECT_LT(t, 0.5);
  EXPECT_EQ(integrator_->stepSize, t);
  EXPECT_TRUE(integrator_->stepSizeChanged);
}

TEST_P(FehlbergTest, ErrorTestFailingAtTheMinimumStepStopsTheRunAtTheStartOfTheStep) {
  // A zero error bound is never met: the attempts shrink tenfold down to exactly minStepSize.
  Start(1, Jump, 0.5);
  integrator_->SetMaxAbsoluteError(0, 0);
  integrator_->Step();
  const std::vector<double> attempts = Attempts();
  ASSERT_EQ(attempts.size(), 11u);
  EXPECT_NEAR(attempts[9], 5e-10, 1e-24);
  EXPECT_EQ(attempts[10], 1e-10);
  EXPECT_EQ(integrator_->messages, "Cannot satisfy error criterion for state number 0.\n");
  EXPECT_EQ(stopFlag_, 1);
  EXPECT_EQ(minStepSizeViolation_, 1);
  EXPECT_TRUE(integrator_->minStepViolated);
  // Not at a stage of the failed attempt: the model is evaluated at the start of the step.
  EXPECT_EQ(t, 0);
  EXPECT_EQ(y[0], 0);
  EXPECT_EQ(evaluationTimes.back(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, FehlbergTest,
    testing::Values(
        Method{.name = "Fehlberg2",
               .create = [] { return std::make_unique<RungeKuttaFehlberg2Integrator>(); },
               .stageCount = 3,
               .oneStepOfGrowth = 1.1050009727478027,
               .grownFromHundredth = 0.018101933598375617,
               .keptStep = 0.04,
               .attemptsFromTenth = {0.1, 0.057243340223994625, 0.04330992695052552}},
        Method{.name = "Fehlberg5",
               .create = [] { return std::make_unique<RungeKuttaFehlberg5Integrator>(); },
               .stageCount = 6,
               .oneStepOfGrowth = 1.105170917147436,
               .grownFromHundredth = 0.0116279460896007,
               .keptStep = 0.03,
               .attemptsFromTenth = {0.1, 0.06521544876847384, 0.046326647917940895,
                                     0.035238319476816105}}),
    [](const testing::TestParamInfo<Method>& info) { return info.param.name; });

}  // namespace
}  // namespace tarn
