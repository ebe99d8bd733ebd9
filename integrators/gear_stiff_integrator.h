// GearStiffIntegrator: the backward-differentiation family of the multi-value integrator.
#ifndef TARN_INTEGRATORS_GEAR_STIFF_INTEGRATOR_H
#define TARN_INTEGRATORS_GEAR_STIFF_INTEGRATOR_H

#include "integrators/multi_value_method_integrator.h"

namespace tarn {

// Backward-differentiation (Gear) formulas of orders 1 to 6 in Nordsieck form with a Newton
// corrector on the factored iteration matrix I - |l0|·h·J, for stiff models. The Jacobian is
// evaluated at restarts and after corrector convergence failures; the matrix is factored at every
// attempt except the first attempt of a step of unchanged size, which reuses the factors.
class GearStiffIntegrator final : public MultiValueMethodIntegrator {
 public:
  GearStiffIntegrator();
  ~GearStiffIntegrator() override = default;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_GEAR_STIFF_INTEGRATOR_H
