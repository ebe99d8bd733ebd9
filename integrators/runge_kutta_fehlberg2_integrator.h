// RungeKuttaFehlberg2Integrator: Fehlberg's 1(2) pair with automatic step-size control.
#ifndef TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG2_INTEGRATOR_H
#define TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG2_INTEGRATOR_H

#include "integrators/runge_kutta_fehlberg_integrator.h"

namespace tarn {

// Three-stage embedded Runge-Kutta pair of orders 1 and 2 (E. Fehlberg, NASA TR R-315, 1969),
// advancing with the second-order solution.
class RungeKuttaFehlberg2Integrator final : public RungeKuttaFehlbergIntegrator {
 public:
  RungeKuttaFehlberg2Integrator();
  ~RungeKuttaFehlberg2Integrator() override = default;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG2_INTEGRATOR_H
