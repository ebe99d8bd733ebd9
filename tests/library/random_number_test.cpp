// The shared random-number generator, against an independent 64-bit computation of the
// Park-Miller sequence and its published check value, and the noise source built on it.
#include "library/random_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "library/noise.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

constexpr int64_t kModulus = 2147483647;
constexpr double kTwoTo31 = 2147483648.0;

// The next state computed directly in 64 bits rather than by Schrage's decomposition.
int64_t Reference(int64_t state) { return ((16807 * state) % kModulus + kModulus) % kModulus; }

TEST(RandomNumber, MinStdReferenceSequences) {
  RandomNumber::Seed(123456);  // the state before any seeding
  EXPECT_EQ(RandomNumber::MinStd(), 2074924992.0 / 2147483647.0);

  // Park and Miller's check value: seed 1 reaches 1043618065 after 10000 steps.
  RandomNumber::Seed(1);
  double draw = 0;
  for (int i = 0; i < 10000; ++i) draw = RandomNumber::MinStd();
  EXPECT_EQ(draw, 1043618065.0 / 2147483647.0);

  for (int32_t seed : {127773, 2147483646, -5, -2147483647}) {
    RandomNumber::Seed(seed);
    int64_t expected = seed;
    for (int i = 0; i < 20; ++i) {
      expected = Reference(expected);
      ASSERT_EQ(RandomNumber::MinStd(), static_cast<double>(expected) / kModulus) << seed;
    }
  }
}

TEST(RandomNumber, UniformAndGaussianDivideByTwoToThe31) {
  zzunifi(1);
  EXPECT_EQ(zzurv(0, 1), 16807 / kTwoTo31);
  EXPECT_EQ(zzurv(2, 4), 2 + 2 * (282475249 / kTwoTo31));

  zzgausi(1);
  double sum = 0;
  int64_t state = 1;
  for (int i = 0; i < 12; ++i) sum += (state = Reference(state)) / kTwoTo31;
  EXPECT_EQ(zzgrv(10, 2), 10 + 2 * (sum - 6));
}

TEST(RandomNumber, DegenerateStatesNeitherReturnZeroNorHang) {
  // A zero step result becomes the modulus itself in Uniform ...
  RandomNumber::Seed(0);
  EXPECT_EQ(RandomNumber::Uniform(0, 1), 2147483647 / kTwoTo31);
  // ... and the stuck state gives an infinite exponential draw instead of an endless redraw.
  RandomNumber::Seed(0);
  EXPECT_EQ(RandomNumber::Exponential(), std::numeric_limits<double>::infinity());
  RandomNumber::Seed(1);
  EXPECT_EQ(RandomNumber::Exponential(), -std::log(16807.0 / 2147483647.0));
}

TEST(OrnsteinUhlenbeckNoise, DecaysWithoutDeviationAndDrawsOncePerStepStart) {
  double noise = 1, output = 0, lastTime = 0;
  OrnsteinUhlenbeckNoise({0, 5, true, true}, 2, 10, 0, &noise, &output, &lastTime);
  EXPECT_EQ(lastTime, 5.0);
  EXPECT_EQ(output, 11.0);  // initialisation keeps the noise value
  OrnsteinUhlenbeckNoise({0, 6, false, true}, 2, 10, 0, &noise, &output, &lastTime);
  OrnsteinUhlenbeckNoise({0, 8, false, true}, 2, 10, 0, &noise, &output, &lastTime);
  EXPECT_DOUBLE_EQ(output, 10 + std::exp(-1.5));

  RandomNumber::Seed(7);
  const double g = RandomNumber::Gaussian(0, 2);
  const double next = RandomNumber::Uniform(0, 1);
  RandomNumber::Seed(7);
  noise = 0.5;
  OrnsteinUhlenbeckNoise({0, 12, false, true}, 16, 0, 2, &noise, &output, &lastTime);
  EXPECT_DOUBLE_EQ(noise, std::exp(-0.25) * 0.5 + std::sqrt(1 - std::exp(-0.5)) * g);
  // Neither a repeated time nor an intermediate stage draws again.
  OrnsteinUhlenbeckNoise({0, 12, false, true}, 16, 0, 2, &noise, &output, &lastTime);
  OrnsteinUhlenbeckNoise({0, 13, false, false}, 16, 0, 2, &noise, &output, &lastTime);
  EXPECT_EQ(RandomNumber::Uniform(0, 1), next);
}

}  // namespace
}  // namespace tarn
