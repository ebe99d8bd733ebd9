// Properties shared by the DLSODES and CVODE adapters, driven through OdeSolver: continuation of
// the library across steps and its fresh starts, accuracy against an analytic and a published
// reference solution, restarts after a state or the model changed between steps, model exceptions
// passing through the libraries, and a model without ODE states.
#include <cvode/cvode.h>
#include <gtest/gtest.h>

#include <cmath>

#include "integrators/adapter_run.h"
#include "integrators/cvode_integrator.h"
#include "integrators/odepack_integrator.h"

namespace tarn::test {
namespace {

class LibraryAdapterTest : public ::testing::TestWithParam<IntegrationAlgorithm> {};

// The library's step count since it last started afresh: DLSODES's IWORK(11), CVODE's count
// since its solver memory was created.
long LibrarySteps(AdapterRun& run) {
  if (run.Adapter().algorithm == IntegrationAlgorithm::AlgOdepack) {
    return static_cast<OdepackIntegrator&>(run.Adapter()).iwork[10];
  }
  long steps = 0;
  EXPECT_EQ(CVodeGetNumSteps(static_cast<CvodeIntegrator&>(run.Adapter()).cvodeMemory, &steps),
            CV_SUCCESS);
  return steps;
}

TEST_P(LibraryAdapterTest, ContinuesAcrossStepsAndRestartsWhenAStateOrTheSolverSaysSo) {
  AdapterRun run(GetParam(), &Decay, {1}, 0.1, 1e-10, 1e-8);
  ASSERT_TRUE(run.RunTo(1));
  const long afterOne = LibrarySteps(run);
  ASSERT_TRUE(run.RunTo(2));
  EXPECT_GT(LibrarySteps(run), afterOne);

  const long continued = LibrarySteps(run);
  run.y[0] = 0.5;
  ASSERT_TRUE(run.RunTo(2.1));
  EXPECT_LT(LibrarySteps(run), continued);

  ASSERT_TRUE(run.RunTo(3));
  const long beforeRestart = LibrarySteps(run);
  run.solver.Restart(0.1);
  ASSERT_TRUE(run.RunTo(3.1));
  EXPECT_LT(LibrarySteps(run), beforeRestart);
}

TEST_P(LibraryAdapterTest, DecayFollowsTheExponentialAtEveryCommunicationPoint) {
  AdapterRun run(GetParam(), &Decay, {1}, 0.1, 1e-10, 1e-8);
  for (int n = 1; n <= 50; ++n) {
    ASSERT_TRUE(run.RunTo(n / 10.0));
    EXPECT_NEAR(run.y[0], std::exp(-run.t), 1e-7) << "t = " << run.t;
  }
  EXPECT_TRUE(run.TakeMessages().empty());
}

// Robertson's problem against its reference solution at t = 40: relative tolerance 1e-8 leaves at
// least six correct digits in every species.
TEST_P(LibraryAdapterTest, RobertsonMatchesTheReferenceSolutionAtForty) {
  AdapterRun run(GetParam(), &Robertson, {1, 0, 0}, 4, 1e-12, 1e-8);
  ASSERT_TRUE(run.RunTo(40));
  EXPECT_NEAR(run.y[0], 0.7158270687, 0.7158270687 * 1e-6);
  EXPECT_NEAR(run.y[1], 9.185534764e-6, 9.185534764e-6 * 1e-6);
  EXPECT_NEAR(run.y[2], 0.2841637457, 0.2841637457 * 1e-6);
}

// Standard stiff problems over long output intervals, handed to the library in the model's
// default ten steps per interval: each step needs thousands of internal steps of the library.
// Robertson's problem to 1e11 (reference: E. Hairer, G. Wanner, Solving Ordinary Differential
// Equations II, 1996) and Van der Pol's oscillator with mu = 1e-6 to t = 2 (reference: F. Mazzia,
// C. Magherini, Test Set for IVP Solvers, problem VDPOL), at relative tolerance 1e-8. DLSODES
// derives Robertson's Jacobian structure at the initial point, where two species are zero, and
// needs the fresh start after its first call's step limit to get on.
TEST_P(LibraryAdapterTest, RobertsonToOneHundredBillionReachesTheReferenceSolution) {
  AdapterRun robertson(GetParam(), &Robertson, {1, 0, 0}, 1e10, 1e-20, 1e-8, 10);
  ASSERT_TRUE(robertson.RunTo(1e11)) << robertson.TakeMessages();
  EXPECT_NEAR(robertson.y[0], 0.2083340149701e-7, 0.2083340149701e-7 * 1e-5);
  EXPECT_NEAR(robertson.y[1], 0.8333360770334e-13, 0.8333360770334e-13 * 1e-5);
  EXPECT_NEAR(robertson.y[2], 0.9999999791665, 1e-5);
}

TEST_P(LibraryAdapterTest, StiffVanDerPolReachesTheReferenceSolution) {
  AdapterRun vanDerPol(GetParam(), &VanDerPol, {2, 0}, 0.2, 1e-8, 1e-8, 10);
  ASSERT_TRUE(vanDerPol.RunTo(2)) << vanDerPol.TakeMessages();
  EXPECT_NEAR(vanDerPol.y[0], 0.1706167732170483e1, 0.1706167732170483e1 * 1e-5);
  EXPECT_NEAR(vanDerPol.y[1], -0.8928097010248125, 0.8928097010248125 * 1e-5);
}

// A step that needs more internal steps than a library call may take stops the run and says
// where the library stopped.
TEST_P(LibraryAdapterTest, StepLimitStopsTheRunAndSaysWhereItStopped) {
  AdapterRun run(GetParam(), &FastOscillator, {1, 0}, 100, 1e-10, 1e-10);
  EXPECT_FALSE(run.RunTo(100));
  const std::string messages = run.TakeMessages();
  EXPECT_NE(messages.find("The limit of 50000 internal steps per step of the runtime was reached "
                          "at t = "),
            std::string::npos)
      << messages;
  if (GetParam() == IntegrationAlgorithm::AlgOdepack) {
    EXPECT_NE(messages.find("ERROR: Exceeded max allowed number of integration steps in DLSODES."),
              std::string::npos);
  }
}

// The libraries keep their own copy of the solution between steps: without a restart they would
// continue from the old value.
TEST_P(LibraryAdapterTest, StateChangedFromOutsideContinuesFromTheNewValue) {
  AdapterRun run(GetParam(), &Decay, {1}, 0.1, 1e-10, 1e-8);
  ASSERT_TRUE(run.RunTo(1));
  run.y[0] = 2;
  ASSERT_TRUE(run.RunTo(2));
  EXPECT_NEAR(run.y[0], 2 * std::exp(-1.0), 1e-7);
}

double decayRate = 1;
void SwitchableDecay(double, const double* y, double* dy) { dy[0] = -decayRate * y[0]; }

// The libraries integrate past each output time: without a restart they would keep the stretch
// beyond the event that they integrated with the old rate.
TEST_P(LibraryAdapterTest, EventThatChangesTheModelContinuesWithTheNewRightHandSide) {
  decayRate = 1;
  AdapterRun run(GetParam(), &SwitchableDecay, {1}, 0.1, 1e-10, 1e-8);
  run.solver.AddEvent(1, OdeEventType::EventIndependentVar, 1.05, 1, 1000, nullptr);
  run.onSection = [](uint32_t) { decayRate = 5; };
  ASSERT_TRUE(run.RunTo(2));
  EXPECT_NEAR(run.y[0], std::exp(-1.05 - 5 * 0.95), 1e-8);
}

TEST_P(LibraryAdapterTest, ModelExceptionPassesThroughTheLibraryAndTheRunCanResume) {
  AdapterRun run(GetParam(), &Decay, {1}, 0.1, 1e-10, 1e-8);
  ASSERT_TRUE(run.RunTo(0.5));
  run.onEvaluation = [&run] {
    if (run.evaluations == 10) throw "floating point error";
  };
  run.evaluations = 0;
  try {
    run.RunTo(1);
    FAIL() << "the exception did not arrive";
  } catch (const char* text) {
    EXPECT_STREQ(text, "floating point error");
  }
  run.onEvaluation = nullptr;
  run.y[0] = std::exp(-run.t);
  ASSERT_TRUE(run.RunTo(2));
  EXPECT_NEAR(run.y[0], std::exp(-2.0), 1e-7);
}

// The Jacobian's difference quotients evaluate the model again at the time of the evaluation
// before; an exception there must leave nothing of the library's working storage behind (a leak
// the sanitizer build reports) and a library that starts afresh.
TEST_P(LibraryAdapterTest, ModelExceptionInsideTheJacobianLeavesNothingBehind) {
  AdapterRun run(GetParam(), &Robertson, {1, 0, 0}, 4, 1e-12, 1e-8);
  double lastTime = -1;
  bool thrown = false;
  run.onEvaluation = [&] {
    const Integrator& adapter = run.Adapter();
    const bool insideLibrary = !adapter.inAuxiliaryEvaluation && !adapter.inPostStepEvaluation;
    const bool repeatedTime = run.t == lastTime;
    lastTime = run.t;
    if (!thrown && insideLibrary && repeatedTime && run.t > 0) {
      thrown = true;
      throw "floating point error";
    }
  };
  EXPECT_THROW(run.RunTo(4), const char*);
  ASSERT_TRUE(thrown);
  run.onEvaluation = nullptr;
  run.solver.Restart(4);
  run.t = 0;
  run.y = {1, 0, 0};
  ASSERT_TRUE(run.RunTo(40));
  EXPECT_NEAR(run.y[0], 0.7158270687, 0.7158270687 * 1e-6);
}

void NoStates(double, const double*, double*) {}

TEST_P(LibraryAdapterTest, StopRaisedDuringALibraryCallStaysRaised) {
  // A host's stop (here raised from inside an evaluation) must survive the library call.
  AdapterRun run(GetParam(), Decay, {1.0}, 0.1, 1e-8, 1e-8);
  bool raised = false;
  run.onEvaluation = [&] {
    const Integrator& adapter = run.Adapter();
    const bool insideLibrary = !adapter.inAuxiliaryEvaluation && !adapter.inPostStepEvaluation;
    if (!raised && insideLibrary && run.t > 0.25) {
      run.Settings().SetStopFlag(true);
      raised = true;
    }
  };
  EXPECT_FALSE(run.RunTo(1.0));
  EXPECT_LT(run.t, 0.45);
}

TEST_P(LibraryAdapterTest, ModelWithoutOdeStatesAdvancesTime) {
  AdapterRun run(GetParam(), &NoStates, {}, 0.5, 1e-6, 1e-6);
  EXPECT_TRUE(run.RunTo(2));
  EXPECT_DOUBLE_EQ(run.t, 2);
  EXPECT_TRUE(run.TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(Adapters, LibraryAdapterTest,
                         ::testing::Values(IntegrationAlgorithm::AlgOdepack,
                                           IntegrationAlgorithm::AlgCvode),
                         [](const ::testing::TestParamInfo<IntegrationAlgorithm>& info) {
                           return info.param == IntegrationAlgorithm::AlgOdepack ? "Odepack"
                                                                                 : "Cvode";
                         });

}  // namespace
}  // namespace tarn::test
