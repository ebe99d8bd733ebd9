// Multi-value integrators (Adams-Moulton and Gear) stepped directly and run through the solver, on
// models with known or published solutions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

#include "integrators/adams_moulton_integrator.h"
#include "integrators/gear_stiff_integrator.h"
#include "solver/solver_test_model.h"
#include "support/toy_model.h"

namespace tarn {
namespace {

constexpr IntegrationAlgorithm kAdams = IntegrationAlgorithm::AlgAdamsMoulton;
constexpr IntegrationAlgorithm kGear = IntegrationAlgorithm::AlgGearStiff;

std::string FamilyName(const testing::TestParamInfo<IntegrationAlgorithm>& info) {
  return info.param == kGear ? "Gear" : "Adams";
}

// ---- The integrator stepped directly -----------------------------------------------------------

using namespace test::toy;  // the model block: ODE states y, algebraic state z, residual r

// y0' = y1, y1' = -y0: (sin t, cos t) from (0, 1).
void Oscillator(uint32_t, uint32_t) {
  dy[0] = y[1];
  dy[1] = -y[0];
}

class MultiValueTest : public testing::Test {
 protected:
  // A fresh integrator of `algorithm` on `model` at t = 0 with every error bound `bound`, the
  // algebraic state (from 0) solved unless `solveAlgebraic` is false, and the model evaluated, as
  // the solver leaves it before the first step.
  void Start(IntegrationAlgorithm algorithm, TarnSimDerivativeFunction model,
             std::initializer_list<double> initial, uint32_t algebraicStates, double bound,
             bool solveAlgebraic = true) {
    t = 0;
    z[0] = 0;
    std::copy(initial.begin(), initial.end(), y);
    const auto n = static_cast<uint32_t>(initial.size());
    if (algorithm == kGear) {
      integrator_ = std::make_unique<GearStiffIntegrator>();
    } else {
      integrator_ = std::make_unique<AdamsMoultonIntegrator>();
    }
    integrator_->settings.stopFlag = &stopFlag_;
    integrator_->settings.minStepSizeViolation = &minStepViolation_;
    integrator_->Initialize(Bindings(n, algebraicStates, model));
    for (uint32_t i = 0; i < n + algebraicStates; ++i) {
      integrator_->SetMaxAbsoluteError(i, bound);
      integrator_->SetMaxRelativeError(i, bound);
    }
    if (solveAlgebraic) {
      ASSERT_TRUE(integrator_->CalculateAlgebraicStates());
    }
    integrator_->initializing = false;
    integrator_->CalculateDerivatives();
  }

  // One step from the proposal h, then the evaluations the solver makes after a step.
  void Step(double h) {
    integrator_->stepSize = h;
    integrator_->Step();
    integrator_->CalculateDerivatives();
    if (integrator_->numAlgStates > 0) {
      ASSERT_TRUE(integrator_->CalculateAlgebraicStates());
    }
  }

  // Steps until `end`, each the integrator's proposal as the solver takes it, the last one cut.
  void RunTo(double end, double firstStep) {
    double proposal = firstStep;
    while (end - t > 1e-12 && stopFlag_ == 0) {
      Step(std::min(proposal, end - t));
      if (integrator_->stepSizeChanged) proposal = integrator_->stepSize;
    }
  }

  std::unique_ptr<MultiValueMethodIntegrator> integrator_;
  TarnLogical stopFlag_ = 0;
  TarnLogical minStepViolation_ = 0;
};

struct FormulaCase {
  IntegrationAlgorithm algorithm;
  int32_t order;
};

class FormulaTest : public MultiValueTest, public testing::WithParamInterface<FormulaCase> {
 protected:
  // Largest error at t = 2 after steps of h at the fixed order, started from the exact history
  // z[j] = y^(j)(0)/j! and loose bounds (one corrector pass, no error-test failure, no decision).
  double ErrorAfterStepsOf(double h) {
    const int32_t q = GetParam().order;
    Start(GetParam().algorithm, Oscillator, {0, 1}, 0, 1);
    constexpr double kSine[4] = {0, 1, 0, -1};  // sin^(j)(0), cos^(j)(0) is kSine[j + 1]
    double factorial = 1;
    for (int32_t j = 0; j <= q; ++j) {
      factorial *= std::max(j, 1);
      integrator_->nordsieck[j][0] = kSine[j % 4] / factorial;
      integrator_->nordsieck[j][1] = kSine[(j + 1) % 4] / factorial;
    }
    integrator_->currentOrder = q;
    integrator_->maxOrder = q;
    integrator_->stepsUntilOrderChange = 1000000;
    integrator_->CalculateJacobianGeneralMatrix();
    for (int k = 0; k < std::lround(2 / h); ++k) Step(h);
    EXPECT_EQ(integrator_->currentOrder, q);
    return std::max(std::fabs(y[0] - std::sin(t)), std::fabs(y[1] - std::cos(t)));
  }
};

TEST_P(FormulaTest, HalvingTheStepDividesTheErrorByTwoToTheOrder) {
  const double coarse = ErrorAfterStepsOf(0.05);
  const double fine = ErrorAfterStepsOf(0.025);
  EXPECT_NEAR(std::log2(coarse / fine), GetParam().order, 0.3) << coarse << " and " << fine;
}

// The corrector vector l_0 .. l_q by its definition, scaled to l_1 = 1: the coefficients of
// ∏(1 + x/i), i = 1..q, for Gear; of ∫ ∏(u + i) du from -1 to x, i = 1..q-1, for Adams.
std::vector<double> CorrectorPolynomial(IntegrationAlgorithm family, int32_t q) {
  std::vector<double> p = {1};  // lowest power first
  auto multiply = [&p](double constant, double linear) {
    std::vector<double> product(p.size() + 1, 0.0);
    for (size_t k = 0; k < p.size(); ++k) {
      product[k] += constant * p[k];
      product[k + 1] += linear * p[k];
    }
    p = product;
  };
  if (family == kGear) {
    for (int32_t i = 1; i <= q; ++i) multiply(1, 1.0 / i);
  } else {
    for (int32_t i = 1; i < q; ++i) multiply(i, 1);
    std::vector<double> integral(p.size() + 1, 0.0);
    for (size_t k = 0; k < p.size(); ++k) {
      integral[k + 1] = p[k] / static_cast<double>(k + 1);
      integral[0] -= integral[k + 1] * (k % 2 == 0 ? -1 : 1);  // the value at -1
    }
    p = integral;
  }
  const double l1 = p[1];
  for (double& coefficient : p) coefficient /= l1;
  return p;
}

// From a zero history with y' = 1 and h = 1 the corrector meets e = -1 and then e = 0, so one
// step leaves exactly l in the Nordsieck array. (J = 0: Gear's iteration matrix is I.)
TEST_P(FormulaTest, CorrectorIsTheFormulasDefiningPolynomial) {
  const int32_t q = GetParam().order;
  Start(
      GetParam().algorithm, [](uint32_t, uint32_t) { dy[0] = 1; }, {0}, 0, 1);
  integrator_->currentOrder = q;
  integrator_->maxOrder = q;
  integrator_->stepsUntilOrderChange = 1000000;
  integrator_->nordsieckStep = 2;  // a step of another size: the first attempt forms the matrix
  Step(1);
  ASSERT_EQ(integrator_->correctionSum[0], -1);
  EXPECT_EQ(integrator_->jacobianEvaluations, 0);
  const std::vector<double> l = CorrectorPolynomial(GetParam().algorithm, q);
  for (int32_t j = 0; j <= q; ++j) EXPECT_NEAR(integrator_->nordsieck[j][0], l[j], 1e-13) << j;
}

std::vector<FormulaCase> AllFormulas() {
  std::vector<FormulaCase> cases;
  for (int32_t q = 1; q <= 7; ++q) cases.push_back({kAdams, q});
  for (int32_t q = 1; q <= 6; ++q) cases.push_back({kGear, q});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Formulas, FormulaTest, testing::ValuesIn(AllFormulas()),
                         [](const testing::TestParamInfo<FormulaCase>& info) {
                           return std::string(info.param.algorithm == kGear ? "Gear" : "Adams") +
                                  std::to_string(info.param.order);
                         });

class FamilyTest : public MultiValueTest,
                   public testing::WithParamInterface<IntegrationAlgorithm> {};

TEST_P(FamilyTest, StateSetFromOutsideRestartsAtOrderOneFromTheNewValue) {
  Start(GetParam(), Oscillator, {0, 1}, 0, 1e-8);
  RunTo(1, 0.01);
  ASSERT_GT(integrator_->currentOrder, 1);
  EXPECT_EQ(integrator_->jacobianEvaluations, 1);
  y[0] = 0;  // from here y = 2·(sin(t - 1), cos(t - 1))
  y[1] = 2;
  integrator_->writeNormalData = true;
  Step(0.001);
  integrator_->writeNormalData = false;
  EXPECT_EQ(integrator_->currentOrder, 1);
  EXPECT_EQ(integrator_->jacobianEvaluations, 2);
  EXPECT_EQ(integrator_->messages.rfind("Start of step.\nInd Var:     1.000000\nODE States: \n"
                                        "  States:     0.000000,     2.000000\n",
                                        0),
            0u);
  EXPECT_NE(integrator_->messages.find("Corrector converged.\n"), std::string::npos);
  RunTo(2, 0.001);
  EXPECT_NEAR(y[0], 2 * std::sin(1.0), 1e-6);
  EXPECT_NEAR(y[1], 2 * std::cos(1.0), 1e-6);
  // A restart request does the same.
  integrator_->restartRequested = true;
  Step(0.001);
  EXPECT_FALSE(integrator_->restartRequested);
  EXPECT_EQ(integrator_->currentOrder, 1);
  EXPECT_EQ(integrator_->jacobianEvaluations, 3);
}

TEST_P(FamilyTest, OrderNeverExceedsMaxOrderNorTheTables) {
  const int32_t highest = GetParam() == kGear ? 6 : 7;
  for (int32_t limit : {1, 3, 20}) {
    Start(GetParam(), Oscillator, {0, 1}, 0, 1e-9);
    int32_t reached = 0;
    double proposal = 0.01;
    while (t < 10) {
      integrator_->maxOrder = limit;  // as the solver copies it before every step
      Step(proposal);
      if (integrator_->stepSizeChanged) proposal = integrator_->stepSize;
      reached = std::max(reached, integrator_->currentOrder);
    }
    EXPECT_EQ(reached, std::min(limit, highest)) << "maxOrder " << limit;
    EXPECT_NEAR(y[0], std::sin(t), 1e-3) << "maxOrder " << limit;
  }
}

// With zero error bounds the error test never passes, and the convergence test only for
// corrections of exactly zero. Adams' corrections never vanish: its steps are cut to a quarter down
// to minStepSize. Gear's Newton iteration on this linear model lands exactly: its step falls
// to minStepSize after the first error-test failure, where six more fail. Both then give up,
// name the state, keep the run going and restart at the next step.
TEST_P(FamilyTest, GivingUpAtTheMinimumStepKeepsTheRunGoing) {
  Start(GetParam(), Oscillator, {0, 1}, 0, 0);
  integrator_->minStepSize = 0.01;
  Step(0.1);
  EXPECT_DOUBLE_EQ(t, 0.01);
  EXPECT_EQ(stopFlag_, 0);
  EXPECT_TRUE(integrator_->minStepViolated);
  EXPECT_EQ(minStepViolation_, 1);
  EXPECT_EQ(integrator_->stepsUntilOrderChange, -2);
  integrator_->WriteStatistics();
  EXPECT_EQ(
      integrator_->messages,
      std::string("Can't satisfy error criterion for state number 1\n"
                  "Count of times state controlled step size\n"
                  "Number of Jacobian evaluations: 1\n") +
          (GetParam() == kGear
               ? "Number of LU decompositions: 7\n"
                 "State:     0,  Predictor Corrector Resets:     0, Error Controlled:     0\n"
                 "State:     1,  Predictor Corrector Resets:     0, Error Controlled:     1\n"
               : "Number of LU decompositions: 0\n"
                 "State:     0,  Predictor Corrector Resets:     0, Error Controlled:     0\n"
                 "State:     1,  Predictor Corrector Resets:     3, Error Controlled:     0\n"));
  const int32_t jacobians = integrator_->jacobianEvaluations;
  integrator_->SetMaxAbsoluteError(0, 1e-6);
  integrator_->SetMaxAbsoluteError(1, 1e-6);
  Step(0.01);
  EXPECT_EQ(integrator_->jacobianEvaluations, jacobians + 1);
  EXPECT_GT(t, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyTest, testing::Values(kAdams, kGear), FamilyName);

TEST_F(MultiValueTest, GearReusesOneFactorisationWhileTheStepSizeStays) {
  // The step is held at 0.01 by maxStepSize; the bounds pass every step at the first attempt.
  Start(kGear, Oscillator, {0, 1}, 0, 1e-3);
  integrator_->maxStepSize = 0.01;
  for (int k = 0; k < 50; ++k) Step(0.01);
  EXPECT_DOUBLE_EQ(t, 0.5);
  EXPECT_GT(integrator_->currentOrder, 1);
  EXPECT_EQ(integrator_->luDecompositions, 1);
  EXPECT_EQ(integrator_->jacobianEvaluations, 1);
}

TEST_F(MultiValueTest, GearStopsOnASingularIterationMatrix) {
  // y' = 8·y at y = 0 with h = 1/8: the finite-difference Jacobian is exactly 8 (perturbation
  // 2^-10, the error bound), so I - h·J is exactly 0 at order 1.
  Start(
      kGear, [](uint32_t, uint32_t) { dy[0] = 8 * y[0]; }, {0}, 0, std::ldexp(1.0, -10));
  Step(0.125);
  EXPECT_EQ(integrator_->messages, "Zero determinant for stiff algorithm.\n");
  EXPECT_EQ(stopFlag_, 1);
  EXPECT_EQ(t, 0);
}

// y0' = -y0 + 2z, y1' = y0 - 3·y1 + z, 0 = 4z - y0 - y1. Eliminating z leaves
// y' = [[-1/2, 1/2], [5/4, -11/4]]·y with eigenvalues -1/4 and -3 and eigenvectors (2, 1) and
// (1, -5): from (3, -4), y = (2, 1)·e^(-t/4) + (1, -5)·e^(-3t).
void LinearWithAlgebraicState(uint32_t, uint32_t) {
  dy[0] = -y[0] + 2 * z[0];
  dy[1] = y[0] - 3 * y[1] + z[0];
  r[0] = 4 * z[0] - y[0] - y[1];
}

TEST_F(MultiValueTest, AlgebraicStateIsEliminatedFromTheJacobian) {
  Start(kGear, LinearWithAlgebraicState, {3, -4}, 1, 1e-8);
  ASSERT_TRUE(integrator_->CalculateJacobianGeneralMatrix());
  const auto& jacobian = integrator_->generalJacobian;
  EXPECT_NEAR(jacobian[0][0], -0.5, 1e-7);
  EXPECT_NEAR(jacobian[1][0], 0.5, 1e-7);
  EXPECT_NEAR(jacobian[0][1], 1.25, 1e-7);
  EXPECT_NEAR(jacobian[1][1], -2.75, 1e-7);
  // The algebraic column holds J_yz·J_zz⁻¹.
  EXPECT_NEAR(jacobian[2][0], 0.5, 1e-7);
  EXPECT_NEAR(jacobian[2][1], 0.25, 1e-7);

  RunTo(4, 0.01);
  EXPECT_EQ(stopFlag_, 0) << integrator_->messages;
  const double slow = std::exp(-1.0);
  const double fast = std::exp(-12.0);
  EXPECT_NEAR(y[0], 2 * slow + fast, 1e-6);
  EXPECT_NEAR(y[1], slow - 5 * fast, 1e-6);
  EXPECT_NEAR(z[0], (y[0] + y[1]) / 4, 1e-8);
}

TEST_F(MultiValueTest, SingularAlgebraicBlockStopsTheRun) {
  // A residual that does not depend on its algebraic state.
  Start(
      kGear,
      [](uint32_t, uint32_t) {
        dy[0] = z[0] - y[0];
        r[0] = y[0] - 1;
      },
      {1}, 1, 1e-6, false);
  integrator_->stepSize = 0.01;
  integrator_->Step();
  EXPECT_EQ(integrator_->messages,
            "Singular matrix for algebraic states.\nError calculating Jacobian: stop flag set.\n");
  EXPECT_EQ(stopFlag_, 1);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(y[0], 1);
}

// ---- Runs through the solver --------------------------------------------------------------------

class MultiValueSolverTest : public test::SolverTestModel {
 protected:
  // Starts `algorithm` on `model` with communication interval `interval` and the error bounds
  // absolute[i] and `relative` of every state.
  void StartRun(IntegrationAlgorithm algorithm, RightHandSide model, std::vector<double> initial,
                double interval, std::vector<double> absolute, double relative) {
    control_.cint = interval;
    control_.nstp = 10;
    Start(algorithm, model, initial);
    for (uint32_t i = 0; i < absolute.size(); ++i) {
      solver_.GetIntegrator()->SetMaxAbsoluteError(i, absolute[i]);
      solver_.GetIntegrator()->SetMaxRelativeError(i, relative);
    }
  }

  // Communication intervals until `end`; false when one failed or stopped the run.
  bool RunTo(double end) {
    while (end - t_ > 1e-12 * end) {
      if (!Interval() || control_.zzstopflag != 0) return false;
    }
    return true;
  }

  MultiValueMethodIntegrator& Method() {
    return static_cast<MultiValueMethodIntegrator&>(*solver_.GetIntegrator());
  }
};

class MultiValueFamilySolverTest : public MultiValueSolverTest,
                                   public testing::WithParamInterface<IntegrationAlgorithm> {};

// y0' = y0·cos t and y1' = -2t·y1 with solutions exp(sin t) and exp(-t²), to t = 4.
TEST_P(MultiValueFamilySolverTest, SmoothRunMeetsTheTolerance) {
  for (double tolerance : {1e-5, 1e-7, 1e-9}) {
    StartRun(
        GetParam(),
        [](double t, const double* y, double* dy) {
          dy[0] = y[0] * std::cos(t);
          dy[1] = -2 * t * y[1];
        },
        {1, 1}, 1, {tolerance, tolerance}, tolerance);
    ASSERT_TRUE(RunTo(4));
    const double error = std::max(std::fabs(states_[0] - std::exp(std::sin(4.0))),
                                  std::fabs(states_[1] - std::exp(-16.0)));
    EXPECT_LT(error, 20 * tolerance) << "tolerance " << tolerance;
    if (GetParam() == kAdams) {
      // One restart, one Jacobian; never a factorisation.
      EXPECT_EQ(Method().jacobianEvaluations, 1);
      EXPECT_EQ(Method().luDecompositions, 0);
    }
    EXPECT_EQ(control_.zzierr, 0);
    stepEnds_.clear();
  }
}

INSTANTIATE_TEST_SUITE_P(Families, MultiValueFamilySolverTest, testing::Values(kAdams, kGear),
                         FamilyName);

// y0' = -y0, y1' = 1000·(y0 - y1), y(0) = (1, 0), to t = 5: after a transient of a few
// thousandths y1 follows 1000/999·exp(-t). Explicit methods and the fixed-point corrector of
// Adams must keep their steps near their stability limit; Gear's need not.
TEST_F(MultiValueSolverTest, GearTakesFarFewerStepsOnAStiffProblem) {
  auto stiff = [](double, const double* y, double* dy) {
    dy[0] = -y[0];
    dy[1] = 1000 * (y[0] - y[1]);
  };
  std::vector<size_t> steps;
  for (IntegrationAlgorithm algorithm :
       {kGear, kAdams, IntegrationAlgorithm::AlgRungeKuttaFehlberg5}) {
    StartRun(algorithm, stiff, {1, 0}, 1, {1e-6, 1e-6}, 1e-6);
    ASSERT_TRUE(RunTo(5));
    EXPECT_NEAR(states_[1], 1000.0 / 999 * std::exp(-5.0), 1e-4);
    steps.push_back(stepEnds_.size());
    stepEnds_.clear();
  }
  EXPECT_LT(steps[0], 400);
  EXPECT_GT(steps[1], 10000);
  EXPECT_GT(steps[2], 1000);
}

// Robertson's chemical kinetics (H. H. Robertson, 1966): rates 0.04, 3e7 and 1e4,
// y(0) = (1, 0, 0), against reference values at t = 40 from a high-accuracy solution.
TEST_F(MultiValueSolverTest, GearReachesRobertsonsReferenceSolution) {
  StartRun(
      kGear,
      [](double, const double* y, double* dy) {
        dy[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
        dy[2] = 3e7 * y[1] * y[1];
        dy[1] = -dy[0] - dy[2];
      },
      {1, 0, 0}, 0.4, {1e-12, 1e-16, 1e-12}, 1e-8);
  ASSERT_TRUE(RunTo(40));
  EXPECT_NEAR(states_[0], 0.7158270687, 1e-9);
  EXPECT_NEAR(states_[1], 9.185534764e-6, 1e-14);
  EXPECT_NEAR(states_[2], 0.2841637457, 1e-9);
}

// Van der Pol's oscillator y0'' = μ·(1 - y0²)·y0' - y0 with μ = 1000 from (2, 0): slow drifts
// between relaxation jumps near t = 807 and 2421. The reference at t = 3000, y0 = -1.5106069367
// and y0' = 0.00117838, comes from runs of the Rosenbrock integrator at tolerances 1e-10 to 1e-12
// and of this integrator at 1e-11, all within 1e-8 of each other.
TEST_F(MultiValueSolverTest, GearFollowsTheVanDerPolOscillatorThroughItsJumps) {
  StartRun(
      kGear,
      [](double, const double* y, double* dy) {
        dy[0] = y[1];
        dy[1] = 1000 * (1 - y[0] * y[0]) * y[1] - y[0];
      },
      {2, 0}, 100, {1e-8, 1e-8}, 1e-8);
  ASSERT_TRUE(RunTo(3000));
  EXPECT_NEAR(states_[0], -1.5106069367, 1e-5);
  EXPECT_NEAR(states_[1], 0.00117838, 1e-8);
}

}  // namespace
}  // namespace tarn
