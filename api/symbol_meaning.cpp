// The host functions that tell what the model's symbols mean: description, unit, group, bounds,
// the initial-value parameter of a state, the listed outputs and the model's validity range.
#include <cmath>

#include "runtime/runtime.h"
#include "tarn/tarn.h"

using tarn::TarnSimRuntime;
using tarn::TarnSimVariableDescriptor;

namespace {

const TarnSimVariableDescriptor* Descriptor(uint32_t index) {
  return TarnSimRuntime::GetInstance()->GetDescriptor(index);
}

}  // namespace

extern "C" {

const char* TarnGetSymbolDescription(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  return descriptor != nullptr ? descriptor->description.c_str() : nullptr;
}

const char* TarnGetSymbolUnit(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  return descriptor != nullptr ? descriptor->unit.c_str() : nullptr;
}

const char* TarnGetSymbolGroup(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  return descriptor != nullptr ? descriptor->group.c_str() : nullptr;
}

uint32_t TarnGetSymbolBounds(uint32_t index, double* minimum, double* maximum) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  if (minimum != nullptr) *minimum = descriptor != nullptr ? descriptor->minimum : -HUGE_VAL;
  if (maximum != nullptr) *maximum = descriptor != nullptr ? descriptor->maximum : HUGE_VAL;
  return descriptor != nullptr ? descriptor->boundFlags : 0;
}

bool TarnIsWithinSymbolBounds(uint32_t index, double value) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  if (descriptor == nullptr || std::isnan(value)) return false;
  const uint32_t flags = descriptor->boundFlags;
  if ((flags & TARN_BOUND_MINIMUM) != 0 &&
      (value < descriptor->minimum ||
       ((flags & TARN_BOUND_MINIMUM_EXCLUSIVE) != 0 && value == descriptor->minimum))) {
    return false;
  }
  if ((flags & TARN_BOUND_MAXIMUM) != 0 &&
      (value > descriptor->maximum ||
       ((flags & TARN_BOUND_MAXIMUM_EXCLUSIVE) != 0 && value == descriptor->maximum))) {
    return false;
  }
  return (flags & TARN_BOUND_WHOLE) == 0 || value == std::trunc(value);
}

uint32_t TarnGetStateInitialParameter(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  if (descriptor == nullptr || descriptor->symbolType != TARN_SYMBOL_STATE) return 0;
  return descriptor->initialValueIndex;
}

bool TarnIsSymbolOutput(uint32_t index) {
  const TarnSimVariableDescriptor* descriptor = Descriptor(index);
  return descriptor != nullptr && descriptor->listedOutput;
}

bool TarnGetValidityRange(double* start, double* end) {
  const tarn::SystemInformation& info = TarnSimRuntime::GetInstance()->GetSystemInfo();
  if (!info.hasValidityRange) return false;
  if (start != nullptr) *start = info.validityStart;
  if (end != nullptr) *end = info.validityEnd;
  return true;
}

}  // extern "C"
