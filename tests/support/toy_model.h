// The data block of the integrator tests' toy models: the independent variable, up to three ODE
// states with their derivatives and initial conditions, and up to three algebraic states with
// their residuals and initial values, at fixed addresses that a model function of (instance,
// section) reaches; the times of the evaluations a model records; a right-hand side with a
// known solution; and the bindings an integrator takes of the block.
#ifndef TARN_TESTS_SUPPORT_TOY_MODEL_H
#define TARN_TESTS_SUPPORT_TOY_MODEL_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "integrators/state_bindings.h"

namespace tarn::test::toy {

inline double t;
inline double y[3];
inline double dy[3];
inline double yInit[3];
inline double z[3];
inline double r[3];
inline double zInit[3];
inline std::vector<double> evaluationTimes;

// Non-autonomous and linear in the states, with known solutions from (t0, (1, 1)):
// y0' = y0·cos t, y0 = exp(sin t - sin t0); y1' = -2t·y1, y1 = exp(t0² - t²).
inline void NonAutonomous(uint32_t, uint32_t) {
  dy[0] = y[0] * std::cos(t);
  dy[1] = -2 * t * y[1];
}

// The block's first numStates ODE states and first numAlgStates algebraic states, evaluated by
// `model`.
inline StateBindings Bindings(uint32_t numStates, uint32_t numAlgStates,
                              TarnSimDerivativeFunction model) {
  return {.indVar = &t,
          .numStates = numStates,
          .states = y,
          .derivatives = dy,
          .initConds = yInit,
          .numAlgStates = numAlgStates,
          .algStates = z,
          .residuals = r,
          .algInitConds = zInit,
          .derivativeFunction = model};
}

}  // namespace tarn::test::toy

#endif  // TARN_TESTS_SUPPORT_TOY_MODEL_H
