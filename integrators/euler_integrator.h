// EulerIntegrator: the explicit Euler method with the step size the solver gives it.
#ifndef TARN_INTEGRATORS_EULER_INTEGRATOR_H
#define TARN_INTEGRATORS_EULER_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// Explicit Euler (Euler, Institutiones calculi integralis, 1768): y1 = y0 + h·f(t0, y0). First
// order, no error estimate. Unlike the other fixed-step methods it leaves the derivatives
// evaluated at the end point of the step.
class EulerIntegrator final : public Integrator {
 public:
  EulerIntegrator();
  ~EulerIntegrator() override = default;

  void Step() override;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_EULER_INTEGRATOR_H
