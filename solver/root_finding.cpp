// One iteration of Brent's zero finder.
#include "solver/root_finding.h"

#include <algorithm>
#include <cmath>

namespace tarn {
namespace {

// Interpolation is rejected when it would move b by more than this fraction of the way to c
// (zeroin's 3/4 test on the half-bracket, written on the whole bracket m = c - b).
constexpr double kInterpolationReach = 0.75;

}  // namespace

bool RootFinding::Brent(double& a, double& fa, double& b, double& fb, double& c, double& fc,
                        double stepTol, double timeTol, bool& converged) {
  // A value exactly zero is the root.
  if (fb == 0) {
    a = b;
    fa = fb;
    converged = true;
    return true;
  }
  if (fa == 0) {
    b = a;
    fb = fa;
    converged = true;
    return true;
  }
  if (fc == 0) {
    b = c;
    fb = fc;
    converged = true;
    return true;
  }
  // The bracket is (b, c), or else (b, a).
  if (fb * fc > 0) {
    c = a;
    fc = fa;
    if (fb * fc > 0) {
      converged = false;
      return false;
    }
  }
  converged = std::fabs(b - c) < timeTol;
  if (converged) {
    // The later end lies past the crossing.
    b = std::max(b, c);
    return true;
  }
  // b becomes the end with the smaller value.
  if (std::fabs(fb) > std::fabs(fc)) {
    a = b;
    b = c;
    c = a;
    fa = fb;
    fb = fc;
    fc = fa;
  }
  const double m = c - b;
  double d = m / 2;
  if (std::fabs(fa) > std::fabs(fb)) {
    const double s = fb / fa;
    double p = 0;
    double q = 0;
    if (a == c) {
      // Secant.
      p = m * s;
      q = 1 - s;
    } else {
      // Inverse quadratic interpolation.
      const double u = fa / fc;
      const double v = fb / fc;
      p = s * (m * u * (u - v) - (b - a) * (v - 1));
      q = (u - 1) * (v - 1) * (s - 1);
    }
    if (p >= 0) q = -q;
    p = std::fabs(p);
    if (p < kInterpolationReach * m * q && p < std::fabs(0.5 * stepTol * q)) d = p / q;
  }
  a = b;
  fa = fb;
  if (std::fabs(d) > timeTol / 2) {
    b = b + d;
  } else {
    b = c - b > 0 ? b + timeTol / 2 : b - timeTol / 2;
  }
  return true;
}

}  // namespace tarn
