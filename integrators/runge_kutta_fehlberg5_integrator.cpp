// Fehlberg's 4(5) pair.
#include "integrators/runge_kutta_fehlberg5_integrator.h"

namespace tarn {
namespace {

// Fehlberg 4(5) (E. Fehlberg, NASA TR R-315, 1969), coefficients in integer form over common
// denominators: stage s is evaluated at t0 + time, y0 + (scale)·(Σ coefficient·k).
constexpr FehlbergPair kFehlberg45 = {
    .stageCount = 6,
    .stages = {{
        {{1, 4}, {{1, 4}, {1, {{{1, 1}}}}}},
        {{3, 8}, {{3, 32}, {2, {{{1, 1}, {2, 3}}}}}},
        {{12, 13}, {{1, 2197}, {3, {{{1, 1932}, {2, -7200}, {3, 7296}}}}}},
        {{1, 1}, {{1, 4104}, {4, {{{1, 8341}, {2, -32832}, {3, 29440}, {4, -845}}}}}},
        {{1, 2}, {{1, 20520}, {5, {{{1, -6080}, {2, 41040}, {3, -28352}, {4, 9295}, {5, -5643}}}}}},
    }},
    // Fifth- minus fourth-order solution times 752400/h, up to sign.
    .error = {5, {{{3, 22528}, {6, -27360}, {1, -2090}, {4, 21970}, {5, -15048}}}},
    .solution = {{1, 7618050},
                 {5, {{{1, 902880}, {3, 3953664}, {4, 3855735}, {5, -1371249}, {6, 277020}}}}},
    .errorDenominator = 752400,
    .exponent = 0.2,
    .acceptConstant = 0.9,
    .rejectConstant = 0.8,
};

}  // namespace

RungeKuttaFehlberg5Integrator::RungeKuttaFehlberg5Integrator()
    : RungeKuttaFehlbergIntegrator(IntegrationAlgorithm::AlgRungeKuttaFehlberg5, 5, kFehlberg45) {}

}  // namespace tarn
