// AdamsMoultonIntegrator: the Adams family of the multi-value integrator.
#ifndef TARN_INTEGRATORS_ADAMS_MOULTON_INTEGRATOR_H
#define TARN_INTEGRATORS_ADAMS_MOULTON_INTEGRATOR_H

#include "integrators/multi_value_method_integrator.h"

namespace tarn {

// Adams-Moulton formulas of orders 1 to 7 in Nordsieck form with a fixed-point corrector, for
// non-stiff models. Never factors a matrix.
class AdamsMoultonIntegrator final : public MultiValueMethodIntegrator {
 public:
  AdamsMoultonIntegrator();
  ~AdamsMoultonIntegrator() override = default;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_ADAMS_MOULTON_INTEGRATOR_H
