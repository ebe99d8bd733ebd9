// DLSODES adapter: the method flag check, a failure reported with the package's own diagnostics,
// and two adapters taking turns (continuation and restarts: library_adapters_test.cpp).
#include "integrators/odepack_integrator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "integrators/adapter_run.h"

namespace tarn::test {
namespace {

struct MethodFlagCase {
  int32_t omfitg;
  int32_t used;
  const char* messages;
};

class OdepackMethodFlagTest : public ::testing::TestWithParam<MethodFlagCase> {};

TEST_P(OdepackMethodFlagTest, IsCheckedOnceAndInvalidValuesFallBackTo222) {
  AdapterRun run(IntegrationAlgorithm::AlgOdepack, &Decay, {1}, 0.1, 1e-10, 1e-8);
  run.Settings().SetOdepackMethodFlag(GetParam().omfitg);
  ASSERT_TRUE(run.RunTo(1));
  EXPECT_EQ(static_cast<OdepackIntegrator&>(run.Adapter()).mf, GetParam().used);
  EXPECT_EQ(static_cast<OdepackIntegrator&>(run.Adapter()).istate, 2);  // continuing
  EXPECT_EQ(run.TakeMessages(), GetParam().messages);
  EXPECT_NEAR(run.y[0], std::exp(-1.0), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, OdepackMethodFlagTest,
    ::testing::Values(MethodFlagCase{213, 213, ""}, MethodFlagCase{210, 210, ""},
                      MethodFlagCase{221, 222,
                                     "Error: Invalid value of OMFITG supplied to ODEPACK.  Using "
                                     "default value of 222.\n"}));

TEST(OdepackIntegratorTest, DerivativeThatMakesThePackageGiveUpStopsTheRun) {
  AdapterRun run(IntegrationAlgorithm::AlgOdepack, &Decay, {1}, 1, 1e-6, 1e-6);
  run.onEvaluation = [&run] {
    if (run.t > 0.5) run.dy[0] = std::nan("");
  };
  EXPECT_FALSE(run.RunTo(10));
  EXPECT_TRUE(run.Settings().GetStopFlag());
  EXPECT_DOUBLE_EQ(run.t, 1);
  // The first call uses up its internal steps among NaNs; the fresh start from where it stopped
  // fails at once. Only the second call's diagnostics remain, each line as the package wrote it.
  std::string messages = run.TakeMessages();
  EXPECT_EQ(messages.find("MXSTEP"), std::string::npos) << messages;
  EXPECT_TRUE(
      messages.ends_with("      corrector convergence failed repeatedly     \n"
                         "      or with ABS(H) = HMIN   \n"
                         "ERROR: Repeated convergence test failures on a single step "
                         "(possible inaccuracy in Jacobian computation.\n"))
      << messages;

  // Continuing with the failed ISTATE would be illegal input: the package starts afresh, where
  // the very first evaluation fails.
  run.Settings().SetStopFlag(false);
  EXPECT_FALSE(run.RunTo(10));
  EXPECT_DOUBLE_EQ(run.t, 2);
  messages = run.TakeMessages();
  EXPECT_EQ(messages.find("illegal"), std::string::npos) << messages;
  EXPECT_TRUE(
      messages.ends_with("ERROR: Repeated convergence test failures on a single step "
                         "(possible inaccuracy in Jacobian computation.\n"))
      << messages;
}

// Two adapters stepping in turn, each with its own model: the package's common blocks hold one
// integration, so each turn must start the package afresh and call back the adapter that steps.
// One model's data block: a decaying state from 1.
struct DecayBlock {
  double t = 0;
  double y[1] = {};
  double dy[1] = {};
  double y0[1] = {1};

  StateBindings Bindings(TarnSimDerivativeFunction model) {
    return {.indVar = &t,
            .numStates = 1,
            .states = y,
            .derivatives = dy,
            .initConds = y0,
            .derivativeFunction = model};
  }
};
DecayBlock blockA, blockB;
void DecayA(uint32_t, uint32_t) { blockA.dy[0] = -blockA.y[0]; }
void DecayB(uint32_t, uint32_t) { blockB.dy[0] = -2 * blockB.y[0]; }

TEST(OdepackIntegratorTest, TwoAdaptersSteppingInTurnEachFollowTheirOwnModel) {
  OdepackIntegrator a;
  OdepackIntegrator b;
  ASSERT_TRUE(a.Initialize(blockA.Bindings(&DecayA)));
  ASSERT_TRUE(b.Initialize(blockB.Bindings(&DecayB)));
  for (OdepackIntegrator* adapter : {&a, &b}) {
    adapter->CopyInitCondsToStates();
    adapter->SetMaxAbsoluteError(0, 1e-10);
    adapter->SetMaxRelativeError(0, 1e-8);
    adapter->stepSize = 0.1;
  }
  for (int step = 0; step < 10; ++step) {
    a.Step();
    b.Step();
  }
  EXPECT_NEAR(blockA.y[0], std::exp(-1.0), 1e-7);
  EXPECT_NEAR(blockB.y[0], std::exp(-2.0), 1e-7);
  a.Finalize();
  b.Finalize();
}

}  // namespace
}  // namespace tarn::test
