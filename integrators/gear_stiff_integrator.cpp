// The backward-differentiation family of the multi-value integrator.
#include "integrators/gear_stiff_integrator.h"

namespace tarn {

GearStiffIntegrator::GearStiffIntegrator()
    : MultiValueMethodIntegrator(IntegrationAlgorithm::AlgGearStiff) {}

}  // namespace tarn
