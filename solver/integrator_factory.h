// The table of integration algorithms: for each IntegrationAlgorithm code, how the solver hands
// the step size over (its step regime), whether a run may select it, and the integrator class
// that implements it.
#ifndef TARN_SOLVER_INTEGRATOR_FACTORY_H
#define TARN_SOLVER_INTEGRATOR_FACTORY_H

#include <memory>

#include "integrators/integrator.h"
#include "solver/integrator_settings.h"

namespace tarn {

// How the solver computes the step it gives the integrator and takes it back.
enum class StepRegime {
  kNone,        // no integrator: the step size stays as it is
  kFixed,       // commInterval / stepsPerCommInterval, limited by maxStepSize and the stretch
  kVariable,    // the integrator's own proposal, spread evenly over the stretch
  kBoundsOnly,  // the larger of the two step bounds (a solver never initialised)
};

StepRegime GetStepRegime(IntegrationAlgorithm algorithm);

// True when a run may select `algorithm`: it names a working integrator class.
bool IsRunnableAlgorithm(IntegrationAlgorithm algorithm);

// A new integrator of the class `algorithm` names; null for a code without one.
std::unique_ptr<Integrator> CreateIntegrator(IntegrationAlgorithm algorithm);

}  // namespace tarn

#endif  // TARN_SOLVER_INTEGRATOR_FACTORY_H
