// The shared random-number generator and its operators zzurv, zzgrv, zzgausi and zzunifi.
#include "library/random_number.h"

#include <cmath>

#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

constexpr int32_t kMultiplier = 16807;
constexpr int32_t kModulus = 2147483647;
// Schrage's decomposition of the modulus: kModulus = kMultiplier * kQuotient + kRemainder.
constexpr int32_t kQuotient = kModulus / kMultiplier;
constexpr int32_t kRemainder = kModulus % kMultiplier;
// Uniform and Gaussian divide by the modulus rounded to single precision.
constexpr double kFractionDivisor = static_cast<float>(kModulus);
constexpr int kGaussianTerms = 12;
constexpr int32_t kDefaultState = 123456;

static_assert(kQuotient == 127773 && kRemainder == 2836);
static_assert(kFractionDivisor == 2147483648.0);

}  // namespace

int32_t RandomNumber::state_ = kDefaultState;

void RandomNumber::Seed(int32_t seed) { state_ = seed; }

int32_t RandomNumber::Advance() {
  return kMultiplier * (state_ % kQuotient) - kRemainder * (state_ / kQuotient);
}

double RandomNumber::NextFraction() {
  state_ = Advance();
  if (state_ <= 0) state_ += kModulus;
  return state_ / kFractionDivisor;
}

double RandomNumber::MinStd() {
  state_ = Advance();
  if (state_ < 0) state_ += kModulus;
  return static_cast<double>(state_) / kModulus;
}

double RandomNumber::Exponential() { return -std::log(MinStd()); }

double RandomNumber::Uniform(double a, double b) {
  // Dividing by a power of two is exact, so this equals a + (b - a) * state / 2^31.
  return a + (b - a) * NextFraction();
}

double RandomNumber::Gaussian(double mean, double deviation) {
  double sum = 0;
  for (int term = 0; term < kGaussianTerms; ++term) sum += NextFraction();
  return mean + deviation * (sum - 6);
}

}  // namespace tarn

extern "C" {

double zzurv(double a, double b) { return tarn::RandomNumber::Uniform(a, b); }

double zzgrv(double mean, double deviation) {
  return tarn::RandomNumber::Gaussian(mean, deviation);
}

void zzgausi(int32_t seed) { tarn::RandomNumber::Seed(seed); }

void zzunifi(int32_t seed) { tarn::RandomNumber::Seed(seed); }

}  // extern "C"
