// Runs through the host interface of a model that schedules a state event: a ball dropped from
// height 1 that bounces without loss, its crossing reported with each of the three crossing types.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/bounce_model.h"
#include "support/test_model.h"
#include "tarn/tarn.h"

namespace tarn::test {
namespace {

using M = BounceModel;

class StateEventRun : public ::testing::TestWithParam<TarnScheduleType> {
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

}  // namespace
}  // namespace tarn::test
