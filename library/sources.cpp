// Time-dependent sources of the model language.
#include "library/sources.h"

#include <cmath>

#include "library/discrete_functions.h"

namespace tarn {

double Sources::Step(double t, double tz) { return t >= tz ? 1 : 0; }

double Sources::Ramp(double t, double tz) { return t >= tz ? t - tz : 0; }

double Sources::Pulse(double t, double tz, double p, double w) {
  if (t < tz) return 0;
  // Whole periods are counted in 32-bit integers, as the model language defines them.
  const int32_t periods = TruncateToInt32((t - tz) / p);
  const double intoPeriod = (t - tz) - p * periods;
  return w > intoPeriod ? 1 : 0;
}

double Sources::Harmonic(double t, double tz, double w, double p) {
  return t >= tz ? std::sin(w * (t - tz) + p) : 0;
}

}  // namespace tarn
