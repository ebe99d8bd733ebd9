// Rules of the model-language operators that keep memory between calls in model variables:
// backlash, limited change, slope estimate and exponential switch. Each takes the evaluation it
// is called from; memory moves only in a step-start evaluation unless stated.
#ifndef TARN_LIBRARY_MEMORY_OPERATORS_H
#define TARN_LIBRARY_MEMORY_OPERATORS_H

#include "library/evaluation_state.h"
#include "tarn/tarn_types.h"

namespace tarn {

// Backlash: at a step start the position (initialValue while initializing, else *memory) is
// raised to at least x - halfWidth, then lowered to at most x + halfWidth, and stored. *output
// is the stored position.
void Backlash(const EvaluationState& state, double* output, double* memory, double initialValue,
              double halfWidth, double x);

// At a step start (*memory first taken from *initialValue while initializing): when x is at or
// beyond lower or upper and (x - lower) * (y - *memory) > 0, *memory takes y. *output is always
// y - *memory.
void LimitedChange(const EvaluationState& state, double* output, double* memory,
                   const double* initialValue, double x, double y, double lower, double upper);

// Slope of x against t between step starts: while initializing it records (x, t) and takes
// initialSlope; later, once t has moved, the secant slope from the recorded point, then records
// the new one. *output is always the slope.
void SlopeEstimate(const EvaluationState& state, double x, double initialSlope, double* output,
                   double* previousX, double* previousT, double* slope);

// Exponential switch with time constant tau, evaluated at every call. While initializing the
// previous input is made the opposite of input (a switch now) and *value starts from initialValue
// clamped into [1e-30, 0.999999]. At a switch the switch time is placed so that the new curve,
// 1 - exp((switch - t) / tau) for a true input or exp((switch - t) / tau) for a false one, starts
// from the present *value. *output and *value receive the curve at t.
void ExponentialSwitch(const EvaluationState& state, double tau, double initialValue,
                       TarnLogical input, TarnLogical* previousInput, double* output,
                       double* switchTime, double* value);

}  // namespace tarn

#endif  // TARN_LIBRARY_MEMORY_OPERATORS_H
