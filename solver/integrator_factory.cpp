// The table of integration algorithms, indexed by code.
#include "solver/integrator_factory.h"

#include <array>
#include <cstddef>

#include "integrators/adams_bashforth2_integrator.h"
#include "integrators/adams_moulton_integrator.h"
#include "integrators/bulirsch_stoer_integrator.h"
#include "integrators/cvode_integrator.h"
#include "integrators/dassl_integrator.h"
#include "integrators/euler_integrator.h"
#include "integrators/gear_stiff_integrator.h"
#include "integrators/odepack_integrator.h"
#include "integrators/rosenbrock_integrator.h"
#include "integrators/runge_kutta2_integrator.h"
#include "integrators/runge_kutta4_integrator.h"
#include "integrators/runge_kutta_fehlberg2_integrator.h"
#include "integrators/runge_kutta_fehlberg5_integrator.h"
#include "integrators/user_defined_integrator.h"

namespace tarn {
namespace {

using IntegratorCreator = std::unique_ptr<Integrator> (*)();

template <class IntegratorClass>
std::unique_ptr<Integrator> Create() {
  return std::make_unique<IntegratorClass>();
}

struct AlgorithmEntry {
  StepRegime regime;
  bool runnable;             // a run may select it once its class exists
  IntegratorCreator create;  // null: the code has no integrator class
};

// Row i describes code i. Placeholder classes (user-defined, DASSL, Bulirsch-Stoer) are created
// but never advance time, so no run may select them; a code is runnable only while it has a
// class.
constexpr std::array<AlgorithmEntry, 16> kAlgorithms = {{
    {StepRegime::kNone, false, nullptr},                             // 0 AlgNone
    {StepRegime::kVariable, true, &Create<AdamsMoultonIntegrator>},  // 1 AlgAdamsMoulton
    {StepRegime::kVariable, true, &Create<GearStiffIntegrator>},     // 2 AlgGearStiff
    {StepRegime::kFixed, true, &Create<EulerIntegrator>},            // 3 AlgEuler
    {StepRegime::kFixed, true, &Create<RungeKutta2Integrator>},      // 4 AlgRungeKutta2
    {StepRegime::kFixed, true, &Create<RungeKutta4Integrator>},      // 5 AlgRungeKutta4
    {StepRegime::kBoundsOnly, false, nullptr},                       // 6 AlgUnset
    {StepRegime::kFixed, false, &Create<UserDefinedIntegrator>},     // 7 AlgUserDefined
    {StepRegime::kVariable, true,
     &Create<RungeKuttaFehlberg2Integrator>},  // 8 AlgRungeKuttaFehlberg2
    {StepRegime::kVariable, true,
     &Create<RungeKuttaFehlberg5Integrator>},                           // 9 AlgRungeKuttaFehlberg5
    {StepRegime::kVariable, false, &Create<DasslIntegrator>},           // 10 AlgDassl
    {StepRegime::kVariable, false, &Create<BulirschStoerIntegrator>},   // 11 AlgBulirschStoer
    {StepRegime::kVariable, true, &Create<RosenbrockIntegrator>},       // 12 AlgRosenbrock
    {StepRegime::kVariable, true, &Create<AdamsBashforth2Integrator>},  // 13 AlgAdamsBashforth2
    {StepRegime::kVariable, true, &Create<OdepackIntegrator>},          // 14 AlgOdepack
    {StepRegime::kVariable, true, &Create<CvodeIntegrator>},            // 15 AlgCvode
}};

// The row of `algorithm`; codes outside the table (negative or above 15) read as AlgNone.
const AlgorithmEntry& Entry(IntegrationAlgorithm algorithm) {
  const auto code = static_cast<std::size_t>(static_cast<uint32_t>(algorithm));
  return code < kAlgorithms.size() ? kAlgorithms[code] : kAlgorithms[0];
}

}  // namespace

StepRegime GetStepRegime(IntegrationAlgorithm algorithm) { return Entry(algorithm).regime; }

bool IsRunnableAlgorithm(IntegrationAlgorithm algorithm) {
  const AlgorithmEntry& entry = Entry(algorithm);
  return entry.runnable && entry.create != nullptr;
}

std::unique_ptr<Integrator> CreateIntegrator(IntegrationAlgorithm algorithm) {
  const AlgorithmEntry& entry = Entry(algorithm);
  return entry.create != nullptr ? entry.create() : nullptr;
}

}  // namespace tarn
