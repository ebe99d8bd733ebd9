// OdeSolver: the scaled communication clock, step sizes of each regime, synchronisation points,
// the stop flag, interval failures, checkpointing and the message buffer, on small models driven
// as the runtime drives them.
#include "solver/ode_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "solver_test_model.h"

namespace tarn::test {
namespace {

using Alg = IntegrationAlgorithm;

class OdeSolverTest : public SolverTestModel {};

TEST(OdeSolverAlgorithmsTest, OnlyAlgorithmsWithAWorkingIntegratorAreSupported) {
  for (Alg algorithm :
       {Alg::AlgEuler, Alg::AlgRungeKutta2, Alg::AlgRungeKutta4, Alg::AlgAdamsBashforth2}) {
    EXPECT_TRUE(OdeSolver::IsSupportedAlgorithm(algorithm)) << static_cast<int>(algorithm);
  }
  // No integrator, or a placeholder that never advances time.
  for (Alg algorithm : {Alg::AlgNone, Alg::AlgUnset, Alg::AlgUserDefined, Alg::AlgDassl,
                        Alg::AlgBulirschStoer, static_cast<Alg>(16), static_cast<Alg>(-1)}) {
    EXPECT_FALSE(OdeSolver::IsSupportedAlgorithm(algorithm)) << static_cast<int>(algorithm);
  }
}

TEST_F(OdeSolverTest, InitializeCreatesTheIntegratorAndFinalizeReleasesIt) {
  delayInitConds_ = {3, 4};
  control_.zzstopflag = 1;
  Start(Alg::AlgRungeKutta2, Decay, {2.5});
  ASSERT_NE(solver_.GetIntegrator(), nullptr);
  EXPECT_EQ(solver_.GetIntegrator()->algorithm, Alg::AlgRungeKutta2);
  EXPECT_EQ(solver_.GetIntegrationAlgorithm(), Alg::AlgRungeKutta2);
  EXPECT_EQ(solver_.GetIndVar(), &t_);
  EXPECT_EQ(states_[0], 2.5);
  EXPECT_EQ(delayStates_[0], 3);
  EXPECT_EQ(delayNextValues_[1], 4);
  EXPECT_EQ(control_.zzstopflag, 0);
  EXPECT_TRUE(solver_.firstInterval);
  EXPECT_EQ(solver_.delayStateKeys, (std::vector<uint32_t>{0, 0}));

  solver_.Finalize();
  EXPECT_EQ(solver_.GetIntegrator(), nullptr);
}

// 100 intervals of 0.1 from 0 end exactly on n/10, as the scaled clock counts them, not on the
// sum of n tenths (0.1 + 0.1 + 0.1 is not 0.3).
TEST_F(OdeSolverTest, IntervalsEndExactlyOnTheScaledClock) {
  control_.cint = 0.1;
  control_.nstp = 10;
  Start(Alg::AlgRungeKutta4, Growth, {1});
  for (int n = 1; n <= 100; ++n) {
    ASSERT_TRUE(Interval());
    ASSERT_EQ(t_, n / 10.0) << "interval " << n;
    ASSERT_TRUE(solver_.settings.communicationPointReached);
    ASSERT_EQ(solver_.GetStepCount(), 10);
  }
  EXPECT_NEAR(states_[0] / std::exp(10.0), 1, 1e-8);
}

TEST_F(OdeSolverTest, ChangedIntervalOrRescaleReanchorsTheClock) {
  control_.cint = 0.1;
  control_.nstp = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ASSERT_TRUE(Interval());
  ASSERT_TRUE(Interval());
  ASSERT_EQ(t_, 0.2);
  control_.cint = 0.25;
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.45);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.7);

  // A continued run re-anchors the clock wherever the time now is.
  t_ = 0.05;
  solver_.rescaleInterval = true;
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.3);
  EXPECT_FALSE(solver_.rescaleInterval);
}

// Euler on y' = -y with h = 0.25: each step multiplies y by 0.75, exactly in binary.
TEST_F(OdeSolverTest, FixedStepsAreLimitedByTheMaximumStep) {
  control_.cint = 1;
  control_.nstp = 3;
  control_.maxt = 0.25;
  Start(Alg::AlgEuler, Decay, {1});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds_, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  EXPECT_EQ(solver_.GetStepCount(), 4);
  EXPECT_EQ(states_[0], 0.31640625);
  EXPECT_EQ(control_.cioitg, 1);
  EXPECT_EQ(control_.cssitg, 0.25);
}

// The oscillator over one period (63 intervals of 0.1 ≈ 2π) with RK4, h = 0.01.
TEST_F(OdeSolverTest, HarmonicOscillatorFollowsTheAnalyticSolution) {
  control_.cint = 0.1;
  control_.nstp = 10;
  Start(Alg::AlgRungeKutta4, Oscillator, {1, 0});
  for (int n = 0; n < 63; ++n) ASSERT_TRUE(Interval());
  ASSERT_EQ(t_, 6.3);
  EXPECT_NEAR(states_[0], std::cos(6.3), 1e-9);
  EXPECT_NEAR(states_[1], -std::sin(6.3), 1e-9);
  EXPECT_NEAR(states_[0] * states_[0] + states_[1] * states_[1], 1, 1e-9);
}

// A variable-step method gets its proposal spread evenly over the stretch and keeps proposing it.
TEST_F(OdeSolverTest, VariableStepsAreSpreadEvenlyOverTheStretch) {
  control_.cint = 1;
  Start(Alg::AlgAdamsBashforth2, Decay, {1});
  solver_.stepSize = 0.3;
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds_, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  EXPECT_EQ(solver_.stepSize, 0.3);
}

// An error-controlled method takes the step it proposes, and the intervals still end on the clock.
TEST_F(OdeSolverTest, VariableStepRunEndsOnTheClockAndFollowsTheSolution) {
  control_.cint = 0.1;
  Start(Alg::AlgRungeKuttaFehlberg5, Oscillator, {1, 0});
  for (int n = 1; n <= 63; ++n) {
    ASSERT_TRUE(Interval());
    ASSERT_EQ(t_, n / 10.0);
  }
  EXPECT_NEAR(states_[0], std::cos(6.3), 1e-3);
  EXPECT_NEAR(states_[1], -std::sin(6.3), 1e-3);
}

TEST_F(OdeSolverTest, IntervalThatIsNotPositiveStopsTheRun) {
  for (double cint : {0.0, -0.1, std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::infinity()}) {
    control_.cint = cint;
    control_.zzstopflag = 0;
    Start(Alg::AlgRungeKutta4, Decay, {1});
    EXPECT_FALSE(Interval()) << cint;
    EXPECT_EQ(TakeMessages(), "Communication interval negative or zero.\n");
    EXPECT_EQ(control_.zzstopflag, 1);
    EXPECT_EQ(t_, 0);
    EXPECT_FALSE(solver_.settings.communicationPointReached);
  }
}

TEST_F(OdeSolverTest, SolverWithoutIntegratorFailsToStep) {
  Start(Alg::AlgNone, Decay, {1});
  EXPECT_EQ(solver_.GetIntegrator(), nullptr);
  EXPECT_FALSE(Interval());
  EXPECT_EQ(TakeMessages(), "No integrator for integration algorithm 0.\n");
  EXPECT_EQ(control_.zzstopflag, 1);
}

TEST_F(OdeSolverTest, StopFlagRaisedByTheModelEndsTheIntervalAfterThatStep) {
  control_.cint = 1;
  control_.nstp = 10;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  onDerivative_ = [this] {
    if (solver_.GetIntegrator()->inPostStepEvaluation && stepEnds_.size() == 4) {
      control_.zzstopflag = 1;
    }
  };
  EXPECT_TRUE(Interval());
  EXPECT_EQ(stepEnds_.size(), 4u);
  EXPECT_DOUBLE_EQ(t_, 0.4);
  EXPECT_FALSE(solver_.settings.communicationPointReached);

  // A run already stopped takes no step at all.
  EXPECT_TRUE(Interval());
  EXPECT_EQ(stepEnds_.size(), 4u);
}

TEST_F(OdeSolverTest, SyncPointInsideAnIntervalEndsIt) {
  control_.cint = 1;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  const double sync = 0.4;
  solver_.AddSyncPoints(1, &sync);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.4);
  EXPECT_TRUE(solver_.settings.communicationPointReached);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 2.0);
}

TEST_F(OdeSolverTest, SyncPointsAtThePresentTimeOrWithinToleranceOfThePointDoNotSplit) {
  control_.cint = 1;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  const double syncs[] = {0.0, std::nextafter(1.0, 0.0)};
  solver_.AddSyncPoints(2, syncs);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds_, std::vector<double>{1.0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds_, (std::vector<double>{1.0, 2.0}));
}

TEST_F(OdeSolverTest, SyncPointsAreMergedInOrderAndCleared) {
  control_.cint = 10;
  Start(Alg::AlgEuler, Decay, {1});
  const double later[] = {3, 2};
  const double earlier[] = {1, 2, std::numeric_limits<double>::quiet_NaN()};
  solver_.AddSyncPoints(2, later);
  solver_.AddSyncPoints(3, earlier);
  solver_.AddSyncPoints(-1, earlier);
  std::vector<double> ends;
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(Interval());
    ends.push_back(t_);
  }
  EXPECT_EQ(ends, (std::vector<double>{1, 2, 3, 10}));

  const double next = 15;
  solver_.AddSyncPoints(1, &next);
  solver_.ClearSyncPoints();
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 20);
}

TEST_F(OdeSolverTest, SaveAndRestoreRoundTripTheStates) {
  delayInitConds_ = {5, 6};
  Start(Alg::AlgRungeKutta4, Oscillator, {1, 2});
  t_ = 0.5;
  ASSERT_TRUE(solver_.SaveState());
  const auto savedStates = states_;
  t_ = 0.75;
  states_[0] = -1;
  states_[1] = -2;
  delayStates_ = {7, 8};
  solver_.GetIntegrator()->restartRequested = false;
  ASSERT_TRUE(solver_.RestoreState());
  EXPECT_EQ(t_, 0.5);
  EXPECT_EQ(states_, savedStates);
  EXPECT_EQ(delayStates_, (std::array<double, 2>{5, 6}));
  EXPECT_TRUE(solver_.GetIntegrator()->restartRequested);
  EXPECT_EQ(TakeMessages(), "");
}

TEST_F(OdeSolverTest, RestoreWithoutSaveFails) {
  Start(Alg::AlgRungeKutta4, Decay, {1});
  EXPECT_FALSE(solver_.RestoreState());
  EXPECT_EQ(TakeMessages(), "Unable to restore state variables.\n");
  EXPECT_FALSE(solver_.GetIntegrator()->restartRequested);
}

// A state event reported during the reset makes the solver checkpoint before every step: a
// restore after the interval goes back to the start of its last step.
TEST_F(OdeSolverTest, DeclaredStateEventsCheckpointEveryStep) {
  control_.cint = 1;
  control_.nstp = 4;
  Start(Alg::AlgEuler, Decay, {1});
  solver_.SetInitializationInProgress(true);
  solver_.AddEvent(1, OdeEventType::EventStateAny, states_[0], kInstance, 1001, nullptr);
  solver_.SetInitializationInProgress(false);
  ASSERT_TRUE(Interval());
  ASSERT_EQ(t_, 1.0);
  ASSERT_TRUE(solver_.RestoreState());
  EXPECT_EQ(t_, 0.75);
  EXPECT_EQ(states_[0], 0.421875);
}

TEST_F(OdeSolverTest, DebugDumpPrintsTheConfiguration) {
  control_.cint = 0.5;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  const std::string rule(62, '=');
  testing::internal::CaptureStdout();
  solver_.DebugDump("here");
  const std::string dump = testing::internal::GetCapturedStdout();
  EXPECT_EQ(dump, rule + "\n" +
                      "Beginning of debug dump: [here]\n"
                      "\tIntegration Alg: 5\n"
                      "\tIndependent Var: 0.000000e+00\n"
                      "\tNum Integration States: 1\n"
                      "\tNum Algebraic States: 0\n"
                      "\tNum Delay States: 2\n"
                      "\tCommunication Interval: 5.000000e-01\n"
                      "\tNum Steps per Communication Interval: 1\n"
                      "\tStep Size: 5.000000e-01\n"
                      "\tMin Step Size: 1.000000e-09\n"
                      "\tMax Step Size: 1.000000e+09\n"
                      "End of debug dump...\n" +
                      rule + "\n");
}

}  // namespace
}  // namespace tarn::test
