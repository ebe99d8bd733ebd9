// Runs through the host interface of a model that schedules a state event: a ball dropped from
// height 1 that bounces without loss, its crossing reported with each of the three crossing types.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solver/integrator_settings.h"
#include "support/bounce_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

using M = BounceModel;

// The bouncing-ball model, one instance, its status messages recorded; Param is the test's.
template <typename Param>
class BounceRun : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    UseModel(BounceModel::Register);
    TarnInitialize();
    instance_ = TarnCreate();
    ASSERT_NE(instance_, 0u);
    messages_.clear();
    TarnAddStatusCallback(instance_, 0, RecordMessage);
  }
  void TearDown() override { TarnFinalize(); }

  static void RecordMessage(uint32_t, uint32_t, const char* text) { messages_.push_back(text); }

  uint32_t instance_ = 0;
  static inline std::vector<std::string> messages_;
};

using StateEventRun = BounceRun<TarnScheduleType>;

TEST_P(StateEventRun, BallBouncesAtTheAnalyticTimes) {
  M::block.crossingType = GetParam();
  M::block.tstop = 2.5;
  TarnStartBlocking(instance_);

  const double g = M::block.gravity;
  const double fall = std::sqrt(2 / g);
  ASSERT_EQ(M::block.bounces, 3);
  for (int k = 0; k < 3; ++k) {
    // Located within the minimum step (1e-9) after each crossing; each bounce delays the next
    // by at most twice that.
    EXPECT_NEAR(M::bounceTimes[k], (2 * k + 1) * fall, 1e-8) << k;
  }
  EXPECT_TRUE(M::flagRaisedInEveryBounce);
  EXPECT_EQ(M::block.bouncing, 0);
  EXPECT_DOUBLE_EQ(M::block.t, 2.5);
  // Putting the ball back on the ground from at most v·1e-9 below it adds no more than g·v·1e-9
  // per bounce.
  const double energy = g * M::block.y + M::block.v * M::block.v / 2;
  EXPECT_NEAR(energy, g, 1e-6);

  bool firstBounceReported = false;
  for (const std::string& message : messages_) {
    firstBounceReported =
        firstBounceReported ||
        message.find("State event number 1001 serviced at 0.451524.\n") != std::string::npos;
  }
  EXPECT_TRUE(firstBounceReported);
}

INSTANTIATE_TEST_SUITE_P(CrossingTypes, StateEventRun,
                         ::testing::Values(TARN_SCHEDULE_CROSSING, TARN_SCHEDULE_CROSSING_RISING,
                                           TARN_SCHEDULE_CROSSING_FALLING));

struct MethodCase {
  const char* name;
  IntegrationAlgorithm algorithm;
  int32_t stepsPerInterval;  // nstp: the fixed step, or the first step of a variable one
  double timeTolerance;      // relative, on each bounce time
};

using EveryMethodBounces = BounceRun<MethodCase>;

// A ball dropped from 10 m that keeps 90 % of its speed at each bounce, its height reported as a
// falling crossing: every method finds the bounces at the analytic times, the first at
// sqrt(2h/g), each later one 2·0.9^k·sqrt(2h/g) after the one before.
TEST_P(EveryMethodBounces, AtTheAnalyticTimes) {
  const MethodCase& method = GetParam();
  M::block.yInitial = 10;
  M::block.restitution = 0.9;
  M::block.crossingType = TARN_SCHEDULE_CROSSING_FALLING;
  M::block.tstop = 7;
  M::block.control.ialg = static_cast<int32_t>(method.algorithm);
  M::block.control.nstp = method.stepsPerInterval;
  for (uint32_t state : {M::kY, M::kV}) {
    TarnSetRelativeError(instance_, state, 1e-10);
    TarnSetAbsoluteError(instance_, state, 1e-10);
  }
  TarnStartBlocking(instance_);

  const double reference[] = {1.42784312, 3.99796074, 6.3110666};
  ASSERT_EQ(M::block.bounces, 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(M::bounceTimes[k], reference[k], method.timeTolerance * reference[k]) << k;
  }
  EXPECT_TRUE(M::flagRaisedInEveryBounce);
  EXPECT_TRUE(M::scheduleReturnedFalse);
  EXPECT_DOUBLE_EQ(M::block.t, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, EveryMethodBounces,
    ::testing::Values(
        MethodCase{"AdamsMoulton", IntegrationAlgorithm::AlgAdamsMoulton, 1, 1e-6},
        MethodCase{"Gear", IntegrationAlgorithm::AlgGearStiff, 1, 1e-6},
        // First order: the step error g·h²/2 per step delays each bounce by
        // about h/2.
        MethodCase{"Euler", IntegrationAlgorithm::AlgEuler, 1000, 1e-4},
        MethodCase{"RungeKutta2", IntegrationAlgorithm::AlgRungeKutta2, 10, 1e-6},
        MethodCase{"RungeKutta4", IntegrationAlgorithm::AlgRungeKutta4, 10, 1e-6},
        MethodCase{"Fehlberg2", IntegrationAlgorithm::AlgRungeKuttaFehlberg2, 1, 1e-6},
        MethodCase{"Fehlberg5", IntegrationAlgorithm::AlgRungeKuttaFehlberg5, 1, 1e-6},
        MethodCase{"Rosenbrock", IntegrationAlgorithm::AlgRosenbrock, 1, 1e-6},
        // Restarts (at the start, at each bounce) take one Euler step.
        MethodCase{"AdamsBashforth2", IntegrationAlgorithm::AlgAdamsBashforth2, 1000, 1e-6},
        MethodCase{"Odepack", IntegrationAlgorithm::AlgOdepack, 1, 1e-6},
        MethodCase{"Cvode", IntegrationAlgorithm::AlgCvode, 1, 1e-6}),
    [](const ::testing::TestParamInfo<MethodCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tarn::test
