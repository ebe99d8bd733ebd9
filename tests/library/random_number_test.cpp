// The shared random-number generator and the noise source, against an independent 64-bit
// computation of the Park-Miller sequence and its published check value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "library/noise.h"
#include "library/random_number.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

constexpr int64_t kModulus = 2147483647;
constexpr double kTwoTo31 = 2147483648.0;

// The next state, computed directly in 64 bits rather than by Schrage's decomposition.
int64_t Reference(int64_t state) { return ((16807 * state) % kModulus + kModulus) % kModulus; }

TEST(RandomNumber, FirstDrawFromTheDefaultSeed) {
  RandomNumber::Seed(123456);
  EXPECT_EQ(RandomNumber::MinStd(), 2074924992.0 / 2147483647.0);
}

TEST(RandomNumber, TenThousandthStateFromSeedOne) {
  // Park and Miller's check value: seed 1 reaches 1043618065 after 10000 steps.
  RandomNumber::Seed(1);
  double draw = 0;
  for (int i = 0; i < 10000; ++i) draw = RandomNumber::MinStd();
  EXPECT_EQ(draw, 1043618065.0 / 2147483647.0);
}

TEST(RandomNumber, StepsMatchDirectArithmeticForAnySeed) {
  for (int32_t seed : {1, 2, 127773, 127774, 2147483646, -1, -5, -2147483647}) {
    RandomNumber::Seed(seed);
    int64_t expected = seed;
    for (int i = 0; i < 50; ++i) {
      expected = Reference(expected);
      ASSERT_EQ(RandomNumber::MinStd(), static_cast<double>(expected) / kModulus)
          << "seed " << seed << " step " << i;
    }
  }
}

TEST(RandomNumber, UniformScalesTheStateByTwoToThe31) {
  zzunifi(1);
  EXPECT_EQ(zzurv(0, 1), 16807 / kTwoTo31);
  EXPECT_EQ(zzurv(2, 4), 2 + 2 * (282475249 / kTwoTo31));
}

TEST(RandomNumber, UniformNeverReturnsItsLowerEnd) {
  // A zero step result becomes the modulus itself.
  RandomNumber::Seed(0);
  EXPECT_EQ(RandomNumber::Uniform(0, 1), 2147483647 / kTwoTo31);
  EXPECT_EQ(RandomNumber::Uniform(0, 1), 2147483647 / kTwoTo31);
}

TEST(RandomNumber, GaussianSumsTwelveUniforms) {
  zzgausi(1);
  double sum = 0;
  int64_t state = 1;
  for (int i = 0; i < 12; ++i) {
    state = Reference(state);
    sum += state / kTwoTo31;
  }
  EXPECT_DOUBLE_EQ(zzgrv(10, 2), 10 + 2 * (sum - 6));
}

TEST(RandomNumber, GaussianMomentsOverManyDraws) {
  RandomNumber::Seed(42);
  constexpr int kDraws = 20000;
  double sum = 0;
  double sumSquares = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double g = RandomNumber::Gaussian(1, 3);
    sum += g;
    sumSquares += g * g;
  }
  const double mean = sum / kDraws;
  EXPECT_NEAR(mean, 1, 0.1);
  EXPECT_NEAR(std::sqrt(sumSquares / kDraws - mean * mean), 3, 0.1);
}

TEST(RandomNumber, ExponentialFromAStuckStateIsInfiniteNotAHang) {
  RandomNumber::Seed(1);
  EXPECT_EQ(RandomNumber::Exponential(), -std::log(16807.0 / 2147483647.0));
  RandomNumber::Seed(0);
  EXPECT_EQ(RandomNumber::Exponential(), std::numeric_limits<double>::infinity());
}

// ---- Ornstein-Uhlenbeck noise -----------------------------------------------------------------

struct NoiseMemory {
  double noise = 0;
  double output = 0;
  double lastTime = 0;
};

EvaluationState StepStart(double t) { return {0, t, false, true}; }

TEST(OrnsteinUhlenbeckNoise, WithoutDeviationDecaysExponentially) {
  NoiseMemory m{1.0, 0, 0};
  OrnsteinUhlenbeckNoise({0, 5, true, true}, 2, 10, 0, &m.noise, &m.output, &m.lastTime);
  EXPECT_EQ(m.lastTime, 5.0);
  EXPECT_EQ(m.noise, 1.0);  // initialisation does not reset the noise
  EXPECT_EQ(m.output, 11.0);

  OrnsteinUhlenbeckNoise(StepStart(6), 2, 10, 0, &m.noise, &m.output, &m.lastTime);
  EXPECT_DOUBLE_EQ(m.noise, std::exp(-0.5));
  OrnsteinUhlenbeckNoise(StepStart(8), 2, 10, 0, &m.noise, &m.output, &m.lastTime);
  EXPECT_DOUBLE_EQ(m.noise, std::exp(-1.5));
  EXPECT_DOUBLE_EQ(m.output, 10 + std::exp(-1.5));
  EXPECT_EQ(m.lastTime, 8.0);
}

TEST(OrnsteinUhlenbeckNoise, DrawsOncePerStepStartThatAdvancesTime) {
  NoiseMemory m{0.5, 0, 0};
  RandomNumber::Seed(7);
  const double g = RandomNumber::Gaussian(0, 2);
  const double after = RandomNumber::Uniform(0, 1);

  RandomNumber::Seed(7);
  OrnsteinUhlenbeckNoise(StepStart(1), 4, 0, 2, &m.noise, &m.output, &m.lastTime);
  EXPECT_DOUBLE_EQ(m.noise, std::exp(-0.25) * 0.5 + std::sqrt(1 - std::exp(-0.5)) * g);
  const double noise = m.noise;

  // Neither a repeated time nor an intermediate stage draws.
  OrnsteinUhlenbeckNoise(StepStart(1), 4, 0, 2, &m.noise, &m.output, &m.lastTime);
  OrnsteinUhlenbeckNoise({0, 1.5, false, false}, 4, 0, 2, &m.noise, &m.output, &m.lastTime);
  EXPECT_EQ(m.noise, noise);
  EXPECT_EQ(m.output, noise);
  EXPECT_EQ(RandomNumber::Uniform(0, 1), after);
}

}  // namespace
}  // namespace tarn
