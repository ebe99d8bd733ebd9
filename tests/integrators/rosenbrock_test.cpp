// Rosenbrock integrator: growth by 1.5 while the error is small, failed attempts that at most
// halve the step, the attempt limit, a singular iteration matrix, and Robertson's chemical
// kinetics through the solver against reference values.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "integrators/rosenbrock_integrator.h"
#include "solver/solver_test_model.h"
#include "support/toy_model.h"

namespace tarn {
namespace {

using namespace test::toy;  // the model block and its evaluation times
double lambda;

// The step of each attempt from t0 = 0: an attempt evaluates at t0 + h, then at once at
// t0 + 0.6·h.
std::vector<double> AttemptSteps() {
  std::vector<double> steps;
  for (size_t i = 0; i + 1 < evaluationTimes.size(); ++i) {
    const double h = evaluationTimes[i];
    if (h != 0 && evaluationTimes[i + 1] == 0.6 * h) steps.push_back(h);
  }
  return steps;
}

// y' = lambda·y.
void Linear(uint32_t, uint32_t) {
  evaluationTimes.push_back(t);
  dy[0] = lambda * y[0];
}

class RosenbrockTest : public testing::Test {
 protected:
  // y' = lambdaIn·y from (0, y0) with step h and both error bounds `bound`, the derivatives
  // evaluated at the start as the solver leaves them.
  void Start(double lambdaIn, double y0, double h, double bound) {
    lambda = lambdaIn;
    t = 0;
    y[0] = y0;
    evaluationTimes.clear();
    integrator_.settings.stopFlag = &stopFlag_;
    integrator_.Initialize(Bindings(1, 0, Linear));
    integrator_.initializing = false;
    integrator_.SetMaxAbsoluteError(0, bound);
    integrator_.SetMaxRelativeError(0, bound);
    integrator_.stepSize = h;
    integrator_.CalculateDerivatives();
  }

  RosenbrockIntegrator integrator_;
  TarnLogical stopFlag_ = 0;
};

TEST_F(RosenbrockTest, StepGrowsByExactlyOneAndAHalfWhileTheErrorRatioIsAtMost0_1296) {
  // Decay from a small step: the error ratio starts far below 0.1296 and climbs as the step
  // grows; above it the growth is 0.9·ratio^-1/4.
  Start(-1, 1, 1e-4, 1e-6);
  int smallRatios = 0;
  for (int step = 0; step < 40; ++step) {
    const double h = integrator_.stepSize;
    integrator_.Step();
    integrator_.CalculateDerivatives();
    const double ratio = std::fabs(integrator_.stepError[0] / integrator_.maxErrors[0]);
    if (ratio <= 0.1296) {
      ++smallRatios;
      EXPECT_EQ(integrator_.stepSize, 1.5 * h) << "step " << step;
    } else {
      EXPECT_DOUBLE_EQ(integrator_.stepSize, 0.9 * h * std::pow(ratio, -0.25)) << "step " << step;
      EXPECT_LT(integrator_.stepSize, 1.5 * h) << "step " << step;
    }
  }
  EXPECT_GT(smallRatios, 5);
  EXPECT_LT(smallRatios, 35);
  EXPECT_NEAR(y[0], std::exp(-t), 1e-5);
}

TEST_F(RosenbrockTest, FailedAttemptsShrinkTheStepByAtMostHalf) {
  // A first step far too large: huge error ratios halve the step; the last failure, with a ratio
  // below 5.8, shrinks it by 0.9·ratio^-1/3 instead.
  Start(-1, 1, 1, 4e-12);
  integrator_.Step();
  const std::vector<double> attemptTimes = AttemptSteps();
  ASSERT_EQ(attemptTimes.size(), 10u);
  for (size_t i = 1; i < 9; ++i) EXPECT_EQ(attemptTimes[i], 0.5 * attemptTimes[i - 1]);
  EXPECT_GT(attemptTimes[9], 0.5 * attemptTimes[8]);
  EXPECT_LT(attemptTimes[9], 0.9 * attemptTimes[8]);
  EXPECT_EQ(t, attemptTimes.back());
  EXPECT_EQ(stopFlag_, 0);
}

TEST_F(RosenbrockTest, FortyFailedAttemptsStopTheRunAtTheStartOfTheStep) {
  Start(-1, 1, 1, 0);  // a zero error bound is never met
  integrator_.Step();
  const std::vector<double> attemptTimes = AttemptSteps();
  ASSERT_EQ(attemptTimes.size(), 40u);
  EXPECT_EQ(attemptTimes.back(), std::ldexp(1.0, -39));
  EXPECT_EQ(integrator_.messages,
            "Error: exceeded maximum number of iterations in Rosenbrock integrator.\n");
  EXPECT_EQ(stopFlag_, 1);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(y[0], 1);
  EXPECT_EQ(dy[0], -1);
}

TEST_F(RosenbrockTest, SingularIterationMatrixFailsTheAttemptAndHalvesTheStep) {
  // y' = 16·y at y = 0 with h = 1/8: the finite-difference Jacobian (perturbation 2^-10, the error
  // bound) is exactly 16 and so is 1/(γh). The zero pivot makes the increments NaN; half the
  // step is regular.
  Start(16, 0, 0.125, std::ldexp(1.0, -10));
  integrator_.Step();
  EXPECT_EQ(AttemptSteps(), (std::vector<double>{0.125, 0.0625}));
  EXPECT_EQ(t, 0.0625);
  EXPECT_EQ(y[0], 0);
  EXPECT_EQ(integrator_.stepSize, 1.5 * 0.0625);
}

// Robertson's chemical kinetics (H. H. Robertson, 1966), the classic stiff test.
void Robertson(double, const double* y, double* dy) {
  dy[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
  dy[2] = 3e7 * y[1] * y[1];
  dy[1] = -dy[0] - dy[2];
}

class RosenbrockRobertsonTest : public test::SolverTestModel {};

TEST_F(RosenbrockRobertsonTest, ReachesTheReferenceSolutionAtFortyThroughTheSolver) {
  control_.cint = 4;
  control_.nstp = 10;
  Start(IntegrationAlgorithm::AlgRosenbrock, Robertson, {1, 0, 0});
  const double absolute[] = {1e-10, 1e-14, 1e-10};
  for (uint32_t i = 0; i < 3; ++i) {
    solver_.GetIntegrator()->SetMaxAbsoluteError(i, absolute[i]);
    solver_.GetIntegrator()->SetMaxRelativeError(i, 1e-7);
  }
  while (t_ < 40) ASSERT_TRUE(Interval());

  EXPECT_EQ(t_, 40);
  EXPECT_EQ(control_.zzstopflag, 0);
  // Relative bound 1e-7: about nine correct digits of y0 and y2, six of the small y1.
  EXPECT_NEAR(states_[0], 0.7158270687, 1e-9);
  EXPECT_NEAR(states_[1], 9.185534764e-6, 1e-11);
  EXPECT_NEAR(states_[2], 0.2841637457, 1e-9);
  // An explicit method would need steps of about a thousandth to the end.
  EXPECT_LT(stepEnds_.size(), 3000u);
}

}  // namespace
}  // namespace tarn
