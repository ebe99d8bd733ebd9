// RungeKutta4Integrator: the classical fourth-order Runge-Kutta method, fixed step.
#ifndef TARN_INTEGRATORS_RUNGE_KUTTA4_INTEGRATOR_H
#define TARN_INTEGRATORS_RUNGE_KUTTA4_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// The classical fourth-order Runge-Kutta method (W. Kutta, Z. Math. Phys. 46, 1901): stages at
// t0, t0 + h/2, t0 + h/2, t0 + h, y1 = y0 + (h/6)·(k1 + 2·k2 + 2·k3 + k4).
// Work vectors: stageValues[1] holds y0, stageValues[2] the running weighted sum of the stages.
class RungeKutta4Integrator final : public Integrator {
 public:
  RungeKutta4Integrator();
  ~RungeKutta4Integrator() override = default;

  void Step() override;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_RUNGE_KUTTA4_INTEGRATOR_H
