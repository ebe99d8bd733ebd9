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
    solver.AddEvent(0, OdeEventType::EventIndependentVar, time, kInstance, section, flag);
  }

  std::vector<uint32_t> SectionsRun() const {
    std::vector<uint32_t> sections;
    for (const SectionRun& run : sectionRuns) sections.push_back(run.section);
    return sections;
  }
  std::vector<double> SectionTimes() const {
    std::vector<double> times;
    for (const SectionRun& run : sectionRuns) times.push_back(run.t);
    return times;
  }
};

TEST_F(ScheduledEventsTest, EventInsideAnIntervalEndsItOnTheEventTime) {
  control.cint = 1;
  control.nstp = 10;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  TarnLogical active = 0;
  std::vector<TarnLogical> flagDuringService;
  onSection = [&](uint32_t) { flagDuringService.push_back(active); };
  ScheduleAt(0.25, 1001, &active);

  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 0.25);
  EXPECT_TRUE(solver.settings.communicationPointReached);
  ASSERT_EQ(sectionRuns.size(), 1u);
  EXPECT_EQ(sectionRuns[0].instance, kInstance);
  EXPECT_EQ(sectionRuns[0].section, 1001u);
  EXPECT_EQ(sectionRuns[0].t, 0.25);
  EXPECT_EQ(flagDuringService, std::vector<TarnLogical>{1});
  EXPECT_EQ(active, 0);
  EXPECT_EQ(TakeMessages(), "Independent variable event number 1001 serviced at 0.250000.\n");
  // The model's derivative section is what the integrator evaluates again.
  EXPECT_EQ(solver.GetIntegrator()->derivArg1, kInstance);
  EXPECT_EQ(solver.GetIntegrator()->derivArg2, kDerivativeSection);

  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  EXPECT_EQ(sectionRuns.size(), 1u);
}

TEST_F(ScheduledEventsTest, WithoutCommIntOnEventTheIntervalRunsOnToItsPoint) {
  control.cint = 1;
  control.nstp = 2;
  control.cieitg = 0;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  ScheduleAt(0.25, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(stepEnds, (std::vector<double>{0.25, 0.75, 1.0}));
  EXPECT_EQ(SectionTimes(), std::vector<double>{0.25});
}

TEST_F(ScheduledEventsTest, EventAtTheEndOfAnIntervalIsServicedInThatInterval) {
  control.cint = 0.1;
  control.nstp = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ScheduleAt(0.3, 1002);
  for (int n = 1; n <= 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 0.3);
  EXPECT_EQ(SectionTimes(), std::vector<double>{0.3});
  EXPECT_EQ(stepEnds.size(), 3u);
}

TEST_F(ScheduledEventsTest, EventAtTheStartTimeIsServicedBeforeTheFirstStep) {
  control.zzticg = 2;
  Start(Alg::AlgRungeKutta4, Decay, {1});
  onSection = [this](uint32_t) { states[0] = 10; };
  ScheduleAt(2, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionTimes(), std::vector<double>{2});
  EXPECT_FALSE(solver.firstInterval);
  EXPECT_NEAR(states[0], 10 * std::exp(-0.1), 1e-5);
}

TEST_F(ScheduledEventsTest, EventsDueTogetherRunInTheOrderTheyWereAdded) {
  control.cint = 1;
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
  control.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  onSection = [this](uint32_t section) {
    if (section == 1001) ScheduleAt(t, 1002);
  };
  ScheduleAt(0.5, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1001, 1002}));
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0.5, 0.5}));
}

TEST_F(ScheduledEventsTest, EventsScheduledDuringTheResetOrClearedAreNeverServiced) {
  control.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.25;
  solver.SetInitializationInProgress(true);
  ScheduleAt(0.5, 1001);
  solver.AddIntervalEvent(1, kInstance, 1002, &period);
  solver.SetInitializationInProgress(false);
  ScheduleAt(0.5, 1003);
  solver.AddIntervalEvent(2, kInstance, 1004, &period);
  solver.ClearEventQueues();
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 1.0);
  EXPECT_TRUE(sectionRuns.empty());
}

TEST_F(ScheduledEventsTest, IntervalEventRecursFromItsRegistrationTime) {
  control.zzticg = 2;
  control.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.5;
  solver.AddIntervalEvent(7, kInstance, 1004, &period);
  for (int n = 0; n < 4; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 4.0);
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
  control.cint = 10;
  control.weditg = 0;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.1;
  solver.AddIntervalEvent(1, kInstance, 1001, &period);
  for (int n = 0; n < 30; ++n) ASSERT_TRUE(Interval());
  ASSERT_EQ(sectionRuns.size(), 31u);
  for (int k = 0; k <= 30; ++k) ASSERT_EQ(sectionRuns[k].t, k * 0.1) << k;
}

TEST_F(ScheduledEventsTest, ChangedPeriodCountsOnFromTheLastService) {
  control.cint = 10;
  Start(Alg::AlgEuler, Decay, {1});
  double period = 0.5;
  solver.AddIntervalEvent(1, kInstance, 1001, &period);
  onSection = [&](uint32_t) {
    if (sectionRuns.size() == 2) period = 0.25;
  };
  for (int n = 0; n < 4; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0, 0.5, 0.75, 1.0, 1.25}));
}

TEST_F(ScheduledEventsTest, IntervalEventWithoutAPositivePeriodIsNotScheduled) {
  Start(Alg::AlgEuler, Decay, {1});
  const double zero = 0;
  const double negative = -1;
  solver.AddIntervalEvent(1, kInstance, 1001, &zero);
  solver.AddIntervalEvent(2, kInstance, 1002, &negative);
  solver.AddIntervalEvent(3, kInstance, 1003, nullptr);
  EXPECT_EQ(TakeMessages(),
            "Interval event number 1001 not scheduled: its interval is not positive.\n"
            "Interval event number 1002 not scheduled: its interval is not positive.\n"
            "Interval event number 1003 not scheduled: its interval is not positive.\n");
  ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 0.1);
  EXPECT_TRUE(sectionRuns.empty());
}

TEST_F(ScheduledEventsTest, IntervalEventWhosePeriodBecomesZeroIsCancelled) {
  control.cint = 1;
  control.weditg = 0;
  Start(Alg::AlgEuler, Decay, {1});
  double period = 0.5;
  solver.AddIntervalEvent(1, kInstance, 1001, &period);
  onSection = [&](uint32_t) {
    if (sectionRuns.size() == 2) period = 0;
  };
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(t, 2.0);
  EXPECT_EQ(SectionTimes(), (std::vector<double>{0, 0.5}));
  EXPECT_EQ(TakeMessages(),
            "Interval event number 1001 cancelled at 0.500000: its interval is not positive.\n");
}

TEST_F(ScheduledEventsTest, NothingIsDescribedWhenEventDescriptionIsOff) {
  control.weditg = 0;
  control.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  const double period = 0.5;
  ScheduleAt(0.25, 1001);
  solver.AddIntervalEvent(1, kInstance, 1002, &period);
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(Interval());
  EXPECT_EQ(SectionsRun(), (std::vector<uint32_t>{1002, 1001, 1002, 1002}));
  EXPECT_EQ(TakeMessages(), "");
}

TEST_F(ScheduledEventsTest, ServicedEventUpdatesTheDelayStatesOfItsSection) {
  delayInitConds = {1, 2};
  Start(Alg::AlgEuler, Decay, {1});
  solver.delayStateKeys = {1001, 1002};
  delayNextValues = {10, 20};
  std::vector<double> seenBySection;
  onSection = [&](uint32_t) { seenBySection.push_back(delayStates[0]); };
  ScheduleAt(0.05, 1001);
  ASSERT_TRUE(Interval());
  EXPECT_EQ(seenBySection, std::vector<double>{10});
  EXPECT_EQ(delayStates, (std::array<double, 2>{10, 2}));
}

TEST_F(ScheduledEventsTest, EventInThePastStopsTheRun) {
  control.cint = 1;
  Start(Alg::AlgEuler, Decay, {1});
  ASSERT_TRUE(Interval());
  ScheduleAt(0.5, 1001);
  EXPECT_FALSE(Interval());
  EXPECT_EQ(control.zzstopflag, 1);
  EXPECT_EQ(TakeMessages(), "Step size -5.000000e-01 not positive at 1.000000.\n");
  EXPECT_TRUE(sectionRuns.empty());
}

}  // namespace
}  // namespace tarn::test
