// Fehlberg's 1(2) pair.
#include "integrators/runge_kutta_fehlberg2_integrator.h"

namespace tarn {
namespace {

// Fehlberg 1(2) (E. Fehlberg, NASA TR R-315, 1969), coefficients in integer form over common
// denominators: stage s is evaluated at t0 + time, y0 + (scale)·(Σ coefficient·k).
constexpr FehlbergPair kFehlberg12 = {
    .stageCount = 3,
    .stages = {{
        {{1, 2}, {{1, 2}, {1, {{{1, 1}}}}}},
        {{1, 1}, {{1, 256}, {2, {{{1, 1}, {2, 255}}}}}},
    }},
    // Second- minus first-order solution times 512/h, up to sign.
    .error = {2, {{{3, 1}, {1, -1}}}},
    .solution = {{1, 512}, {3, {{{1, 1}, {2, 510}, {3, 1}}}}},
    .errorDenominator = 512,
    .exponent = 0.5,
    .acceptConstant = 0.8,
    .rejectConstant = 0.8,
};

}  // namespace

RungeKuttaFehlberg2Integrator::RungeKuttaFehlberg2Integrator()
    : RungeKuttaFehlbergIntegrator(IntegrationAlgorithm::AlgRungeKuttaFehlberg2, 2, kFehlberg12) {}

}  // namespace tarn
