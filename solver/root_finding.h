// RootFinding: one iteration of Brent's zero finder at a time, for a caller that reaches every
// trial point by integrating the model there and so cannot keep the finder running between calls.
#ifndef TARN_SOLVER_ROOT_FINDING_H
#define TARN_SOLVER_ROOT_FINDING_H

namespace tarn {

class RootFinding final {
 public:
  RootFinding() = delete;

  // One iteration of Brent's method in the zeroin formulation (G. E. Forsythe, M. A. Malcolm and
  // C. B. Moler, "Computer Methods for Mathematical Computations", Prentice-Hall 1977), on the
  // three (time, value) points (a, fa), (b, fb), (c, fc); b is the latest point and, on return,
  // the next trial time. It keeps no memory between calls, so the caller rebuilds the points from
  // the values it recorded. Differences from zeroin: converged means the bracket |b - c| is
  // narrower than timeTol, and b then becomes its later end; interpolation is accepted only for
  // a move below stepTol / 2; no move is shorter than timeTol / 2.
  // Returns false when neither (b, c) nor (b, a) brackets a sign change. Otherwise true, with
  // `converged` set when b is the located root (a value exactly zero, or a narrow bracket).
  static bool Brent(double& a, double& fa, double& b, double& fb, double& c, double& fc,
                    double stepTol, double timeTol, bool& converged);
};

}  // namespace tarn

#endif  // TARN_SOLVER_ROOT_FINDING_H
