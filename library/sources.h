// Time-dependent sources of the model language: step, ramp, pulse train and harmonic.
#ifndef TARN_LIBRARY_SOURCES_H
#define TARN_LIBRARY_SOURCES_H

namespace tarn {

// t is the independent variable and tz the time each source switches on.
class Sources {
 public:
  Sources() = delete;

  // 1 if t >= tz, else 0.
  static double Step(double t, double tz);
  // t - tz if t >= tz, else 0.
  static double Ramp(double t, double tz);
  // 0 before tz; then, with r the time since the start of the current period p, 1 while r < w
  // and 0 for the rest of the period.
  static double Pulse(double t, double tz, double p, double w);
  // sin(w * (t - tz) + p) if t >= tz, else 0.
  static double Harmonic(double t, double tz, double w, double p);
};

}  // namespace tarn

#endif  // TARN_LIBRARY_SOURCES_H
