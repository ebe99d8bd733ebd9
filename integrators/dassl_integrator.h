// DasslIntegrator: the placeholder that holds the algorithm code of a differential-algebraic
// (DASSL-type) solver.
#ifndef TARN_INTEGRATORS_DASSL_INTEGRATOR_H
#define TARN_INTEGRATORS_DASSL_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// Reserves algorithm code AlgDassl for a differential-algebraic (DASSL-type) solver. The method is
// not provided: Step neither evaluates the model nor moves the states or the independent variable,
// and the solver reports the code as unsupported.
class DasslIntegrator final : public Integrator {
 public:
  DasslIntegrator() { algorithm = IntegrationAlgorithm::AlgDassl; }
  ~DasslIntegrator() override = default;

  void Step() override {}
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_DASSL_INTEGRATOR_H
