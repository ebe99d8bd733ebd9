// The Adams family of the multi-value integrator.
#include "integrators/adams_moulton_integrator.h"

namespace tarn {

AdamsMoultonIntegrator::AdamsMoultonIntegrator()
    : MultiValueMethodIntegrator(IntegrationAlgorithm::AlgAdamsMoulton) {}

}  // namespace tarn
