// RungeKuttaFehlberg5Integrator: Fehlberg's 4(5) pair with automatic step-size control.
#ifndef TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG5_INTEGRATOR_H
#define TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG5_INTEGRATOR_H

#include "integrators/runge_kutta_fehlberg_integrator.h"

namespace tarn {

// Six-stage embedded Runge-Kutta pair of orders 4 and 5 (E. Fehlberg, NASA TR R-315, 1969),
// advancing with the fifth-order solution.
class RungeKuttaFehlberg5Integrator final : public RungeKuttaFehlbergIntegrator {
 public:
  RungeKuttaFehlberg5Integrator();
  ~RungeKuttaFehlberg5Integrator() override = default;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_RUNGE_KUTTA_FEHLBERG5_INTEGRATOR_H
