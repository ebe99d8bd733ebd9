// Properties shared by the variable-step integrators (Fehlberg 1(2) and 4(5), Rosenbrock): the
// observed order of the solution and of the error estimate, and the cost and accuracy of a stiff
// problem run through the solver.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>

#include "integrators/rosenbrock_integrator.h"
#include "integrators/runge_kutta_fehlberg2_integrator.h"
#include "integrators/runge_kutta_fehlberg5_integrator.h"
#include "solver/solver_test_model.h"
#include "support/toy_model.h"

namespace tarn {
namespace {

using namespace test::toy;  // the model block; NonAutonomous runs from (0.5, (1, 1))

struct Method {
  const char* name;
  std::function<std::unique_ptr<Integrator>()> create;
  IntegrationAlgorithm algorithm;
  // Of the solution the method advances with. Its error estimate, the local error of the
  // embedded solution one order lower, shrinks as h^order too.
  int order;
  // The local error estimate of state i after a step of size h, up to a constant factor.
  std::function<double(const Integrator&, double h, uint32_t i)> estimate;
  bool stiff;  // takes large steps on stiff problems
};

void PrintTo(const Method& method, std::ostream* out) { *out << method.name; }

std::vector<Method> Methods() {
  // The Fehlberg integrators keep e = |error combination| = local error estimate · D / h.
  auto fehlberg = [](const Integrator& integrator, double h, uint32_t i) {
    return h * integrator.currentErrors[i];
  };
  auto rosenbrock = [](const Integrator& integrator, double, uint32_t i) {
    return static_cast<const RosenbrockIntegrator&>(integrator).stepError[i];
  };
  return {
      {"Fehlberg2", [] { return std::make_unique<RungeKuttaFehlberg2Integrator>(); },
       IntegrationAlgorithm::AlgRungeKuttaFehlberg2, 2, fehlberg, false},
      {"Fehlberg5", [] { return std::make_unique<RungeKuttaFehlberg5Integrator>(); },
       IntegrationAlgorithm::AlgRungeKuttaFehlberg5, 5, fehlberg, false},
      {"Rosenbrock", [] { return std::make_unique<RosenbrockIntegrator>(); },
       IntegrationAlgorithm::AlgRosenbrock, 4, rosenbrock, true},
  };
}

class VariableStepOrderTest : public testing::TestWithParam<Method> {
 protected:
  // Integrates NonAutonomous from 0.5 to 1.5 in `steps` equal steps, with error bounds so loose
  // that every step passes at once. Returns the largest error at the end; the first step's error
  // estimates go to `estimates`.
  double ErrorAfter(int steps, double* estimates) {
    const double h = 1.0 / steps;
    t = 0.5;
    y[0] = y[1] = 1;
    std::unique_ptr<Integrator> integrator = GetParam().create();
    TarnLogical stopFlag = 0;
    integrator->settings.stopFlag = &stopFlag;
    integrator->Initialize(Bindings(2, 0, NonAutonomous));
    integrator->initializing = false;
    for (uint32_t i = 0; i < 2; ++i) integrator->SetMaxAbsoluteError(i, 1);
    integrator->CalculateDerivatives();
    for (int step = 0; step < steps; ++step) {
      integrator->stepSize = h;
      integrator->Step();
      integrator->CalculateDerivatives();  // as the solver does after every step
      if (step == 0) {
        for (uint32_t i = 0; i < 2; ++i) estimates[i] = GetParam().estimate(*integrator, h, i);
      }
    }
    EXPECT_NEAR(t, 1.5, 1e-14) << "a step was rejected";
    return std::max(std::fabs(y[0] - std::exp(std::sin(t) - std::sin(0.5))),
                    std::fabs(y[1] - std::exp(0.25 - t * t)));
  }
};

TEST_P(VariableStepOrderTest, HalvingTheStepReducesErrorAndEstimateByTwoToTheOrder) {
  double coarseEstimates[2];
  double fineEstimates[2];
  const double coarse = ErrorAfter(20, coarseEstimates);
  const double fine = ErrorAfter(40, fineEstimates);
  EXPECT_NEAR(std::log2(coarse / fine), GetParam().order, 0.2)
      << "errors " << coarse << " and " << fine;
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(std::log2(std::fabs(coarseEstimates[i] / fineEstimates[i])), GetParam().order, 0.2)
        << "state " << i << ": estimates " << coarseEstimates[i] << " and " << fineEstimates[i];
  }
}

// y0' = y1, y1' = -1000·y0 from (1, 0): an oscillator whose Rosenbrock iteration matrix needs a
// row exchange; and the same with one algebraic state z0 = cos t that nothing reads, solved
// between the stages. Its residual grows as the square root of the distance from the root, so the
// iteration stalls and factorises a fresh Jacobian of its own.
void StiffOscillator(uint32_t, uint32_t) {
  dy[0] = y[1];
  dy[1] = -1000 * y[0];
}
void StiffOscillatorWithAlgebraicState(uint32_t instance, uint32_t section) {
  StiffOscillator(instance, section);
  const double offset = z[0] - std::cos(t);
  r[0] = std::copysign(std::sqrt(std::fabs(offset)), offset);
}

TEST_P(VariableStepOrderTest, AlgebraicStateThatNothingReadsChangesNoStep) {
  const auto run = [](uint32_t algebraicStates, TarnSimDerivativeFunction model) {
    t = 0;
    y[0] = 1;
    y[1] = 0;
    z[0] = 1;
    std::unique_ptr<Integrator> integrator = GetParam().create();
    TarnLogical stopFlag = 0;
    integrator->settings.stopFlag = &stopFlag;
    integrator->Initialize(Bindings(2, algebraicStates, model));
    integrator->initializing = false;
    for (uint32_t i = 0; i < 3; ++i) integrator->SetMaxAbsoluteError(i, 1e-6);
    integrator->stepSize = 1e-3;
    integrator->CalculateAlgebraicStatesOrStop();
    integrator->CalculateDerivatives();
    for (int step = 0; step < 20; ++step) {
      integrator->Step();
      integrator->CalculateAlgebraicStatesOrStop();
      integrator->CalculateDerivatives();
    }
    EXPECT_EQ(stopFlag, 0);
    return std::array<double, 3>{t, y[0], y[1]};
  };
  const std::array<double, 3> plain = run(0, StiffOscillator);
  EXPECT_EQ(run(1, StiffOscillatorWithAlgebraicState), plain);
  EXPECT_NEAR(plain[1], std::cos(std::sqrt(1000.0) * plain[0]), 1e-2);
}

INSTANTIATE_TEST_SUITE_P(Methods, VariableStepOrderTest, testing::ValuesIn(Methods()),
                         [](const testing::TestParamInfo<Method>& info) {
                           return info.param.name;
                         });

// y0' = -y0, y1' = 1000·(y0 - y1), y(0) = (1, 0), to t = 5: after a transient of a few
// thousandths y1 follows 1000/999·exp(-t), but an explicit method must keep its steps below its
// stability limit (a few thousandths) all the way. The linearly implicit method need not.
void TwoTimeScales(double, const double* y, double* dy) {
  dy[0] = -y[0];
  dy[1] = 1000 * (y[0] - y[1]);
}

class VariableStepStiffTest : public test::SolverTestModel,
                              public testing::WithParamInterface<Method> {};

TEST_P(VariableStepStiffTest, OnlyTheLinearlyImplicitMethodTakesLargeStepsOnAStiffProblem) {
  control_.cint = 1;
  Start(GetParam().algorithm, TwoTimeScales, {1, 0});
  for (uint32_t i = 0; i < 2; ++i) {
    solver_.GetIntegrator()->SetMaxAbsoluteError(i, 1e-6);
    solver_.GetIntegrator()->SetMaxRelativeError(i, 1e-6);
  }
  while (t_ < 5) ASSERT_TRUE(Interval());

  EXPECT_EQ(t_, 5);
  // The explicit methods stay stable but, working at their stability limit, control the fast
  // component only loosely.
  const double accuracy = GetParam().stiff ? 1e-5 : 1e-3;
  EXPECT_NEAR(states_[0], std::exp(-5.0), accuracy);
  EXPECT_NEAR(states_[1], 1000.0 / 999 * std::exp(-5.0), accuracy);
  if (GetParam().stiff) {
    EXPECT_LT(stepEnds_.size(), 200u);
  } else {
    EXPECT_GT(stepEnds_.size(), 1000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, VariableStepStiffTest, testing::ValuesIn(Methods()),
                         [](const testing::TestParamInfo<Method>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace tarn
