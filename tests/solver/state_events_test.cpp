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
    onDerivative_ = [this, crossings] {
      for (const Crossing& crossing : crossings) {
        solver_.AddEvent(crossing.id, crossing.type, crossing.value(), kInstance, crossing.section,
                         nullptr);
      }
    };
  }
  // The function t - root reported under id 1, running section 1001.
  void ReportTimeCrossing(double root, Type type = Type::EventStateAny) {
    Report({{1, type, 1001, [this, root] { return t_ - root; }}});
  }

  std::vector<uint32_t> SectionsRun() const {
    std::vector<uint32_t> sections;
    for (const SectionRun& run : sectionRuns_) sections.push_back(run.section);
    return sections;
  }
  // Expects the section runs at the given roots, each serviced no earlier than its root and
  // within the time tolerance after it.
  void ExpectServicedAfter(const std::vector<double>& roots) const {
    ASSERT_EQ(sectionRuns_.size(), roots.size());
    for (std::size_t i = 0; i < roots.size(); ++i) {
      EXPECT_GE(sectionRuns_[i].t, roots[i]) << i;
      EXPECT_LE(sectionRuns_[i].t, roots[i] + kTimeTol) << i;
    }
  }
};

// The root at 0.5 lies inside the step from 0.43 to 0.53; after the event the run goes on with
// steps of the size it had, not with the last trial step.
class LocationTest : public StateEventsTest, public ::testing::WithParamInterface<Alg> {};

TEST_P(LocationTest, CrossingIsServicedWithinTheToleranceAfterItsRoot) {
  control_.zzticg = 0.03;
  control_.cint = 1;
  control_.nstp = 10;
  control_.maxt = 0.1;
  control_.cieitg = 0;
  ReportTimeCrossing(0.5);
  std::size_t stepsBeforeService = 0;
  onSection_ = [&](uint32_t) { stepsBeforeService = stepEnds_.size(); };
  Start(GetParam(), Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_DOUBLE_EQ(t_, 1.03);
  ExpectServicedAfter({0.5});

  const std::vector<double> after(stepEnds_.begin() + stepsBeforeService, stepEnds_.end());
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.back(), t_);
  double previous = sectionRuns_[0].t;
  for (std::size_t i = 0; i + 1 < after.size(); ++i) {
    EXPECT_GT(after[i] - previous, 0.08) << i;
    previous = after[i];
  }
}

INSTANTIATE_TEST_SUITE_P(FixedAndVariableStep, LocationTest,
                         ::testing::Values(Alg::AlgRungeKutta4, Alg::AlgRungeKuttaFehlberg5));

TEST_F(StateEventsTest, ValueReachingZeroAtAStepEndFiresThereWithoutSearch) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  // 5·0.1 is exactly 0.5. The function of id 2 starts the run at exactly zero.
  Report({{1, Type::EventStateAny, 1001, [this] { return t_ - 0.5; }},
          {2, Type::EventStateAny, 1002, [this] { return t_; }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  // Id 1 does not fire again from the zero it starts the next step with; id 2 never fires.
  ASSERT_EQ(SectionsRun(), std::vector<uint32_t>{1001});
  EXPECT_EQ(sectionRuns_[0].t, 0.5);
  EXPECT_EQ(stepEnds_.size(), 10u);
  EXPECT_EQ(TakeMessages(), "State event number 1001 serviced at 0.500000.\n");
}

// (type, direction of the function, whether it fires)
class DirectionTest : public StateEventsTest,
                      public ::testing::WithParamInterface<std::tuple<Type, double, bool>> {};

TEST_P(DirectionTest, FiresOnlyInTheDirectionOfItsType) {
  const auto [type, direction, fires] = GetParam();
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  Report({{1, type, 1001, [this, direction = direction] { return direction * (t_ - 0.45); }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  if (fires) {
    ExpectServicedAfter({0.45});
  } else {
    EXPECT_TRUE(sectionRuns_.empty());
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
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  const Crossing inner{innerFirstInQueue ? 1u : 2u, Type::EventStateAny, 1001,
                       [this] { return t_ - 0.43; }};
  const Crossing atEnd{innerFirstInQueue ? 2u : 1u, Type::EventStateAny, 1002,
                       [this] { return t_ - 0.5; }};
  Report({inner, atEnd});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  ExpectServicedAfter({0.43, 0.5});
}

INSTANTIATE_TEST_SUITE_P(EitherQueueOrder, TwoCrossingsTest, ::testing::Bool());

TEST_F(StateEventsTest, SimultaneousCrossingsAreServicedTogetherInQueueOrder) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  Report({{2, Type::EventStateAny, 1001, [this] { return t_ - 0.45; }},
          {1, Type::EventStateRising, 1002, [this] { return t_ - 0.45; }}});
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1002, 1001}));
  EXPECT_EQ(sectionRuns_[0].t, sectionRuns_[1].t);
  ExpectServicedAfter({0.45, 0.45});
}

// A ball dropped from height 1 bounces without loss: the section reverses its velocity when the
// height falls through zero. The integrators are exact for its quadratic path, so its energy
// g·y + v²/2 stays as it was, and each bounce comes a period 2·sqrt(2/g) after the one before.
class BouncingBallTest : public StateEventsTest, public ::testing::WithParamInterface<Alg> {};

TEST_P(BouncingBallTest, KeepsItsEnergyOverSeveralBounces) {
  control_.cint = 0.1;
  control_.nstp = 1;
  control_.weditg = 0;
  Report({{1, Type::EventStateFalling, 1001, [this] { return states_[0]; }}});
  onSection_ = [this](uint32_t) { states_[1] = -states_[1]; };
  Start(GetParam(), Fall, {1, 0});
  const double energy = kGravity;
  while (t_ < 4) ASSERT_TRUE(Interval());

  const double fall = std::sqrt(2 / kGravity);
  ASSERT_EQ(sectionRuns_.size(), 4u);
  for (std::size_t k = 0; k < sectionRuns_.size(); ++k) {
    // Each service lies at most kTimeTol after the crossing and delays the next flight by at
    // most twice that.
    EXPECT_NEAR(sectionRuns_[k].t, (2 * k + 1) * fall, 2 * (k + 1) * kTimeTol) << k;
  }
  EXPECT_EQ(t_, 4.0);
  EXPECT_NEAR(kGravity * states_[0] + states_[1] * states_[1] / 2, energy, 1e-10 * energy);
  EXPECT_EQ(TakeMessages(), "");
}

INSTANTIATE_TEST_SUITE_P(FixedAndVariableStep, BouncingBallTest,
                         ::testing::Values(Alg::AlgRungeKutta4, Alg::AlgRungeKuttaFehlberg5));

TEST_F(StateEventsTest, CrossingInTheLastStepLetsTheIntervalReachItsPoint) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  ReportTimeCrossing(0.95);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  EXPECT_TRUE(solver_.settings.communicationPointReached);
  ExpectServicedAfter({0.95});
}

// With CommIntOnEvent set an interval ends at the event, and the next one ends on the
// communication point the run was heading for, not on the one after it.
TEST_F(StateEventsTest, IntervalEndingAtACrossingIsFollowedByThePointItApproached) {
  control_.cint = 1;
  control_.nstp = 10;
  ReportTimeCrossing(0.95);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_TRUE(solver_.settings.communicationPointReached);
  ExpectServicedAfter({0.95});
  EXPECT_EQ(t_, sectionRuns_[0].t);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 2.0);
}

TEST_F(StateEventsTest, CrossingBeforeAScheduledEventLeavesTheClockOnItsPoints) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.weditg = 0;
  ReportTimeCrossing(0.45);
  Start(Alg::AlgEuler, Unit, {0});
  solver_.AddEvent(0, Type::EventIndependentVar, 0.7, kInstance, 1002, nullptr);
  std::vector<double> ends;
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(Interval());
    ends.push_back(t_);
  }
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  ExpectServicedAfter({0.45, 0.7});
  EXPECT_EQ(ends[0], sectionRuns_[0].t);
  EXPECT_EQ(ends[1], 0.7);
  EXPECT_EQ(ends[2], 1.0);
  EXPECT_EQ(ends[3], 2.0);
}

TEST_F(StateEventsTest, SearchDescribesItsTrialWindowAndTheService) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  ReportTimeCrossing(0.45);
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  // The first trial bisects the step from 0.4 to 0.5 and lands exactly on the root.
  EXPECT_EQ(TakeMessages(),
            "State event number 1001\n"
            "Window between 0.450000 and 0.500000, current value = 5.000000e-02.\n"
            "State event number 1001 serviced at 0.450000.\n");
  EXPECT_EQ(sectionRuns_[0].t, 0.45);
}

TEST_F(StateEventsTest, StateEventsFirstReportedAfterTheResetAreLocated) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.cieitg = 0;
  onDerivative_ = [this] {
    if (t_ >= 0.2) solver_.AddEvent(1, Type::EventStateAny, t_ - 0.45, kInstance, 1001, nullptr);
  };
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  ExpectServicedAfter({0.45});
}

// A function whose values change once the search has begun: after the first trial nothing
// brackets a crossing any more. The interval goes on to its point without servicing anything.
TEST_F(StateEventsTest, CrossingThatVanishesIsReportedAndNotServiced) {
  control_.cint = 1;
  control_.nstp = 10;
  bool changed = false;
  onDerivative_ = [this, &changed] {
    solver_.AddEvent(1, Type::EventStateAny, changed ? 1.0 : t_ - 0.45, kInstance, 1001, nullptr);
    if (solver_.GetIntegrator()->inPostStepEvaluation && t_ > 0.45) changed = true;
  };
  Start(Alg::AlgEuler, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  EXPECT_TRUE(sectionRuns_.empty());
  EXPECT_EQ(TakeMessages(),
            "State event number 1001\n"
            "Window between 0.450000 and 0.500000, current value = 5.000000e-02.\n"
            "Event vanished.\n");
}

// The derivative turns to noise once the crossing has been detected, so every trial step of the
// error-controlled integrator fails at its minimum step and leaves the state where it was. The
// search ends there with the integrator's stop instead of retrying the same trial for ever.
TEST_F(StateEventsTest, IntegratorFailureDuringTheSearchEndsIt) {
  control_.cint = 1;
  control_.nstp = 10;
  control_.maxt = 0.1;
  control_.cieitg = 0;
  bool noisy = false;
  int evaluations = 0;
  onDerivative_ = [this, &noisy, &evaluations] {
    solver_.AddEvent(1, Type::EventStateAny, t_ - 0.45, kInstance, 1001, nullptr);
    if (noisy) {
      ++evaluations;
      derivatives_[0] = (evaluations % 2 == 0 ? 1e6 : -1e6) * evaluations;
    }
    if (solver_.GetIntegrator()->inPostStepEvaluation && t_ > 0.45) noisy = true;
  };
  Start(Alg::AlgRungeKuttaFehlberg5, Unit, {0});
  ASSERT_TRUE(Interval());
  EXPECT_TRUE(solver_.settings.GetStopFlag());
  EXPECT_LT(t_, 0.45);
  EXPECT_TRUE(sectionRuns_.empty());
  EXPECT_FALSE(solver_.GetIntegrator()->messages.empty());
}

}  // namespace
}  // namespace tarn::test
