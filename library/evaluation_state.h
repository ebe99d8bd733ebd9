// What an operator with memory needs to know about the model evaluation that calls it. The
// C-linkage operators read it from the instance's solver and integrator; the rules that keep the
// memory take it as a value.
#ifndef TARN_LIBRARY_EVALUATION_STATE_H
#define TARN_LIBRARY_EVALUATION_STATE_H

#include <cstdint>

namespace tarn {

struct EvaluationState {
  uint32_t instance = 0;      // the model instance; status messages go to it
  double t = 0;               // the independent variable
  bool initializing = false;  // the solver's initialisation is in progress
  // The evaluation at the start of an integration step (the integrator's inAuxiliaryEvaluation):
  // the only one in which memory moves.
  bool stepStart = false;
};

}  // namespace tarn

#endif  // TARN_LIBRARY_EVALUATION_STATE_H
