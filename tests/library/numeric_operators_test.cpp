// Pure operators of the model language: rounding, sign and root functions, switches and limiters,
// sources and array operators, by reference values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "library/discrete_functions.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

TEST(RoundingOperators, TruncateAndRoundToWholeNumbers) {
  EXPECT_EQ(aint(2.7), 2.0);
  EXPECT_EQ(aint(-2.7), -2.0);
  EXPECT_EQ(zzint(-2.9), -2);
  EXPECT_EQ(zzint(2.9), 2);

  EXPECT_EQ(nint(2.5), 3);
  EXPECT_EQ(nint(-2.5), -3);
  EXPECT_EQ(nint(0.0), 0);
  EXPECT_EQ(nint(-0.4), 0);

  EXPECT_EQ(anint(2.5), 3.0);
  EXPECT_EQ(anint(0.49), 0.0);
  EXPECT_EQ(anint(-0.5), 0.0);  // trunc(-0.5 + 0.5)
  EXPECT_EQ(anint(-0.6), -1.0);
  EXPECT_EQ(anint(-2.7), -3.0);  // nearest, not trunc(-2.2)
  EXPECT_EQ(anint(-2.5), -3.0);  // halves away from zero, as nint
}

TEST(RoundingOperators, IntegerResultsSaturateOutsideTheirRange) {
  EXPECT_EQ(nint(1e10), kInt32Max);
  EXPECT_EQ(nint(-1e10), kInt32Min);
  EXPECT_EQ(zzint(2147483647.9), kInt32Max);
  EXPECT_EQ(zzint(-2147483648.9), kInt32Min);
  EXPECT_EQ(zzint(-2147483647.5), -2147483647);
  EXPECT_EQ(nint(kNaN), 0);
  EXPECT_EQ(zzint(std::numeric_limits<double>::infinity()), kInt32Max);
}

TEST(RoundingOperators, PrecisionConversions) {
  EXPECT_EQ(dble(0.1f), 0.100000001490116119384765625);
  EXPECT_EQ(real(0.1), 0.100000001490116119384765625);
  EXPECT_EQ(real(1e300), std::numeric_limits<double>::infinity());
}

TEST(ArithmeticOperators, DifferenceAndModulus) {
  EXPECT_EQ(dim(5, 3), 2.0);
  EXPECT_EQ(dim(3, 5), 0.0);
  EXPECT_EQ(mod(-7, 3), -1.0);
  EXPECT_EQ(mod(7, -3), 1.0);
  EXPECT_EQ(mod(7.5, 2), 1.5);
  EXPECT_TRUE(std::isnan(mod(1, 0)));

  EXPECT_EQ(DiscreteFunctions::Modulus(-7, 3), -1);
  EXPECT_EQ(DiscreteFunctions::Modulus(7, -3), 1);
  EXPECT_EQ(DiscreteFunctions::Modulus(5, 0), 5);
  EXPECT_EQ(DiscreteFunctions::Modulus(kInt32Min, -1), 0);
}

TEST(SignOperators, SgnSignAndRoots) {
  EXPECT_EQ(sgn(3.5), 1.0);
  EXPECT_EQ(sgn(-0.1), -1.0);
  EXPECT_EQ(sgn(-0.0), 0.0);
  EXPECT_EQ(sgn(kNaN), 0.0);

  EXPECT_EQ(sign(-3, 0), 0.0);
  EXPECT_EQ(sign(-3, 2), 3.0);
  EXPECT_EQ(sign(3, -1), -3.0);
  EXPECT_EQ(sign(3, kNaN), 0.0);

  EXPECT_EQ(ssqrt(-4), -2.0);
  EXPECT_EQ(ssqrt(9), 3.0);
  EXPECT_EQ(ssqrt(0), 0.0);

  EXPECT_EQ(zzfsqrt(0.01, 1), 0.01);  // linear inside the threshold: x / sqrt(e)
  EXPECT_EQ(zzfsqrt(0.5, 4), 0.25);
  EXPECT_EQ(zzfsqrt(-4, 1), -2.0);  // signed root outside it
  EXPECT_EQ(zzfsqrt(4, 4), 2.0);    // the threshold itself is outside
}

TEST(SignOperators, MaxAndMinGiveTheSecondArgumentOnTiesAndNaN) {
  EXPECT_EQ(zzmax(2, 1), 2.0);
  EXPECT_EQ(zzmax(1, 2), 2.0);
  EXPECT_TRUE(std::signbit(zzmax(0.0, -0.0)));
  EXPECT_EQ(zzmax(kNaN, 1), 1.0);
  EXPECT_TRUE(std::isnan(zzmax(1, kNaN)));

  EXPECT_EQ(zzmin(2, 1), 1.0);
  EXPECT_EQ(zzmin(1, 2), 1.0);
  EXPECT_TRUE(std::signbit(zzmin(0.0, -0.0)));
  EXPECT_EQ(zzmin(kNaN, 1), 1.0);
  EXPECT_TRUE(std::isnan(zzmin(1, kNaN)));
}

TEST(Limiters, BoundClampsAndPrefersLowerWhenLimitsCross) {
  EXPECT_EQ(bound(0, 1, 1.5), 1.0);
  EXPECT_EQ(bound(0, 1, -1), 0.0);
  EXPECT_EQ(bound(0, 1, 0.25), 0.25);
  EXPECT_EQ(bound(0, 1, 1), 1.0);
  EXPECT_EQ(bound(0, 1, 0), 0.0);
  EXPECT_EQ(bound(1, 0, 0.5), 1.0);
  EXPECT_EQ(bound(1, 0, 7), 1.0);
}

TEST(Limiters, SoftLimiterLeaksOnePercentOfTheExcess) {
  EXPECT_DOUBLE_EQ(DiscreteFunctions::Limiter(0, 1, 1.5, true), 1.005);
  EXPECT_DOUBLE_EQ(DiscreteFunctions::Limiter(0, 1, -1, true), -0.01);
  EXPECT_EQ(DiscreteFunctions::Limiter(0, 1, 0.5, true), 0.5);
}

TEST(Limiters, DeadZone) {
  EXPECT_EQ(dead(-1, 1, 0.5), 0.0);
  EXPECT_EQ(dead(-1, 1, 1), 0.0);
  EXPECT_EQ(dead(-1, 1, 3), 2.0);
  EXPECT_EQ(dead(-1, 1, -3), -2.0);
  EXPECT_EQ(dead(-1, 1, -1), 0.0);
  // Crossed limits: everything above lower is measured from lower.
  EXPECT_EQ(dead(2, 1, 3), 1.0);
  EXPECT_EQ(dead(2, 1, 0), -2.0);
}

TEST(Limiters, Quantizer) {
  EXPECT_EQ(qntzr(0.5, 1.3), 1.5);
  EXPECT_EQ(qntzr(0.5, -1.2), -1.0);
  EXPECT_EQ(qntzr(0.5, 1.25), 1.5);  // halves away from zero
  EXPECT_EQ(qntzr(0.5, 0), 0.0);
  EXPECT_EQ(qntzr(0, 1.3), 1.3);
}

TEST(Switches, FunctionLogicalAndRealSwitches) {
  EXPECT_EQ(fcnsw(-1, 10, 20, 30), 10.0);
  EXPECT_EQ(fcnsw(0, 10, 20, 30), 20.0);
  EXPECT_EQ(fcnsw(kNaN, 10, 20, 30), 20.0);
  EXPECT_EQ(fcnsw(2, 10, 20, 30), 30.0);

  EXPECT_EQ(lsw(1, 4, 5), 4);
  EXPECT_EQ(lsw(0, 4, 5), 5);
  EXPECT_EQ(lsw(2, 4, 5), 4);  // any non-zero byte is true
  EXPECT_EQ(rsw(1, 1.5, 2.5), 1.5);
  EXPECT_EQ(rsw(0, 1.5, 2.5), 2.5);
}

TEST(Sources, StepRampAndHarmonic) {
  EXPECT_EQ(step(2, 2), 1.0);
  EXPECT_EQ(step(1.999, 2), 0.0);
  EXPECT_EQ(ramp(5, 2), 3.0);
  EXPECT_EQ(ramp(1, 2), 0.0);
  EXPECT_EQ(harm(1, 2, 3, 4), 0.0);
  EXPECT_EQ(harm(2, 1, 0.5, 0.25), std::sin(0.75));
}

TEST(Sources, PulseTrainBoundaries) {
  // Period 10, width 2, from 0: on in [0, 2), off in [2, 10), on again at 10.
  EXPECT_EQ(pulse(-0.1, 0, 10, 2), 0.0);
  EXPECT_EQ(pulse(0, 0, 10, 2), 1.0);
  EXPECT_EQ(pulse(1.999, 0, 10, 2), 1.0);
  EXPECT_EQ(pulse(2, 0, 10, 2), 0.0);
  EXPECT_EQ(pulse(9.999, 0, 10, 2), 0.0);
  EXPECT_EQ(pulse(10, 0, 10, 2), 1.0);
  EXPECT_EQ(pulse(12, 0, 10, 2), 0.0);
  // As the model's tracer uses it: on for the first 24 h of every 48 h from tstop - 24.
  EXPECT_EQ(pulse(23.5, 0, 48, 24), 1.0);
  EXPECT_EQ(pulse(24, 0, 48, 24), 0.0);
  EXPECT_EQ(pulse(48, 0, 48, 24), 1.0);
  EXPECT_EQ(pulse(130, 100, 48, 24), 0.0);
}

TEST(ArrayOperators, SetFillsTheFirstNElements) {
  int32_t longs[4] = {1, 2, 3, 4};
  seti(9, longs, 3);
  EXPECT_EQ(longs[0], 9);
  EXPECT_EQ(longs[2], 9);
  EXPECT_EQ(longs[3], 4);
  seti(0, longs, -1);
  EXPECT_EQ(longs[0], 9);

  double doubles[3] = {1, 2, 3};
  setr(0.5, doubles, 2);
  EXPECT_EQ(doubles[1], 0.5);
  EXPECT_EQ(doubles[2], 3.0);
  setr(7, doubles, 0);
  EXPECT_EQ(doubles[0], 0.5);
}

TEST(ArrayOperators, TransfersCopyNElementsEvenWhenOverlapping) {
  double doubles[5] = {1, 2, 3, 4, 5};
  xferbr(doubles + 1, doubles, 3);
  EXPECT_EQ(doubles[1], 1.0);
  EXPECT_EQ(doubles[3], 3.0);
  EXPECT_EQ(doubles[4], 5.0);
  xferbr(doubles, doubles + 1, 0);
  EXPECT_EQ(doubles[0], 1.0);

  int32_t longs[4] = {1, 2, 3, 4};
  const int32_t source[2] = {7, 8};
  xferbi(longs + 2, source, 2);
  EXPECT_EQ(longs[2], 7);
  EXPECT_EQ(longs[3], 8);
  xferbi(longs, source, -5);
  EXPECT_EQ(longs[0], 1);

  double value = 0;
  zzicst(&value, 2.5);
  EXPECT_EQ(value, 2.5);

  char text[8] = "abcdef";
  zzstrcpy(text, text + 2);
  EXPECT_STREQ(text, "cdef");
}

TEST(DoNothingOperators, AcceptAnyArguments) {
  logd(1, 2.0, "three");
  debug();
  zzhold(nullptr);
  SUCCEED();
}

}  // namespace
}  // namespace tarn
