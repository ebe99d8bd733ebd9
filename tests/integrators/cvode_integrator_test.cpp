// CVODE adapter: the solver's next step handed back, the linear solver chosen from the Jacobian
// bandwidths, and failures of the solver and of its set-up (continuation and restarts:
// library_adapters_test.cpp).
#include "integrators/cvode_integrator.h"

#include <cvode/cvode.h>
#include <gtest/gtest.h>
#include <sunmatrix/sunmatrix_band.h>

#include <cmath>
#include <limits>
#include <string>

#include "integrators/adapter_run.h"

namespace tarn::test {
namespace {

CvodeIntegrator& Cvode(AdapterRun& run) { return static_cast<CvodeIntegrator&>(run.Adapter()); }

TEST(CvodeIntegratorTest, HandsTheSolversNextStepBack) {
  AdapterRun run(IntegrationAlgorithm::AlgCvode, &Decay, {1}, 0.1, 1e-10, 1e-8);
  ASSERT_TRUE(run.RunTo(1));
  double nextStep = 0;
  CVodeGetCurrentStep(Cvode(run).cvodeMemory, &nextStep);
  EXPECT_EQ(run.Adapter().stepSize, nextStep);
}

struct BandwidthCase {
  const char* name;
  int32_t upper;
  int32_t lower;
  SUNMatrix_ID matrix;  // SUNMATRIX_CUSTOM stands for no matrix: the diagonal solver
  const char* messages;
};

class CvodeLinearSolverTest : public ::testing::TestWithParam<BandwidthCase> {};

TEST_P(CvodeLinearSolverTest, FollowsTheBandwidthsAndSolvesRobertson) {
  const BandwidthCase& c = GetParam();
  AdapterRun run(IntegrationAlgorithm::AlgCvode, &Robertson, {1, 0, 0}, 4, 1e-12, 1e-8);
  run.Settings().SetJacUpperBandwidth(c.upper);
  run.Settings().SetJacLowerBandwidth(c.lower);
  ASSERT_TRUE(run.RunTo(4));
  const CvodeIntegrator& adapter = Cvode(run);
  if (c.matrix == SUNMATRIX_CUSTOM) {
    EXPECT_EQ(adapter.jacobianMatrix, nullptr);
  } else {
    ASSERT_NE(adapter.jacobianMatrix, nullptr);
    EXPECT_EQ(SUNMatGetID(adapter.jacobianMatrix), c.matrix);
  }
  if (c.matrix == SUNMATRIX_BAND) {
    EXPECT_EQ(SUNBandMatrix_UpperBandwidth(adapter.jacobianMatrix), c.upper);
    EXPECT_EQ(SUNBandMatrix_LowerBandwidth(adapter.jacobianMatrix), c.lower);
  }
  EXPECT_EQ(run.TakeMessages(), c.messages);
  ASSERT_TRUE(run.RunTo(40));
  EXPECT_NEAR(run.y[0], 0.7158270687, 0.7158270687 * 1e-5);
  EXPECT_NEAR(run.y[2], 0.2841637457, 0.2841637457 * 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Bandwidths, CvodeLinearSolverTest,
    ::testing::Values(BandwidthCase{"Dense", -1, -1, SUNMATRIX_DENSE, ""},
                      BandwidthCase{"Diagonal", 0, 0, SUNMATRIX_CUSTOM, ""},
                      BandwidthCase{"Band", 2, 2, SUNMATRIX_BAND, ""},
                      BandwidthCase{
                          "Inconsistent", 2, 0, SUNMATRIX_DENSE,
                          "Error: Inconsistent values for UBWITG and LBWITG supplied to CVODE.  "
                          "Assuming dense matrix.\n"}),
    [](const ::testing::TestParamInfo<BandwidthCase>& info) { return info.param.name; });

// Regression: a bandwidth beyond the matrix asked the library for storage of that many diagonals
// (terabytes for 2^31 - 1); a band that wide is the whole matrix.
TEST(CvodeIntegratorTest, BandWiderThanTheMatrixIsTheWholeMatrix) {
  AdapterRun run(IntegrationAlgorithm::AlgCvode, &Robertson, {1, 0, 0}, 4, 1e-12, 1e-8);
  run.Settings().SetJacUpperBandwidth(std::numeric_limits<int32_t>::max());
  run.Settings().SetJacLowerBandwidth(std::numeric_limits<int32_t>::max());
  ASSERT_TRUE(run.RunTo(4));
  const CvodeIntegrator& adapter = Cvode(run);
  ASSERT_NE(adapter.jacobianMatrix, nullptr);
  EXPECT_EQ(SUNBandMatrix_UpperBandwidth(adapter.jacobianMatrix), 2);
  EXPECT_EQ(SUNBandMatrix_LowerBandwidth(adapter.jacobianMatrix), 2);
  ASSERT_TRUE(run.RunTo(40));
  EXPECT_NEAR(run.y[0], 0.7158270687, 0.7158270687 * 1e-5);
}

TEST(CvodeIntegratorTest, DerivativeThatMakesTheSolverGiveUpStopsTheRun) {
  AdapterRun run(IntegrationAlgorithm::AlgCvode, &Decay, {1}, 1, 1e-6, 1e-6);
  run.onEvaluation = [&run] {
    if (run.t > 0.5) run.dy[0] = std::nan("");
  };
  EXPECT_FALSE(run.RunTo(3));
  EXPECT_TRUE(run.Settings().GetStopFlag());
  EXPECT_NE(run.TakeMessages().find(
                "[CVODE ERROR]  CVode\n  At t = 0.5, mxstep steps taken before reaching tout.\n\n"),
            std::string::npos);
}

TEST(CvodeIntegratorTest, FailedSetUpStopsTheRunAndTheNextStepTriesAgain) {
  AdapterRun run(IntegrationAlgorithm::AlgCvode, &Decay, {1}, 0.1, 1e-10, 1e-8);
  run.Adapter().SetMaxAbsoluteError(0, -1);
  EXPECT_FALSE(run.RunTo(1));
  EXPECT_TRUE(run.Settings().GetStopFlag());
  EXPECT_EQ(run.t, 0);
  EXPECT_EQ(Cvode(run).cvodeMemory, nullptr);
  const std::string messages = run.TakeMessages();
  EXPECT_NE(messages.find("[CVODE ERROR]  CVodeSVtolerances\n"), std::string::npos);
  EXPECT_NE(messages.find("ERROR: CVodeMalloc failed in CVODE.\n\n"), std::string::npos);

  run.Adapter().SetMaxAbsoluteError(0, 1e-10);
  run.Settings().SetStopFlag(false);
  ASSERT_TRUE(run.RunTo(1));
  EXPECT_NEAR(run.y[0], std::exp(-1.0), 1e-7);
}

}  // namespace
}  // namespace tarn::test
