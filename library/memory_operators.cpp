// Operators with memory: the limited integrator zzlimf, and zzbkls, zzdlim, zzxdot and zzexp with
// the rules behind them.
#include "library/memory_operators.h"

#include <cmath>

#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

// The switch value is kept strictly inside (0, 1) so that the logarithms placing a switch time
// stay finite.
constexpr double kSwitchValueFloor = 1e-30;
constexpr double kSwitchValueCeiling = 0.999999;

}  // namespace

void Backlash(const EvaluationState& state, double* output, double* memory, double initialValue,
              double halfWidth, double x) {
  if (state.stepStart) {
    double position = state.initializing ? initialValue : *memory;
    if (position < x - halfWidth) position = x - halfWidth;
    if (position > x + halfWidth) position = x + halfWidth;
    *memory = position;
  }
  *output = *memory;
}

void LimitedChange(const EvaluationState& state, double* output, double* memory,
                   const double* initialValue, double x, double y, double lower, double upper) {
  if (state.stepStart) {
    if (state.initializing) *memory = *initialValue;
    if ((x <= lower || x >= upper) && (x - lower) * (y - *memory) > 0) *memory = y;
  }
  *output = y - *memory;
}

void SlopeEstimate(const EvaluationState& state, double x, double initialSlope, double* output,
                   double* previousX, double* previousT, double* slope) {
  if (state.stepStart) {
    if (state.initializing) {
      *previousX = x;
      *previousT = state.t;
      *slope = initialSlope;
    } else if (state.t != *previousT) {
      *slope = (x - *previousX) / (state.t - *previousT);
      *previousX = x;
      *previousT = state.t;
    }
  }
  *output = *slope;
}

void ExponentialSwitch(const EvaluationState& state, double tau, double initialValue,
                       TarnLogical input, TarnLogical* previousInput, double* output,
                       double* switchTime, double* value) {
  const bool on = input != 0;
  if (state.initializing) {
    *previousInput = on ? 0 : 1;
    double start = initialValue;
    if (start <= kSwitchValueFloor) start = kSwitchValueFloor;
    if (start >= kSwitchValueCeiling) start = kSwitchValueCeiling;
    *value = start;
  }
  const bool wasOn = *previousInput != 0;
  if (on && !wasOn) {
    *switchTime = tau * std::log(1 - *value) + state.t;
  } else if (!on && wasOn) {
    *switchTime = tau * std::log(*value) + state.t;
  }
  *previousInput = input;
  const double decay = std::exp((*switchTime - state.t) / tau);
  *value = on ? 1 - decay : decay;
  *output = *value;
}

}  // namespace tarn

using tarn::EvaluationStateOf;

extern "C" {

double zzlimf(double* state, double rate, double lower, double upper) {
  if ((lower < *state && *state < upper) || (*state - lower) * rate <= 0) return rate;
  if (*state > upper) *state = upper;
  if (lower > *state) *state = lower;
  return 0;
}

void zzbkls(double* output, double* memory, double initialValue, double halfWidth, double x) {
  // The model language gives the backlash no instance argument: it follows instance 1.
  if (const auto state = EvaluationStateOf(1)) {
    tarn::Backlash(*state, output, memory, initialValue, halfWidth, x);
  }
}

void zzdlim(uint32_t instance, double* output, double* memory, const double* initialValue, double x,
            double y, double lower, double upper) {
  if (const auto state = EvaluationStateOf(instance)) {
    tarn::LimitedChange(*state, output, memory, initialValue, x, y, lower, upper);
  }
}

void zzxdot(uint32_t instance, double x, double initialSlope, double* output, double* previousX,
            double* previousT, double* slope) {
  if (const auto state = EvaluationStateOf(instance)) {
    tarn::SlopeEstimate(*state, x, initialSlope, output, previousX, previousT, slope);
  }
}

void zzexp(uint32_t instance, double tau, double initialValue, TarnLogical input,
           TarnLogical* previousInput, double* output, double* switchTime, double* value) {
  if (const auto state = EvaluationStateOf(instance)) {
    tarn::ExponentialSwitch(*state, tau, initialValue, input, previousInput, output, switchTime,
                            value);
  }
}

}  // extern "C"
