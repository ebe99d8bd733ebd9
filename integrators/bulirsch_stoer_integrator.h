// BulirschStoerIntegrator: the placeholder that holds the algorithm code of Bulirsch-Stoer
// extrapolation.
#ifndef TARN_INTEGRATORS_BULIRSCH_STOER_INTEGRATOR_H
#define TARN_INTEGRATORS_BULIRSCH_STOER_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// Reserves algorithm code AlgBulirschStoer for Bulirsch-Stoer extrapolation. The method is not
// provided: Step neither evaluates the model nor moves the states or the independent variable, and
// the solver reports the code as unsupported.
class BulirschStoerIntegrator final : public Integrator {
 public:
  BulirschStoerIntegrator() { algorithm = IntegrationAlgorithm::AlgBulirschStoer; }
  ~BulirschStoerIntegrator() override = default;

  void Step() override {}
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_BULIRSCH_STOER_INTEGRATOR_H
