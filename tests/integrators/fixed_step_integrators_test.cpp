// Fixed-step integrators: one-step reference values, observed order of convergence, where and how
// each method evaluates the model, Adams-Bashforth restarts, algebraic states within a step, and
// the placeholder classes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "integrators/adams_bashforth2_integrator.h"
#include "integrators/bulirsch_stoer_integrator.h"
#include "integrators/dassl_integrator.h"
#include "integrators/euler_integrator.h"
#include "integrators/runge_kutta2_integrator.h"
#include "integrators/runge_kutta4_integrator.h"
#include "integrators/user_defined_integrator.h"
#include "support/toy_model.h"

namespace tarn {
namespace {

using namespace test::toy;  // the model block, its evaluation times, NonAutonomous
Integrator* current;
std::vector<bool> evaluationAuxiliary;  // of every evaluation, beside evaluationTimes

void Record() {
  evaluationTimes.push_back(t);
  evaluationAuxiliary.push_back(current->inAuxiliaryEvaluation);
}

// y' = y.
void Growth(uint32_t, uint32_t) {
  Record();
  dy[0] = y[0];
}

struct Method {
  const char* name;
  std::function<std::unique_ptr<Integrator>()> create;
  int order;
  double oneStepOfGrowth;                // y' = y, y(0) = 1, h = 0.1
  std::vector<double> evaluationPoints;  // in units of h
};

// Test listings show the method by name.
void PrintTo(const Method& method, std::ostream* out) { *out << method.name; }

std::vector<Method> Methods() {
  return {
      {"Euler", [] { return std::make_unique<EulerIntegrator>(); }, 1, 1.1, {0, 1}},
      {"RungeKutta2",
       [] { return std::make_unique<RungeKutta2Integrator>(); },
       2,
       1.105,
       {0, 2.0 / 3}},
      {"RungeKutta4",
       [] { return std::make_unique<RungeKutta4Integrator>(); },
       4,
       1.1051708333333333,
       {0, 0.5, 0.5, 1}},
      {"AdamsBashforth2",
       [] { return std::make_unique<AdamsBashforth2Integrator>(); },
       2,
       1.1,
       {0}},
  };
}

class FixedStepTest : public testing::TestWithParam<Method> {
 protected:
  void SetUp() override {
    t = 0;
    std::fill(std::begin(y), std::end(y), 0.0);
    std::fill(std::begin(dy), std::end(dy), 0.0);
    z[0] = r[0] = 0;
    evaluationTimes.clear();
    evaluationAuxiliary.clear();
    integrator_ = GetParam().create();
    current = integrator_.get();
    integrator_->settings.stopFlag = &stopFlag_;
  }

  void Bind(uint32_t odeStates, uint32_t algebraicStates, TarnSimDerivativeFunction function) {
    integrator_->Initialize(Bindings(odeStates, algebraicStates, function));
    integrator_->initializing = false;
  }

  // Integrates NonAutonomous from 0 to 1 in `steps` steps; the largest error at the end.
  double ErrorAfter(int steps) {
    SetUp();
    Bind(2, 0, NonAutonomous);
    y[0] = y[1] = 1;
    integrator_->stepSize = 1.0 / steps;
    for (int i = 0; i < steps; ++i) integrator_->Step();
    return std::max(std::fabs(y[0] - std::exp(std::sin(t))), std::fabs(y[1] - std::exp(-t * t)));
  }

  std::unique_ptr<Integrator> integrator_;
  TarnLogical stopFlag_ = 0;
};

TEST_P(FixedStepTest, OneStepOfExponentialGrowth) {
  Bind(1, 0, Growth);
  y[0] = 1;
  integrator_->stepSize = 0.1;
  integrator_->Step();
  EXPECT_NEAR(y[0], GetParam().oneStepOfGrowth, 1e-15);
  EXPECT_DOUBLE_EQ(t, 0.1);
}

TEST_P(FixedStepTest, HalvingTheStepReducesTheErrorByTwoToTheOrder) {
  const double coarse = ErrorAfter(20);
  const double fine = ErrorAfter(40);
  EXPECT_NEAR(std::log2(coarse / fine), GetParam().order, 0.15)
      << "errors " << coarse << " and " << fine;
}

TEST_P(FixedStepTest, EvaluatesAtItsStagePointsAndOnlyTheFirstIsAuxiliary) {
  Bind(1, 0, Growth);
  y[0] = 1;
  t = 2;
  integrator_->stepSize = 0.25;
  integrator_->Step();
  const std::vector<double>& points = GetParam().evaluationPoints;
  ASSERT_EQ(evaluationTimes.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_DOUBLE_EQ(evaluationTimes[i], 2 + 0.25 * points[i]);
    EXPECT_EQ(evaluationAuxiliary[i], i == 0);
  }
}

TEST_P(FixedStepTest, AdvancesTimeWithoutOdeStates) {
  Bind(0, 0, [](uint32_t, uint32_t) {});
  integrator_->stepSize = 0.5;
  integrator_->Step();
  integrator_->Step();
  EXPECT_EQ(t, 1.0);
}

TEST_P(FixedStepTest, AlgebraicStatesAreSolvedBeforeEveryEvaluation) {
  // z = 2y held by the residual, y' = -z: the step must match y' = -2y.
  Bind(1, 1, [](uint32_t, uint32_t) {
    r[0] = z[0] - 2 * y[0];
    dy[0] = -z[0];
  });
  y[0] = 1;
  z[0] = 2;
  integrator_->initializing = true;
  ASSERT_TRUE(integrator_->CalculateAlgebraicStates());
  integrator_->initializing = false;
  integrator_->stepSize = 0.1;
  integrator_->Step();

  // The same step of y' = -2y without algebraic states.
  const double y1 = y[0];
  SetUp();
  Bind(1, 0, [](uint32_t, uint32_t) { dy[0] = -2 * y[0]; });
  y[0] = 1;
  integrator_->stepSize = 0.1;
  integrator_->Step();
  EXPECT_NEAR(y1, y[0], 1e-9);
}

TEST_P(FixedStepTest, FailedAlgebraicIterationRaisesStopAndCompletesTheStep) {
  Bind(1, 1, [](uint32_t, uint32_t) {
    r[0] = 1;
    dy[0] = 1;
  });
  integrator_->stepSize = 0.1;
  integrator_->Step();
  EXPECT_EQ(stopFlag_, 1);
  EXPECT_DOUBLE_EQ(t, 0.1);
  EXPECT_DOUBLE_EQ(y[0], 0.1);
}

INSTANTIATE_TEST_SUITE_P(Methods, FixedStepTest, testing::ValuesIn(Methods()),
                         [](const testing::TestParamInfo<Method>& info) {
                           return info.param.name;
                         });

TEST(RungeKutta4Test, TraceNamesEachEvaluation) {
  RungeKutta4Integrator integrator;
  current = &integrator;
  integrator.Initialize(Bindings(1, 0, Growth));
  integrator.writeNormalData = true;
  integrator.Step();
  const std::string& text = integrator.messages;
  size_t position = 0;
  for (const char* label : {"Start of step.\nInd Var:", "Second derivative evaluation.\n",
                            "Third derivative evaluation.\n", "Fourth derivative evaluation.\n"}) {
    const size_t found = text.find(label, position);
    ASSERT_NE(found, std::string::npos) << label;
    position = found;
  }
}

TEST(AdamsBashforth2Test, RestartsWithAnEulerStepAfterOutsideChanges) {
  AdamsBashforth2Integrator integrator;
  current = &integrator;
  t = 0;
  y[0] = 1;
  integrator.Initialize(Bindings(1, 0, Growth));
  integrator.stepSize = 0.1;

  integrator.Step();  // Euler start
  EXPECT_DOUBLE_EQ(y[0], 1.1);
  integrator.Step();  // 1.1 + 0.05·(3·1.1 - 1)
  EXPECT_DOUBLE_EQ(y[0], 1.215);

  y[0] = 2;           // changed from outside
  integrator.Step();  // Euler again
  EXPECT_DOUBLE_EQ(y[0], 2.2);
  integrator.Step();  // 2.2 + 0.05·(3·2.2 - 2)
  EXPECT_DOUBLE_EQ(y[0], 2.43);

  integrator.restartRequested = true;
  integrator.Step();
  EXPECT_DOUBLE_EQ(y[0], 2.673);
  EXPECT_FALSE(integrator.restartRequested);
  EXPECT_DOUBLE_EQ(t, 0.5);
}

struct Placeholder {
  const char* name;
  std::function<std::unique_ptr<Integrator>()> create;
  IntegrationAlgorithm algorithm;
};

void PrintTo(const Placeholder& placeholder, std::ostream* out) { *out << placeholder.name; }

class PlaceholderTest : public testing::TestWithParam<Placeholder> {};

TEST_P(PlaceholderTest, StepChangesNothing) {
  std::unique_ptr<Integrator> integrator = GetParam().create();
  EXPECT_EQ(integrator->algorithm, GetParam().algorithm);
  EXPECT_EQ(integrator->currentOrder, 0);
  static int evaluations;
  evaluations = 0;
  t = 3;
  y[0] = 1;
  integrator->Initialize(Bindings(1, 0, [](uint32_t, uint32_t) { ++evaluations; }));
  integrator->Step();
  EXPECT_EQ(t, 3);
  EXPECT_EQ(y[0], 1);
  EXPECT_EQ(evaluations, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, PlaceholderTest,
    testing::Values(Placeholder{"UserDefined",
                                [] { return std::make_unique<UserDefinedIntegrator>(); },
                                IntegrationAlgorithm::AlgUserDefined},
                    Placeholder{"Dassl", [] { return std::make_unique<DasslIntegrator>(); },
                                IntegrationAlgorithm::AlgDassl},
                    Placeholder{"BulirschStoer",
                                [] { return std::make_unique<BulirschStoerIntegrator>(); },
                                IntegrationAlgorithm::AlgBulirschStoer}),
    [](const testing::TestParamInfo<Placeholder>& info) { return info.param.name; });

}  // namespace
}  // namespace tarn
