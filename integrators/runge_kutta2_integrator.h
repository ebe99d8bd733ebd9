// RungeKutta2Integrator: Ralston's two-stage second-order Runge-Kutta method, fixed step.
#ifndef TARN_INTEGRATORS_RUNGE_KUTTA2_INTEGRATOR_H
#define TARN_INTEGRATORS_RUNGE_KUTTA2_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// Ralston's second-order method (A. Ralston, Math. Comp. 16, 1962), the two-stage method of least
// truncation-error bound: k2 at t0 + 2h/3, y1 = y0 + (h/4)·(k1 + 3·k2).
// Work vectors: stageValues[1] holds y0, stageValues[2] holds k1.
class RungeKutta2Integrator final : public Integrator {
 public:
  RungeKutta2Integrator();
  ~RungeKutta2Integrator() override = default;

  void Step() override;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_RUNGE_KUTTA2_INTEGRATOR_H
