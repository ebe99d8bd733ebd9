// UserDefinedIntegrator: the placeholder that holds the algorithm code of a user-supplied method.
#ifndef TARN_INTEGRATORS_USER_DEFINED_INTEGRATOR_H
#define TARN_INTEGRATORS_USER_DEFINED_INTEGRATOR_H

#include "integrators/integrator.h"

namespace tarn {

// Reserves algorithm code AlgUserDefined for a user-supplied method. The method is not provided:
// Step neither evaluates the model nor moves the states or the independent variable, and the solver
// reports the code as unsupported.
class UserDefinedIntegrator final : public Integrator {
 public:
  UserDefinedIntegrator() { algorithm = IntegrationAlgorithm::AlgUserDefined; }
  ~UserDefinedIntegrator() override = default;

  void Step() override {}
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_USER_DEFINED_INTEGRATOR_H
