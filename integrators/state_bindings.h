// StateBindings: the arrays a run borrows from the model's data block, and its derivative
// function. The solver is initialised with them and hands them on to its integrator; both keep
// them as their own members (they derive from this structure), so the names are the same in
// either. An absent group has count 0 and null arrays.
#ifndef TARN_INTEGRATORS_STATE_BINDINGS_H
#define TARN_INTEGRATORS_STATE_BINDINGS_H

#include <cstdint>

#include "tarn/tarnsim.h"

namespace tarn {

struct StateBindings {
  double* indVar = nullptr;
  // The ODE states, their derivatives and their initial conditions.
  uint32_t numStates = 0;
  double* states = nullptr;
  double* derivatives = nullptr;
  double* initConds = nullptr;
  // The algebraic states, the residuals the model drives to zero and their initial guesses.
  uint32_t numAlgStates = 0;
  double* algStates = nullptr;
  double* residuals = nullptr;
  double* algInitConds = nullptr;
  // The delay states, the values they take at their next update and their initial values. Only
  // the solver uses these: it updates them when their events are serviced; integrators leave
  // them alone.
  uint32_t numDelayStates = 0;
  double* delayStates = nullptr;
  double* delayNextValues = nullptr;
  double* delayInitConds = nullptr;
  TarnSimDerivativeFunction derivativeFunction = nullptr;
};

}  // namespace tarn

#endif  // TARN_INTEGRATORS_STATE_BINDINGS_H
