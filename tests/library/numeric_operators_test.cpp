// Pure operators of the model language by reference values: rounding, signs and roots, limiters,
// switches, sources and array operators.
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

TEST(Rounding, WholeNumbersAndInt32Results) {
  EXPECT_EQ(aint(-2.7), -2.0);
  EXPECT_EQ(zzint(-2.9), -2);
  EXPECT_EQ(nint(2.5), 3);
  EXPECT_EQ(nint(-2.5), -3);
  EXPECT_EQ(anint(2.5), 3.0);
  EXPECT_EQ(anint(-0.5), 0.0);   // trunc(-0.5 + 0.5)
  EXPECT_EQ(anint(-2.7), -3.0);  // the nearest whole number, not trunc(-2.2)
  EXPECT_EQ(anint(-2.5), -3.0);  // halves away from zero, as nint
  // Beyond the 32-bit range the integer results saturate; NaN gives 0.
  EXPECT_EQ(nint(1e10), kInt32Max);
  EXPECT_EQ(zzint(-2147483648.9), kInt32Min);
  EXPECT_EQ(nint(kNaN), 0);
  EXPECT_EQ(real(0.1), 0.100000001490116119384765625);
  EXPECT_EQ(dble(0.1f), 0.100000001490116119384765625);
}

TEST(Arithmetic, DifferenceModulusSignsAndRoots) {
  EXPECT_EQ(dim(5, 3), 2.0);
  EXPECT_EQ(dim(3, 5), 0.0);
  EXPECT_EQ(mod(-7, 3), -1.0);
  EXPECT_EQ(mod(7.5, -2), 1.5);
  EXPECT_EQ(DiscreteFunctions::Modulus(-7, 3), -1);
  EXPECT_EQ(DiscreteFunctions::Modulus(5, 0), 5);           // no trap on a zero divisor
  EXPECT_EQ(DiscreteFunctions::Modulus(kInt32Min, -1), 0);  // nor on the overflowing quotient

  EXPECT_EQ(sgn(-0.1), -1.0);
  EXPECT_EQ(sgn(kNaN), 0.0);
  EXPECT_EQ(sign(-3, 0), 0.0);
  EXPECT_EQ(sign(-3, 2), 3.0);
  EXPECT_EQ(sign(3, -1), -3.0);
  EXPECT_EQ(ssqrt(-4), -2.0);
  EXPECT_EQ(zzfsqrt(0.01, 1), 0.01);  // x / sqrt(e) inside the threshold
  EXPECT_EQ(zzfsqrt(-4, 4), -2.0);    // signed root from the threshold on

  // Ties and NaN give the second argument.
  EXPECT_TRUE(std::signbit(zzmax(0.0, -0.0)));
  EXPECT_TRUE(std::signbit(zzmin(0.0, -0.0)));
  EXPECT_EQ(zzmax(kNaN, 1), 1.0);
  EXPECT_TRUE(std::isnan(zzmin(1, kNaN)));
  EXPECT_EQ(zzmin(1, 2), 1.0);
}

TEST(Limiters, BoundDeadZoneAndQuantizer) {
  EXPECT_EQ(bound(0, 1, 1.5), 1.0);
  EXPECT_EQ(bound(0, 1, -1), 0.0);
  EXPECT_EQ(bound(0, 1, 0.25), 0.25);
  EXPECT_EQ(bound(1, 0, 0.5), 1.0);  // crossed limits give lower
  EXPECT_DOUBLE_EQ(DiscreteFunctions::Limiter(0, 1, 1.5, true), 1.005);

  EXPECT_EQ(dead(-1, 1, 0.5), 0.0);
  EXPECT_EQ(dead(-1, 1, 3), 2.0);
  EXPECT_EQ(dead(-1, 1, -3), -2.0);
  EXPECT_EQ(dead(2, 1, 3), 1.0);  // crossed limits: measured from lower

  EXPECT_EQ(qntzr(0.5, 1.3), 1.5);
  EXPECT_EQ(qntzr(0.5, -1.2), -1.0);
  EXPECT_EQ(qntzr(0.5, 1.25), 1.5);
  EXPECT_EQ(qntzr(0, 1.3), 1.3);
}

TEST(Switches, FunctionLogicalAndRealSwitches) {
  EXPECT_EQ(fcnsw(-1, 10, 20, 30), 10.0);
  EXPECT_EQ(fcnsw(kNaN, 10, 20, 30), 20.0);
  EXPECT_EQ(fcnsw(2, 10, 20, 30), 30.0);
  EXPECT_EQ(lsw(2, 4, 5), 4);  // any non-zero byte is true
  EXPECT_EQ(lsw(0, 4, 5), 5);
  EXPECT_EQ(rsw(0, 1.5, 2.5), 2.5);
}

TEST(Sources, StepRampHarmonicAndPulseBoundaries) {
  EXPECT_EQ(step(2, 2), 1.0);
  EXPECT_EQ(ramp(5, 2), 3.0);
  EXPECT_EQ(harm(1, 2, 3, 4), 0.0);
  EXPECT_EQ(harm(2, 1, 0.5, 0.25), std::sin(0.75));
  // Period 10, width 2 from 0: on in [0, 2), off in [2, 10), on again at 10.
  const double times[] = {-0.1, 0, 1.999, 2, 9.999, 10, 12};
  const double expected[] = {0, 1, 1, 0, 0, 1, 0};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(pulse(times[i], 0, 10, 2), expected[i]) << times[i];
  EXPECT_EQ(pulse(130, 100, 48, 24), 0.0);
}

TEST(ArrayOperators, FillAndTransferNElements) {
  double doubles[5] = {1, 2, 3, 4, 5};
  setr(0.5, doubles, 2);
  setr(7, doubles, -1);
  EXPECT_EQ(doubles[1], 0.5);
  EXPECT_EQ(doubles[2], 3.0);
  xferbr(doubles + 1, doubles, 3);  // overlapping
  EXPECT_EQ(doubles[3], 3.0);       // a forward element copy would have smeared 0.5
  EXPECT_EQ(doubles[4], 5.0);

  int32_t longs[3] = {1, 2, 3};
  seti(9, longs, 2);
  EXPECT_EQ(longs[1], 9);
  EXPECT_EQ(longs[2], 3);
  xferbi(longs + 1, longs, 2);
  EXPECT_EQ(longs[2], 9);

  char text[8] = "abcdef";
  zzstrcpy(text, text + 2);
  EXPECT_STREQ(text, "cdef");
}

}  // namespace
}  // namespace tarn
