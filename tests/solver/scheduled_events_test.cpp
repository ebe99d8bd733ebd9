// Scheduled events of OdeSolver: events at a time inside or at the end of an interval, at the
// start time, at equal times, scheduled from a discrete section, recurring interval events, their
// flags, delay states and messages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solver/ode_solver.h"
#include "solver_test_model.h"

namespace tarn::test {
namespace {

using Alg = IntegrationAlgorithm;

class ScheduledEventsTest : public SolverTestModel {
 protected:
  // Schedules an event at `time` that runs `section`, raising `flag` (may be null).
  void ScheduleAt(double time, uint32_t section, TarnLogical* flag = nullptr) {
    solver_.AddEvent(0, OdeEventType::EventIndependentVar, time, kInstance, section, flag);
  }

  std::vector<uint32_t> SectionsRun() const {
    std::vector<uint32_t> sections;
    for (const SectionRun& run : sectionRuns_) sections.push_back(run.section);
    return sections;
  }
  std::vector<double> SectionTimes() const {
    std::vector<double> times;
    for (const SectionRun& run : sectionRuns_) times.push_back(run.t);
    return times;
  }
};

TEST_F(ScheduledEventsTest, EventInsideAnIntervalEndsItOnTheEventTime) {
  control_.cint = 1;
  control_.nstp = 10;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  TarnLogical active = 0;
  std::vector<TarnLogical> flagDuringService;
  onSection_ = [&](uint32_t) { flagDuringService.push_back(active); };
  ScheduleAt(0.25, 1001, &active);

  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.25);
  EXPECT_TRUE(solver_.settings.communicationPointReached);
  ASSERT_EQ(sectionRuns_.size(), 1u);
  EXPECT_EQ(sectionRuns_[0].instance, kInstance);
  EXPECT_EQ(sectionRuns_[0].section, 1001u);
  EXPECT_EQ(sectionRuns_[0].t, 0.25);
  EXPECT_EQ(flagDuringService, std::vector<TarnLogical>{1});
  EXPECT_EQ(active, 0);
  EXPECT_EQ(TakeMessages(), "Independent variable event number 1001 serviced at 0.250000.\n");
  // The model's derivative section is what the integrator evaluates again.
  EXPECT_EQ(solver_.GetIntegrator()->derivArg1, kInstance);
  EXPECT_EQ(solver_.GetIntegrator()->derivArg2, kDerivativeSection);

  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  EXPECT_EQ(sectionRuns_.size(), 1u);
}

TEST_F(ScheduledEventsTest, WithoutCommIntOnEventTheIntervalRunsOnToItsPoint) {
  control_.cint = 1;
  control_.nstp = 2;
  control_.cieitg = 0;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  ScheduleAt(0.25, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds_, (std::vector<double>{0.25, 0.75, 1.0}));
  EXPECT_EQ(SectionTimes(), std::vector<double>{0.25});
}

TEST_F(ScheduledEventsTest, EventAtTheEndOfAnIntervalIsServicedInThatInterval) {
  control_.cint = 0.1;
  control_.nstp = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ScheduleAt(0.3, 1002);
  for (int n = 1; n <= 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.3);
  EXPECT_EQ(SectionTimes(), std::vector<double>{0.3});
  EXPECT_EQ(stepEnds_.size(), 3u);
}

TEST_F(ScheduledEventsTest, EventAtTheStartTimeIsServicedBeforeTheFirstStep) {
  control_.zzticg = 2;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  onSection_ = [this](uint32_t) { states_[0] = 10; };
  ScheduleAt(2, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionTimes(), std::vector<double>{2});
  EXPECT_FALSE(solver_.firstInterval);
  EXPECT_NEAR(states_[0], 10 * std::exp(-0.1), 1e-5);
}

TEST_F(ScheduledEventsTest, EventsDueTogetherRunInTheOrderTheyWereAdded) {
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ScheduleAt(0.5, 1003);
  ScheduleAt(0.5, 1001);
  ScheduleAt(0.25, 1002);
  ASSERT_TRUE(Interval());
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1002, 1003, 1001}));
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0.25, 0.5, 0.5}));
}

TEST_F(ScheduledEventsTest, EventScheduledByASectionForThePresentTimeRunsInTheSameCall) {
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  onSection_ = [this](uint32_t section) {
    if (section == 1001) ScheduleAt(t_, 1002);
  };
  ScheduleAt(0.5, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0.5, 0.5}));
}

TEST_F(ScheduledEventsTest, EventsScheduledDuringTheResetOrClearedAreNeverServiced) {
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.25;
  solver_.SetInitializationInProgress(true);
  ScheduleAt(0.5, 1001);
  solver_.AddIntervalEvent(1, kInstance, 1002, &period);
  solver_.SetInitializationInProgress(false);
  ScheduleAt(0.5, 1003);
  solver_.AddIntervalEvent(2, kInstance, 1004, &period);
  solver_.ClearEventQueues();
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 1.0);
  EXPECT_TRUE(sectionRuns_.empty());
}

TEST_F(ScheduledEventsTest, IntervalEventRecursFromItsRegistrationTime) {
  control_.zzticg = 2;
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.5;
  solver_.AddIntervalEvent(7, kInstance, 1004, &period);
  for (int n = 0; n < 4; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 4.0);
  EXPECT_EQ(SectionTimes(), (std::vector<double>{2, 2.5, 3, 3.5, 4}));
  EXPECT_EQ(TakeMessages(),
            "Interval event number 1004 serviced at 2.000000.\n"
            "Interval event number 1004 serviced at 2.500000.\n"
            "Interval event number 1004 serviced at 3.000000.\n"
            "Interval event number 1004 serviced at 3.500000.\n"
            "Interval event number 1004 serviced at 4.000000.\n");
}

// The due times are counted, k·0.1, not summed: after 30 services the sum of tenths has drifted.
TEST_F(ScheduledEventsTest, IntervalEventTimesDoNotDrift) {
  control_.cint = 10;
  control_.weditg = 0;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.1;
  solver_.AddIntervalEvent(1, kInstance, 1001, &period);
  for (int n = 0; n < 30; ++n) ASSERT_TRUE(Interval());
  ASSERT_EQ(sectionRuns_.size(), 31u);
  for (int k = 0; k <= 30; ++k) ASSERT_EQ(sectionRuns_[k].t, k * 0.1) << k;
}

TEST_F(ScheduledEventsTest, ChangedPeriodCountsOnFromTheLastService) {
  control_.cint = 10;
  Start(Alg::AlgEuler, Decay, {1});
  double period = 0.5;
  solver_.AddIntervalEvent(1, kInstance, 1001, &period);
  onSection_ = [&](uint32_t) {
    if (sectionRuns_.size() == 2) period = 0.25;
  };
  for (int n = 0; n < 4; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0, 0.5, 0.75, 1.0, 1.25}));
}

TEST_F(ScheduledEventsTest, IntervalEventWithoutAPositivePeriodIsNotScheduled) {
  Start(Alg::AlgEuler, Decay, {1});
  const double zero = 0;
  const double negative = -1;
  solver_.AddIntervalEvent(1, kInstance, 1001, &zero);
  solver_.AddIntervalEvent(2, kInstance, 1002, &negative);
  solver_.AddIntervalEvent(3, kInstance, 1003, nullptr);
  EXPECT_EQ(TakeMessages(),
            "Interval event number 1001 not scheduled: its interval is not positive.\n"
            "Interval event number 1002 not scheduled: its interval is not positive.\n"
            "Interval event number 1003 not scheduled: its interval is not positive.\n");
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 0.1);
  EXPECT_TRUE(sectionRuns_.empty());
}

TEST_F(ScheduledEventsTest, IntervalEventWhosePeriodBecomesZeroIsCancelled) {
  control_.cint = 1;
  control_.weditg = 0;
  Start(Alg::AlgEuler, Decay, {1});
  double period = 0.5;
  solver_.AddIntervalEvent(1, kInstance, 1001, &period);
  onSection_ = [&](uint32_t) {
    if (sectionRuns_.size() == 2) period = 0;
  };
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t_, 2.0);
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0, 0.5}));
  EXPECT_EQ(TakeMessages(),
            "Interval event number 1001 cancelled at 0.500000: its interval is not positive.\n");
}

TEST_F(ScheduledEventsTest, NothingIsDescribedWhenEventDescriptionIsOff) {
  control_.weditg = 0;
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.5;
  ScheduleAt(0.25, 1001);
  solver_.AddIntervalEvent(1, kInstance, 1002, &period);
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1002, 1001, 1002, 1002}));
  EXPECT_EQ(TakeMessages(), "");
}

TEST_F(ScheduledEventsTest, ServicedEventUpdatesTheDelayStatesOfItsSection) {
  delayInitConds_ = {1, 2};
  Start(Alg::AlgEuler, Decay, {1});
  solver_.delayStateKeys = {1001, 1002};
  delayNextValues_ = {10, 20};
  std::vector<double> seenBySection;
  onSection_ = [&](uint32_t) { seenBySection.push_back(delayStates_[0]); };
  ScheduleAt(0.05, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(seenBySection, std::vector<double>{10});
  EXPECT_EQ(delayStates_, (std::array<double, 2>{10, 2}));
}

TEST_F(ScheduledEventsTest, EventInThePastStopsTheRun) {
  control_.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ASSERT_TRUE(Interval());
  ScheduleAt(0.5, 1001);
  EXPECT_FALSE(Interval());
  EXPECT_EQ(control_.zzstopflag, 1);
  EXPECT_EQ(TakeMessages(), "Step size -5.000000e-01 not positive at 1.000000.\n");
  EXPECT_TRUE(sectionRuns_.empty());
}

}  // namespace
}  // namespace tarn::test
