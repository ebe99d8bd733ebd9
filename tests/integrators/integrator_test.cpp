// Integrator base: guarded derivative evaluation, finite-difference Jacobians and their checks,
// the time derivative, error weights, the algebraic-state iteration and the diagnostic writers.
// Each test binds the integrator to a small model of its own: static arrays and a derivative
// function that reads and writes them.
#include "integrators/integrator.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <string>

#include "support/toy_model.h"

namespace tarn {
namespace {

// Step does nothing: these tests call the base operations directly.
class ProbeIntegrator final : public Integrator {
 public:
  void Step() override {}
};

// The model's storage: the toy model block, a parameter, and an evaluation count.
using namespace test::toy;
double parameter;
int evaluations;
Integrator* current;

class IntegratorTest : public testing::Test {
 protected:
  void SetUp() override {
    t = 0;
    for (double* a : {y, dy, yInit, z, r, zInit}) std::fill(a, a + 3, 0.0);
    parameter = 0;
    evaluations = 0;
    current = &integrator_;
    integrator_.settings.stopFlag = &stopFlag_;
  }

  void Bind(uint32_t odeStates, uint32_t algebraicStates, TarnSimDerivativeFunction function) {
    integrator_.Initialize(Bindings(odeStates, algebraicStates, function));
  }

  ProbeIntegrator integrator_;
  TarnLogical stopFlag_ = 0;
};

std::string ThrownText(Integrator& integrator) {
  try {
    integrator.CalculateDerivatives();
  } catch (const char* text) {
    return text;
  }
  return "";
}

// ---- Derivative evaluation ------------------------------------------------------------------

struct FaultCase {
  const char* name;
  TarnSimDerivativeFunction function;
  bool faults;
};

class FloatingPointFaultTest : public IntegratorTest,
                               public testing::WithParamInterface<FaultCase> {};

TEST_P(FloatingPointFaultTest, OnlyOverflowDivisionByZeroAndInvalidCount) {
  Bind(1, 0, GetParam().function);
  integrator_.initializing = false;
  EXPECT_EQ(ThrownText(integrator_), GetParam().faults ? "floating point error" : "");
  // During initialisation the model is called unguarded.
  integrator_.initializing = true;
  EXPECT_EQ(ThrownText(integrator_), "");
}

volatile double zero = 0;
volatile double tiny = DBL_MIN;
volatile double huge = DBL_MAX;
volatile double minusOne = -1;

INSTANTIATE_TEST_SUITE_P(
    Faults, FloatingPointFaultTest,
    testing::Values(
        FaultCase{"DivisionByZero", [](uint32_t, uint32_t) { dy[0] = 1.0 / zero; }, true},
        FaultCase{"Overflow", [](uint32_t, uint32_t) { dy[0] = huge * 2; }, true},
        FaultCase{"Invalid", [](uint32_t, uint32_t) { dy[0] = std::sqrt(minusOne); }, true},
        FaultCase{"Underflow", [](uint32_t, uint32_t) { dy[0] = tiny * tiny; }, false},
        FaultCase{"Inexact", [](uint32_t, uint32_t) { dy[0] = 1.0 / (3 + zero); }, false}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(IntegratorTest, FaultsRaisedBeforeTheEvaluationDoNotCount) {
  Bind(1, 0, [](uint32_t, uint32_t) { dy[0] = y[0]; });
  integrator_.initializing = false;
  dy[0] = 1.0 / zero;
  EXPECT_EQ(ThrownText(integrator_), "");
}

TEST_F(IntegratorTest, ModelTextPassesThroughAndOtherExceptionsBecomeUnknown) {
  Bind(1, 0, [](uint32_t, uint32_t) { throw "debug stopped"; });
  integrator_.initializing = false;
  EXPECT_EQ(ThrownText(integrator_), "debug stopped");

  integrator_.SetDerivativeFunction([](uint32_t, uint32_t) { throw std::runtime_error("x"); });
  EXPECT_EQ(ThrownText(integrator_), "unknown exception");
  integrator_.initializing = true;
  EXPECT_THROW(integrator_.CalculateDerivatives(), std::runtime_error);
}

// ---- Jacobians ------------------------------------------------------------------------------

TEST_F(IntegratorTest, LinearModelGivesItsMatrixInColumns) {
  Bind(2, 0, [](uint32_t, uint32_t) {
    dy[0] = 2 * y[0] + 3 * y[1];
    dy[1] = -y[0] + 4 * y[1];
  });
  y[0] = 1.5;
  y[1] = -2;
  PointerMatrix jacobian;
  jacobian.Allocate(2, 2);
  EXPECT_TRUE(integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, jacobian.data()));
  EXPECT_NEAR(jacobian[0][0], 2, 1e-7);
  EXPECT_NEAR(jacobian[0][1], -1, 1e-7);
  EXPECT_NEAR(jacobian[1][0], 3, 1e-7);
  EXPECT_NEAR(jacobian[1][1], 4, 1e-7);
  // States restored, derivatives evaluated at them, nothing reported.
  EXPECT_EQ(y[0], 1.5);
  EXPECT_EQ(y[1], -2);
  EXPECT_EQ(dy[0], -3);
  EXPECT_EQ(integrator_.messages, "");
}

TEST_F(IntegratorTest, DifferenceKindFollowsTheSwitches) {
  // f = y² at y = 3 with the perturbation held at 0.5 by the error weight: a central difference
  // gives exactly 6, a backward difference (9 - 6.25)/0.5 = 5.5.
  Bind(1, 0, [](uint32_t, uint32_t) {
    ++evaluations;
    dy[0] = y[0] * y[0];
  });
  y[0] = 3;
  integrator_.maxErrors[0] = 0.5;
  double column[1];
  double* columns[] = {column};

  integrator_.computeJacobValidity = false;
  integrator_.twoSidedMatrixEval = true;
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_EQ(column[0], 6);
  EXPECT_EQ(evaluations, 4);

  evaluations = 0;
  integrator_.twoSidedMatrixEval = false;
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_EQ(column[0], 5.5);
  EXPECT_EQ(evaluations, 3);  // base, one per column, final

  evaluations = 0;
  integrator_.computeJacobValidity = true;
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_EQ(column[0], 6);
  EXPECT_EQ(evaluations, 5);  // validity mode repeats the upper point
}

TEST_F(IntegratorTest, ValidityCheckReportsCurvature) {
  // y³ around 1 with δ = 0.5: curvature 0.75 against spread 3.25.
  Bind(1, 0, [](uint32_t, uint32_t) { dy[0] = y[0] * y[0] * y[0]; });
  t = 2;
  y[0] = 1;
  integrator_.maxErrors[0] = 0.5;
  double column[1];
  double* columns[] = {column};
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_EQ(integrator_.messages,
            "Jacobian non-linear measure for row 0 and column 0 is 0.230769.\n"
            "Independent variable value 2.000000.\n\n");
}

TEST_F(IntegratorTest, ValidityCheckReportsEachNonRepeatableRowOnce) {
  Bind(2, 0, [](uint32_t, uint32_t) {
    ++evaluations;
    dy[0] = y[0] + 1e-6 * evaluations;
    dy[1] = y[1] + 1e-6 * evaluations;
  });
  integrator_.maxErrors[0] = integrator_.maxErrors[1] = 0.5;
  PointerMatrix jacobian;
  jacobian.Allocate(2, 2);
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, jacobian.data());
  EXPECT_EQ(integrator_.messages,
            "Derivative function evaluation not repeatable for row number 0.\n"
            "Derivative function evaluation not repeatable for row number 1.\n"
            "Independent variable value 0.000000.\n\n");
}

TEST_F(IntegratorTest, ModelThatMovesAStateDuringTheLowerEvaluationIsReported) {
  Bind(1, 0, [](uint32_t, uint32_t) {
    y[0] = 1;
    dy[0] = 0;
  });
  y[0] = 1;
  double column[1];
  double* columns[] = {column};
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_EQ(integrator_.messages, "State changed in Jacobian evaluation: 0.\n");
}

TEST_F(IntegratorTest, StopRaisedDuringTheJacobianIsDiscarded) {
  static TarnLogical* stop;
  static bool sawFlag;
  stop = &stopFlag_;
  Bind(1, 0, [](uint32_t, uint32_t) {
    sawFlag = current->inJacobianEvaluation;
    *stop = 1;
  });
  double column[1];
  double* columns[] = {column};
  integrator_.CalculateJacobian(JacobianType::OdeStateJacobian, columns);
  EXPECT_TRUE(sawFlag);
  EXPECT_FALSE(integrator_.inJacobianEvaluation);
  EXPECT_EQ(stopFlag_, 0);
}

TEST_F(IntegratorTest, AllStateJacobianSpansSeparateOdeAndAlgebraicArrays) {
  Bind(1, 1, [](uint32_t, uint32_t) {
    dy[0] = y[0] + 2 * z[0];
    r[0] = 3 * y[0] - z[0];
  });
  y[0] = 1;
  z[0] = 2;
  PointerMatrix jacobian;
  jacobian.Allocate(2, 2);
  integrator_.CalculateJacobian(JacobianType::AllStateJacobian, jacobian.data());
  EXPECT_NEAR(jacobian[0][0], 1, 1e-7);
  EXPECT_NEAR(jacobian[0][1], 3, 1e-7);
  EXPECT_NEAR(jacobian[1][0], 2, 1e-7);
  EXPECT_NEAR(jacobian[1][1], -1, 1e-7);
  EXPECT_EQ(y[0], 1);
  EXPECT_EQ(z[0], 2);
}

TEST_F(IntegratorTest, TimeDerivativeAtFixedStates) {
  Bind(1, 0, [](uint32_t, uint32_t) { dy[0] = t * t * y[0]; });
  t = 3;
  y[0] = 2;
  double out[1];
  integrator_.CalculateSecondDerivatives(out);
  EXPECT_NEAR(out[0], 2 * 3 * 2, 1e-6);
  EXPECT_EQ(t, 3);
  EXPECT_EQ(dy[0], 18);
}

// ---- Error weights --------------------------------------------------------------------------

TEST_F(IntegratorTest, ErrorWeightIsTheLargerOfTheTwoBounds) {
  Bind(2, 1, [](uint32_t, uint32_t) {});
  y[0] = 100;
  y[1] = 0.1;
  z[0] = -1e6;
  integrator_.UpdateMaxErrorVector(false);
  EXPECT_DOUBLE_EQ(integrator_.maxErrors[0], 0.01);
  EXPECT_EQ(integrator_.maxErrors[1], 1e-4);
  EXPECT_EQ(integrator_.maxErrors[2], 0);
  EXPECT_EQ(integrator_.relativeErrorDominant[0], 1);
  EXPECT_EQ(integrator_.relativeErrorDominant[1], 0);
  integrator_.UpdateMaxErrorVector(true);
  EXPECT_DOUBLE_EQ(integrator_.maxErrors[2], 100);
}

// ---- Algebraic states -----------------------------------------------------------------------

TEST_F(IntegratorTest, WithoutAlgebraicStatesNothingIsEvaluated) {
  Bind(1, 0, [](uint32_t, uint32_t) { ++evaluations; });
  EXPECT_TRUE(integrator_.CalculateAlgebraicStates());
  EXPECT_EQ(evaluations, 0);
}

TEST_F(IntegratorTest, SolvesNonlinearSystemThenFollowsAParameterChange) {
  // z0² + z1² = parameter, z0 = z1.
  Bind(0, 2, [](uint32_t, uint32_t) {
    r[0] = z[0] * z[0] + z[1] * z[1] - parameter;
    r[1] = z[0] - z[1];
  });
  parameter = 4;
  z[0] = 1;
  z[1] = 0.5;
  ASSERT_TRUE(integrator_.CalculateAlgebraicStates()) << integrator_.messages;
  EXPECT_NEAR(z[0], std::sqrt(2.0), 1e-8);
  EXPECT_NEAR(z[1], std::sqrt(2.0), 1e-8);

  // Outside initialisation the iteration starts from the matrices of the last call.
  integrator_.initializing = false;
  parameter = 4.5;
  ASSERT_TRUE(integrator_.CalculateAlgebraicStates()) << integrator_.messages;
  EXPECT_NEAR(z[0], 1.5, 1e-8);
  EXPECT_NEAR(z[1], 1.5, 1e-8);
  EXPECT_EQ(integrator_.messages, "");
}

TEST_F(IntegratorTest, LinearSystemIsSolvedExactly) {
  Bind(0, 2, [](uint32_t, uint32_t) {
    r[0] = 2 * z[0] - 4;
    r[1] = 4 * z[1] + 8;
  });
  ASSERT_TRUE(integrator_.CalculateAlgebraicStates());
  EXPECT_EQ(z[0], 2);
  EXPECT_EQ(z[1], -2);
}

TEST_F(IntegratorTest, ResidualThatDependsOnNothingIsReported) {
  Bind(0, 2, [](uint32_t, uint32_t) {
    r[0] = z[0] + z[1] - 1;
    r[1] = 5;
  });
  EXPECT_FALSE(integrator_.CalculateAlgebraicStates());
  EXPECT_EQ(integrator_.messages, "No variable affects residual 1.\n");
}

TEST_F(IntegratorTest, VariableThatNoResidualReadsIsReported) {
  Bind(0, 2, [](uint32_t, uint32_t) {
    r[0] = z[0] - 1;
    r[1] = 2 * z[0];
  });
  EXPECT_FALSE(integrator_.CalculateAlgebraicStates());
  EXPECT_EQ(integrator_.messages, "No residual depends on variable 1.\n");
}

TEST_F(IntegratorTest, FirstCallOutsideInitialisationStillScalesTheSystem) {
  Bind(0, 1, [](uint32_t, uint32_t) { r[0] = 3 * z[0] - 1; });
  integrator_.initializing = false;
  ASSERT_TRUE(integrator_.CalculateAlgebraicStates()) << integrator_.messages;
  EXPECT_NEAR(z[0], 1.0 / 3, 1e-12);
}

TEST_F(IntegratorTest, SystemWithoutSolutionFails) {
  Bind(0, 1, [](uint32_t, uint32_t) { r[0] = z[0] * z[0] + 1; });
  z[0] = 1;
  EXPECT_FALSE(integrator_.CalculateAlgebraicStates());
  EXPECT_NE(integrator_.messages, "");
}

TEST_F(IntegratorTest, TraceOfTheIterationNamesIterationsAndSteps) {
  Bind(0, 1, [](uint32_t, uint32_t) { r[0] = z[0] * z[0] - 2; });
  z[0] = 1;
  integrator_.writeNormalData = true;
  integrator_.writeExtraData = true;
  ASSERT_TRUE(integrator_.CalculateAlgebraicStates());
  const std::string& text = integrator_.messages;
  EXPECT_EQ(text.find("New Jacobian evaluated - Jacobian matrix:\n"), 0u);
  EXPECT_NE(text.find("Jacobian evaluated. Condition number is 1.000000.\n"), std::string::npos);
  EXPECT_NE(text.find("State vector - iteration number 1:\nInd Var:"), std::string::npos);
  EXPECT_NE(text.find("           Scaled residual is "), std::string::npos);
  EXPECT_NE(text.find("Newton step "), std::string::npos);
  EXPECT_NE(text.find("Relative step "), std::string::npos);
}

// ---- Writers --------------------------------------------------------------------------------

TEST_F(IntegratorTest, WriteStatesListsEachGroup) {
  Bind(1, 2, [](uint32_t, uint32_t) {});
  t = 1.5;
  y[0] = 2;
  dy[0] = -0.25;
  z[0] = 1;
  z[1] = 3;
  r[1] = 0.5;
  integrator_.WriteStates();
  EXPECT_EQ(integrator_.messages,
            "Ind Var:     1.500000\n"
            "ODE States: \n"
            "  States:     2.000000\n"
            "  Derivs:    -0.250000\n"
            "DAE States: \n"
            "  States:     1.000000,     3.000000\n"
            "  Derivs:     0.000000,     0.500000\n");
}

TEST_F(IntegratorTest, WriteMatrixWritesRowsOfColumnPointers) {
  double first[] = {1, 2};
  double second[] = {3, 4};
  double* columns[] = {first, second};
  integrator_.WriteMatrix(columns, 2, 2);
  EXPECT_EQ(integrator_.messages, "    1.000000     3.000000 \n    2.000000     4.000000 \n");
}

TEST_F(IntegratorTest, StatisticsOnlyForTheFehlbergAlgorithms) {
  Bind(2, 0, [](uint32_t, uint32_t) {});
  integrator_.errorControlledCount[0] = 3;
  integrator_.WriteStatistics();
  EXPECT_EQ(integrator_.messages, "");
  integrator_.algorithm = IntegrationAlgorithm::AlgRungeKuttaFehlberg5;
  integrator_.WriteStatistics();
  EXPECT_EQ(integrator_.messages,
            "Count of times state controlled step size\n"
            "State:     0,  Error Controlled:     3\n"
            "State:     1,  Error Controlled:     0\n");
}

TEST_F(IntegratorTest, CurrentErrorsAndLongMessagesAreWrittenWhole) {
  Bind(2, 0, [](uint32_t, uint32_t) {});
  integrator_.currentErrors[1] = 0.5;
  integrator_.WriteCurrentErrors();
  EXPECT_EQ(integrator_.messages, "Current Errors: \n    0.000000,     0.500000\n");

  integrator_.messages.clear();
  integrator_.WriteFormattedMessage("Residual vector - current rms %lf previous %lf.", 1.0,
                                    DBL_MAX);
  // 30 + 8 + 10 characters of text and value, 316 for the largest double, full stop, line end.
  EXPECT_EQ(integrator_.messages.size(), 366u);
  EXPECT_EQ(integrator_.messages.substr(integrator_.messages.size() - 9), ".000000.\n");
}

}  // namespace
}  // namespace tarn
