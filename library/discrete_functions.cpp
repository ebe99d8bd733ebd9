// Switch, limiter and rounding rules of the model language.
#include "library/discrete_functions.h"

#include <cmath>
#include <limits>

namespace tarn {

int32_t TruncateToInt32(double x) {
  if (std::isnan(x)) return 0;
  // Both limits are exact doubles; anything at or beyond them truncates outside the range.
  constexpr double kLowest = std::numeric_limits<int32_t>::min();
  constexpr double kHighest = std::numeric_limits<int32_t>::max();
  if (x <= kLowest) return std::numeric_limits<int32_t>::min();
  if (x >= kHighest) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(x);
}

int32_t DiscreteFunctions::LogicalSwitch(TarnLogical l, int32_t i, int32_t j) { return l ? i : j; }

double DiscreteFunctions::RealSwitch(TarnLogical l, double a, double b) { return l ? a : b; }

double DiscreteFunctions::FunctionSwitch(double p, double a, double b, double c) {
  if (p < 0) return a;
  if (p > 0) return c;
  return b;
}

double DiscreteFunctions::DeadSpace(double lower, double upper, double x) {
  if (x <= lower) return x - lower;
  if (x <= upper) return 0;
  if (upper > lower) return x - upper;
  return x - lower;
}

double DiscreteFunctions::Limiter(double lower, double upper, double x, bool soft) {
  double limited = lower;
  if (lower < x && x <= upper) {
    limited = x;
  } else if (x > upper && upper > lower) {
    limited = upper;
  }
  return soft ? limited + 0.01 * (x - limited) : limited;
}

int32_t DiscreteFunctions::Modulus(int32_t a, int32_t b) {
  if (b == 0) return a;
  if (b == -1) return 0;
  return a % b;
}

int32_t DiscreteFunctions::Sgn(double x) {
  if (x > 0) return 1;
  if (x < 0) return -1;
  return 0;
}

double DiscreteFunctions::Quantizer(double q, double x) {
  if (q == 0) return x;
  // k is never negative: its argument is at least 0.5 (or NaN, which gives 0).
  const int32_t k = TruncateToInt32(std::fabs(x / q) + 0.5);
  return q * k * Sgn(x);
}

double DiscreteFunctions::Sign(double a, double b) {
  if (b > 0) return std::fabs(a);
  if (b < 0) return -std::fabs(a);
  return 0;
}

}  // namespace tarn
