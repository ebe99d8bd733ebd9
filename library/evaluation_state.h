// What an operator with memory needs to know about the model evaluation that calls it, read from
// the instance's integrator. The rules that keep the memory take it as a value.
#ifndef TARN_LIBRARY_EVALUATION_STATE_H
#define TARN_LIBRARY_EVALUATION_STATE_H

#include <cstdint>
#include <optional>

namespace tarn {

struct EvaluationState {
  uint32_t instance = 0;      // the model instance; status messages go to it
  double t = 0;               // the independent variable
  bool initializing = false;  // the solver's initialisation is in progress
  // The evaluation at the start of an integration step (the integrator's inAuxiliaryEvaluation):
  // the only one in which memory moves.
  bool stepStart = false;
};

// The evaluation state of `instance` as its current integrator sees it: the integrator's
// independent variable, its `initializing` mirror of the solver's initialisation switch and its
// inAuxiliaryEvaluation flag. Empty when the instance, its solver or its integrator does not
// exist, or the integrator is not bound to an independent variable.
std::optional<EvaluationState> EvaluationStateOf(uint32_t instance);

}  // namespace tarn

#endif  // TARN_LIBRARY_EVALUATION_STATE_H
