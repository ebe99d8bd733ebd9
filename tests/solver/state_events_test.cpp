// State events of OdeSolver on small models: location of a crossing within the time tolerance
// after its root, the three crossing directions, values exactly zero at either end of a step, two
// crossings in one step, a bouncing ball over several bounces, a crossing in the last step of an
// interval, the communication clock after an event, messages, and the search's failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "solver/ode_solver.h"
#include "solver_test_model.h"

namespace tarn::test {
namespace {

using Alg = IntegrationAlgorithm;
using Type = OdeEventType;

constexpr double kGravity = 9.81;
// The location tolerance of these runs: the minimum step mint = 1e-9 of the control block
// exceeds 1e-15·max(|t|, cint) at every time they reach.
constexpr double kTimeTol = 1e-9;

void Unit(double, const double*, double* dy) { dy[0] = 1; }
// A ball falling under gravity: height, velocity.
void Fall(double, const double* y, double* dy) {
  dy[0] = y[1];
  dy[1] = -kGravity;
}

class StateEventsTest : public SolverTestModel {
 protected:
  // A zero-crossing function the model reports in every evaluation of its derivative section.
  struct Crossing {
    uint32_t id;
    Type type;
    uint32_t section;
    std::function<double()> value;
  };

  void Report(std::vector<Crossing> crossings) {
    onDerivative = [this, crossings] {
      for (const Crossing& crossing : crossings) {
        solver.AddEvent(crossing.id, crossing.type, crossing.value(), kInstance, crossing.section,
                        nullptr);
      }
    };
  }
  // The function t - root reported under id 1, running section 1001.
  void ReportTimeCrossing(double root, Type type = Type::EventStateAny) {
    Report({{1, type, 1001, [this, root] { return t - root; }}});
  }

  std::vector<uint32_t> SectionsRun() const {
    std::vector<uint32_t> sections;
    for (const SectionRun& run : sectionRuns) sections.push_back(run.section);
    return sections;
  }
  // Expects the section runs at the given roots, each serviced no earlier than its root and
  // within the time tolerance after it.
  void ExpectServicedAfter(const std::vector<double>& roots) const {
    ASSERT_EQ(sectionRuns.size(), roots.size());
    for (std::size_t i = 0; i < roots.size(); ++i) {
      EXPECT_GE(sectionRuns[i].t, roots[i]) << i;
      EXPECT_LE(sectionRuns[i].t, roots[i] + kTimeTol) << i;
    }
  }
};

// The root at 0.5 lies inside the step from 0.43 to 0.53; after the event the run goes on with
// steps of the size it had, not with the last trial step.
class LocationTest : public StateEventsTest, public ::testing::WithParamInterface<Alg> {};

TEST_P(LocationTest, CrossingIsServicedWithinTheToleranceAfterItsRoot) {
  control.zzticg = 0.03;
  control.cint = 1;
  control.nstp = 10;
  control.maxt = 0.1;
  control.cieitg = 0;
  ReportTimeCrossing(0.5);
  std::size_t stepsBeforeService = 0;
  onSection = [&](uint32_t) { stepsBeforeService = stepEnds.size(); };
  Start(GetParam(), Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_DOUBLE_EQ(t, 1.03);
  ExpectServicedAfter({0.5});

  const std::vector<double> after(stepEnds.begin() + stepsBeforeService, stepEnds.end());
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.back(), t);
  double previous = sectionRuns[0].t;
  for (std::size_t i = 0; i + 1 < after.size(); ++i) {
    EXPECT_GT(after[i] - previous, 0.08) << i;
    previous = after[i];
  }
}

INSTANTIATE_TEST_SUITE_P(FixedAndVariableStep, LocationTest,
                         ::testing::Values(Alg::AlgRungeKutta4, Alg::AlgRungeKuttaFehlberg5));

TEST_F(StateEventsTest, ValueReachingZeroAtAStepEndFiresThereWithoutSearch) {
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  // 5·0.1 is exactly 0.5. The function of id 2 starts the run at exactly zero.
  Report({{1, Type::EventStateAny, 1001, [this] { return t - 0.5; }},
          {2, Type::EventStateAny, 1002, [this] { return t; }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  // Id 1 does not fire again from the zero it starts the next step with; id 2 never fires.
  ASSERT_EQ(SectionsRun(), std::vector<uint32_t>{1001});
  EXPECT_EQ(sectionRuns[0].t, 0.5);
  EXPECT_EQ(stepEnds.size(), 10u);
  EXPECT_EQ(TakeMessages(), "State event number 1001 serviced at 0.500000.\n");
}

// (type, direction of the function, whether it fires)
class DirectionTest : public StateEventsTest,
                      public ::testing::WithParamInterface<std::tuple<Type, double, bool>> {};

TEST_P(DirectionTest, FiresOnlyInTheDirectionOfItsType) {
  const auto [type, direction, fires] = GetParam();
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  Report({{1, type, 1001, [this, direction = direction] { return direction * (t - 0.45); }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  if (fires) {
    ExpectServicedAfter({0.45});
  } else {
    EXPECT_TRUE(sectionRuns.empty());
    EXPECT_EQ(TakeMessages(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(RisingAndFalling, DirectionTest,
                         ::testing::Values(std::make_tuple(Type::EventStateAny, 1.0, true),
                                           std::make_tuple(Type::EventStateAny, -1.0, true),
                                           std::make_tuple(Type::EventStateRising, 1.0, true),
                                           std::make_tuple(Type::EventStateRising, -1.0, false),
                                           std::make_tuple(Type::EventStateFalling, 1.0, false),
                                           std::make_tuple(Type::EventStateFalling, -1.0, true)));

// Two functions cross in the step from 0.4 to 0.5: one inside it, one exactly at its end, where
// the first pass already locates it. The inner crossing comes first whichever id it has.
class TwoCrossingsTest : public StateEventsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TwoCrossingsTest, AreServicedInTimeOrder) {
  const bool innerFirstInQueue = GetParam();
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  const Crossing inner{innerFirstInQueue ? 1u : 2u, Type::EventStateAny, 1001,
                       [this] { return t - 0.43; }};
  const Crossing atEnd{innerFirstInQueue ? 2u : 1u, Type::EventStateAny, 1002,
                       [this] { return t - 0.5; }};
  Report({inner, atEnd});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  ExpectServicedAfter({0.43, 0.5});
}

INSTANTIATE_TEST_SUITE_P(EitherQueueOrder, TwoCrossingsTest, ::testing::Bool());

TEST_F(StateEventsTest, SimultaneousCrossingsAreServicedTogetherInQueueOrder) {
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  Report({{2, Type::EventStateAny, 1001, [this] { return t - 0.45; }},
          {1, Type::EventStateRising, 1002, [this] { return t - 0.45; }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1002, 1001}));
  EXPECT_EQ(sectionRuns[0].t, sectionRuns[1].t);
  ExpectServicedAfter({0.45, 0.45});
}

// A ball dropped from height 1 bounces without loss: the section reverses its velocity when the
// height falls through zero. The integrators are exact for its quadratic path, so its energy
// g·y + v²/2 stays as it was, and each bounce comes a period 2·sqrt(2/g) after the one before.
class BouncingBallTest : public StateEventsTest, public ::testing::WithParamInterface<Alg> {};

TEST_P(BouncingBallTest, KeepsItsEnergyOverSeveralBounces) {
  control.cint = 0.1;
  control.nstp = 1;
  control.weditg = 0;
  Report({{1, Type::EventStateFalling, 1001, [this] { return states[0]; }}});
  onSection = [this](uint32_t) { states[1] = -states[1]; };
  Start(GetParam(), Fall, {1, 0});
  const double energy = kGravity;
  while (t < 4) ASSERT_TRUE(Interval());

  const double fall = std::sqrt(2 / kGravity);
  ASSERT_EQ(sectionRuns.size(), 4u);
  for (std::size_t k = 0; k < sectionRuns.size(); ++k) {
    // Each service lies at most kTimeTol after the crossing and delays the next flight by at
    // most twice that.
    EXPECT_NEAR(sectionRuns[k].t, (2 * k + 1) * fall, 2 * (k + 1) * kTimeTol) << k;
  }
  EXPECT_EQ(t, 4.0);
  EXPECT_NEAR(kGravity * states[0] + states[1] * states[1] / 2, energy, 1e-10 * energy);
  EXPECT_EQ(TakeMessages(), "");
}

INSTANTIATE_TEST_SUITE_P(FixedAndVariableStep, BouncingBallTest,
                         ::testing::Values(Alg::AlgRungeKutta4, Alg::AlgRungeKuttaFehlberg5));

TEST_F(StateEventsTest, CrossingInTheLastStepLetsTheIntervalReachItsPoint) {
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  ReportTimeCrossing(0.95);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  EXPECT_TRUE(solver.settings.communicationPointReached);
  ExpectServicedAfter({0.95});
}

// With CommIntOnEvent set an interval ends at the event, and the next one ends on the
// communication point the run was heading for, not on the one after it.
TEST_F(StateEventsTest, IntervalEndingAtACrossingIsFollowedByThePointItApproached) {
  control.cint = 1;
  control.nstp = 10;
  ReportTimeCrossing(0.95);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_TRUE(solver.settings.communicationPointReached);
  ExpectServicedAfter({0.95});
  EXPECT_EQ(t, sectionRuns[0].t);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 2.0);
}

TEST_F(StateEventsTest, CrossingBeforeAScheduledEventLeavesTheClockOnItsPoints) {
  control.cint = 1;
  control.nstp = 10;
  control.weditg = 0;
  ReportTimeCrossing(0.45);
  Start(Alg::AlgEuler, Unit, {0});
  solver.AddEvent(0, Type::EventIndependentVar, 0.7, kInstance, 1002, nullptr);
  std::vector<double> ends;
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(Interval());
    ends.push_back(t);
  }
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  ExpectServicedAfter({0.45, 0.7});
  EXPECT_EQ(ends[0], sectionRuns[0].t);
  EXPECT_EQ(ends[1], 0.7);
  EXPECT_EQ(ends[2], 1.0);
  EXPECT_EQ(ends[3], 2.0);
}

TEST_F(StateEventsTest, SearchDescribesItsTrialWindowAndTheService) {
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  ReportTimeCrossing(0.45);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  // The first trial bisects the step from 0.4 to 0.5 and lands exactly on the root.
  EXPECT_EQ(TakeMessages(),
            "State event number 1001\n"
            "Window between 0.450000 and 0.500000, current value = 5.000000e-02.\n"
            "State event number 1001 serviced at 0.450000.\n");
  EXPECT_EQ(sectionRuns[0].t, 0.45);
}

TEST_F(StateEventsTest, StateEventsFirstReportedAfterTheResetAreLocated) {
  control.cint = 1;
  control.nstp = 10;
  control.cieitg = 0;
  onDerivative = [this] {
    if (t >= 0.2) solver.AddEvent(1, Type::EventStateAny, t - 0.45, kInstance, 1001, nullptr);
  };
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  ExpectServicedAfter({0.45});
}

// A function whose values change once the search has begun: after the first trial nothing
// brackets a crossing any more. The interval goes on to its point without servicing anything.
TEST_F(StateEventsTest, CrossingThatVanishesIsReportedAndNotServiced) {
  control.cint = 1;
  control.nstp = 10;
  bool changed = false;
  onDerivative = [this, &changed] {
    solver.AddEvent(1, Type::EventStateAny, changed ? 1.0 : t - 0.45, kInstance, 1001, nullptr);
    if (solver.GetIntegrator()->inPostStepEvaluation && t > 0.45) changed = true;
  };
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  EXPECT_TRUE(sectionRuns.empty());
  EXPECT_EQ(TakeMessages(),
            "State event number 1001\n"
            "Window between 0.450000 and 0.500000, current value = 5.000000e-02.\n"
            "Event vanished.\n");
}

// The derivative turns to noise once the crossing has been detected, so every trial step of the
// error-controlled integrator fails at its minimum step and leaves the state where it was. The
// search ends there with the integrator's stop instead of retrying the same trial for ever.
TEST_F(StateEventsTest, IntegratorFailureDuringTheSearchEndsIt) {
  control.cint = 1;
  control.nstp = 10;
  control.maxt = 0.1;
  control.cieitg = 0;
  bool noisy = false;
  int evaluations = 0;
  onDerivative = [this, &noisy, &evaluations] {
    solver.AddEvent(1, Type::EventStateAny, t - 0.45, kInstance, 1001, nullptr);
    if (noisy) {
      ++evaluations;
      derivatives[0] = (evaluations % 2 == 0 ? 1e6 : -1e6) * evaluations;
    }
    if (solver.GetIntegrator()->inPostStepEvaluation && t > 0.45) noisy = true;
  };
  Start(Alg::AlgRungeKuttaFehlberg5, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_TRUE(solver.settings.GetStopFlag());
  EXPECT_LT(t, 0.45);
  EXPECT_TRUE(sectionRuns.empty());
  EXPECT_FALSE(solver.GetIntegrator()->messages.empty());
}

}  // namespace
}  // namespace tarn::test
