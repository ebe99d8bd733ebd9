// AdamsBashforth2Integrator: the two-step Adams-Bashforth method with an Euler start.
#ifndef TARN_INTEGRATORS_ADAMS_BASHFORTH2_INTEGRATOR_H
#define TARN_INTEGRATORS_ADAMS_BASHFORTH2_INTEGRATOR_H

#include <vector>

#include "integrators/integrator.h"

namespace tarn {

// Second-order Adams-Bashforth (F. Bashforth and J. C. Adams, 1883):
// y1 = y0 + (h/2)·(3·f0 - f-1), with f-1 the derivatives at the start of the previous step. The
// method takes one explicit Euler step whenever it has no usable history: after construction or
// Initialize, after any state was changed from outside since its last step, and when the solver
// sets restartRequested.
class AdamsBashforth2Integrator final : public Integrator {
 public:
  AdamsBashforth2Integrator();
  ~AdamsBashforth2Integrator() override = default;

  bool Initialize(const StateBindings& bindings) override;
  void Finalize() override;
  void Step() override;
  // The history is firstStep (1 or 0), then lastStates, then lastDerivatives; one of another
  // length is ignored.
  std::vector<double> SaveHistory() const override;
  void RestoreHistory(const std::vector<double>& history) override;

  std::vector<double> lastStates;       // [numStates] the states as the previous step left them
  std::vector<double> lastDerivatives;  // [numStates] derivatives at the previous step's start
  bool firstStep = true;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_ADAMS_BASHFORTH2_INTEGRATOR_H
