// A runnable test model with a state event, written like a generated one: a ball dropped from
// height 1 under gravity, y' = v, v' = -g. Its derivative section reports a zero-crossing function
// of the height through TarnSimScheduleEvent with a chosen schedule type; the discrete section it
// names reverses the velocity (scaled by the coefficient of restitution), puts the ball back on
// the ground and records the bounce.
// Layout: t; states y, v; their derivatives; their initial conditions; seven variables; the
// control block.
#ifndef TARN_TESTS_SUPPORT_BOUNCE_MODEL_H
#define TARN_TESTS_SUPPORT_BOUNCE_MODEL_H

#include <array>
#include <cstdint>

#include "support/control_symbols.h"
#include "tarn/tarn_types.h"

namespace tarn::test {

struct BounceModel {
  enum Index : uint32_t {
    kT = 1,
    kY,
    kV,
    kYRate,
    kVRate,
    kYInitial,
    kVInitial,
    kGravity,
    kRestitution,
    kTstop,
    kCrossingType,
    kBounces,
    kLastBounce,
    kBouncing,
    kControl,
    kSymbolCount = kControl + 46,
  };

  static constexpr uint32_t kBounceEvent = 1;
  static constexpr uint32_t kBounceSection = 1001;
  static constexpr uint32_t kMaxBounces = 16;

  struct Block {
    double t = 0;
    double y = 5.5555e+33;
    double v = 5.5555e+33;
    double yRate = 5.5555e+33;
    double vRate = 5.5555e+33;
    double yInitial = 1;
    double vInitial = 0;
    double gravity = 9.81;
    double restitution = 1;  // the speed after a bounce over the speed before it
    double tstop = 1;
    // TarnScheduleType of the crossing: 1 reports y (any direction), 2 reports -y (rising), 3
    // reports y (falling). Each falls through zero when the ball reaches the ground.
    int32_t crossingType = TARN_SCHEDULE_CROSSING_FALLING;
    int32_t bounces = 0;
    double lastBounce = 0;
    TarnLogical bouncing = 0;  // raised by the solver while the bounce section runs
    ControlSymbols control;
  };

  static Block block;
  // Time of each bounce, as the bounce section saw it (the first kMaxBounces).
  static std::array<double, kMaxBounces> bounceTimes;
  // What TarnSimScheduleEvent returned, for every call.
  static bool scheduleReturnedFalse;
  // Whether `bouncing` was raised in every run of the bounce section.
  static bool flagRaisedInEveryBounce;
  // Registration entry; resets the block and the records to their defaults.
  static void Register();
};

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_BOUNCE_MODEL_H
