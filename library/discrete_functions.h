// Switch, limiter and rounding rules of the model language, shared by the C-linkage operators.
#ifndef TARN_LIBRARY_DISCRETE_FUNCTIONS_H
#define TARN_LIBRARY_DISCRETE_FUNCTIONS_H

#include <cstdint>

#include "tarn/tarn_types.h"

namespace tarn {

// x truncated toward zero into the 32-bit range: values beyond it saturate at INT32_MIN or
// INT32_MAX and NaN gives 0, where a plain conversion would be undefined.
int32_t TruncateToInt32(double x);

class DiscreteFunctions {
 public:
  DiscreteFunctions() = delete;

  // i if l, else j.
  static int32_t LogicalSwitch(TarnLogical l, int32_t i, int32_t j);
  // a if l, else b.
  static double RealSwitch(TarnLogical l, double a, double b);
  // a if p < 0, c if p > 0, b otherwise (p = 0 or NaN).
  static double FunctionSwitch(double p, double a, double b, double c);
  // x - lower at or below lower, 0 in (lower, upper], x - upper above upper; when upper <= lower
  // every x above lower counts as beyond lower.
  static double DeadSpace(double lower, double upper, double x);
  // g = x in (lower, upper], upper above it when upper > lower, lower otherwise; the result is g,
  // or g + 0.01 * (x - g) when soft.
  static double Limiter(double lower, double upper, double x, bool soft);
  // Remainder of the 32-bit division a / b with the sign of a. The division a / 0 has no
  // remainder and gives a; a / -1 gives 0 (also for INT32_MIN, whose quotient would overflow).
  static int32_t Modulus(int32_t a, int32_t b);
  // 1, -1 or 0 by the sign of x; 0 for NaN.
  static int32_t Sgn(double x);
  // x when q = 0; otherwise q * k * sgn(x) with k = trunc(|x / q| + 0.5).
  static double Quantizer(double q, double x);
  // |a| if b > 0, -|a| if b < 0, 0 if b = 0 or NaN.
  static double Sign(double a, double b);
};

}  // namespace tarn

#endif  // TARN_LIBRARY_DISCRETE_FUNCTIONS_H
