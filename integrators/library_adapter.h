// LibraryAdapter: the shared base of the integrators that hand every step to a solver library
// (DLSODES, CVODE). It keeps the states as the last step left them and makes the check, before
// each call, whether the library's own integration can continue.
#ifndef TARN_INTEGRATORS_LIBRARY_ADAPTER_H
#define TARN_INTEGRATORS_LIBRARY_ADAPTER_H

#include <cstdint>
#include <vector>

#include "integrators/integrator.h"

namespace tarn {

class LibraryAdapter : public Integrator {
 public:
  // The base's bindings, then lastStates zeroed and no incomplete call. Overrides call this first.
  bool Initialize(const StateBindings& bindings) override;
  // Releases lastStates, then everything the base allocated.
  void Finalize() override;

  // The library evaluates for itself, at the step start only to detect a changed model.
  bool UsesPostStepDerivatives() const override { return false; }
  // The base's evaluation; the solver's evaluation after a step also keeps a copy of the
  // derivatives, which the next step's check compares with.
  void CalculateDerivatives() override;

  std::vector<double> lastStates;  // [numStates] the states as the last step left them
  // The last call of the library failed or was left by an exception: there is no integration to
  // continue.
  bool lastCallIncomplete = false;

 protected:
  // True when the library must start afresh: a state changed from outside since the last step or
  // a requested restart (ConsumeRestart; neither is looked for when the solver knows the model
  // unchanged), or an incomplete last call. A model changed since the last step is the
  // adapter's own second check (DerivativesChangedSinceLastStep).
  bool RestartDue();
  // Unless modelUnchangedSinceLastStep, solves the algebraic states, evaluates at the start of
  // the step and returns whether the derivatives differ from those the solver's evaluation after
  // the last step gave at the same point: an event's discrete section or the host changed the
  // model. The kept copy is compared with, so an evaluation the host made in between (which
  // already sees the change) hides nothing. False without evaluating when the model is unchanged.
  bool DerivativesChangedSinceLastStep();

 private:
  // [numStates] the derivatives of the solver's last evaluation after a step, and whether there
  // has been one since Initialize.
  std::vector<double> postStepDerivatives_;
  bool postStepDerivativesKept_ = false;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_LIBRARY_ADAPTER_H
