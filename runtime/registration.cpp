// The model-side functions: what generated model code calls to describe itself, bind its storage
// and talk to the runtime during a run.
#include "runtime/runtime.h"
#include "tarn/tarnsim.h"

using tarn::TarnSimRuntime;

namespace {

double ToleranceOrDefault(double value) { return value > 0 ? value : tarn::kDefaultErrorTolerance; }

}  // namespace

extern "C" {

void TarnSimSetSystemInfo(uint32_t symbolCount, uint32_t odeStateCount,
                          uint32_t algebraicStateCount, uint32_t delayStateCount,
                          uint32_t otherVariableCount, uint32_t derivativeSectionCount,
                          uint32_t discreteSectionCount, TarnSimInitializeFunction initialize,
                          TarnSimSimulationFunction simulation,
                          TarnSimDerivativeFunction derivative, uint32_t userDataSize) {
  TarnSimRuntime::GetInstance()->SetSystemInfo(symbolCount, odeStateCount, algebraicStateCount,
                                               delayStateCount, otherVariableCount,
                                               derivativeSectionCount, discreteSectionCount,
                                               initialize, simulation, derivative, userDataSize);
}

void TarnSimSetSystemProperties(uint32_t properties) {
  TarnSimRuntime::GetInstance()->GetSystemInfo().properties =
      properties & TARN_SYSTEM_MEMORYLESS_DERIVATIVES;
}

void TarnSimSetVariableDescriptor(uint32_t index, const char* name, uint32_t dataType,
                                  uint32_t symbolType, uint32_t extent1, uint32_t extent2,
                                  uint32_t extent3, uint32_t extent4, uint32_t extent5,
                                  uint32_t extent6, double relativeError, double absoluteError) {
  tarn::TarnSimVariableDescriptor* descriptor = TarnSimRuntime::GetInstance()->GetDescriptor(index);
  if (descriptor == nullptr) return;
  descriptor->name = name != nullptr ? name : "";
  descriptor->dataType = dataType;
  descriptor->symbolType = symbolType;
  descriptor->dimensions = {extent1, extent2, extent3, extent4, extent5, extent6};
  descriptor->relativeError = ToleranceOrDefault(relativeError);
  descriptor->absoluteError = ToleranceOrDefault(absoluteError);
  descriptor->registeredRelativeError = descriptor->relativeError;
  descriptor->registeredAbsoluteError = descriptor->absoluteError;
}

void TarnSimSetBlockFunctions(TarnSimCreateBlockFunction create,
                              TarnSimDestroyBlockFunction destroy) {
  TarnSimRuntime::GetInstance()->SetBlockFunctions(create, destroy);
}

void TarnSimSetVariableExtendedInfo(uint32_t index, uint32_t flag1, uint32_t flag2, uint32_t flag3,
                                    uint32_t flag4, uint32_t flag5, uint32_t flag6, uint32_t flag7,
                                    uint32_t flag8, uint32_t flag9, uint32_t flag10,
                                    uint32_t flag11, uint32_t sectionKey, uint32_t stringLength) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  tarn::TarnSimVariableDescriptor* descriptor = runtime->GetDescriptor(index);
  if (descriptor == nullptr) return;
  const uint32_t flags[] = {flag1, flag2, flag3, flag4,  flag5, flag6,
                            flag7, flag8, flag9, flag10, flag11};
  for (uint32_t i = 0; i < tarn::kAttributeCount; ++i) {
    descriptor->attributes[i] = static_cast<uint8_t>(flags[i]);
  }
  descriptor->sectionKey = sectionKey;
  descriptor->stringLength = stringLength;
  const uint32_t stateCount = runtime->GetSystemInfo().StateSymbolCount();
  descriptor->derivativeIndex = index + stateCount;
  descriptor->initialConditionIndex = index + 2 * stateCount;
}

void TarnSimSetVariableMeaning(uint32_t index, const char* description, const char* unit,
                               const char* group, uint32_t boundFlags, double minimum,
                               double maximum, uint32_t initialValueIndex, bool listedOutput) {
  tarn::TarnSimVariableDescriptor* descriptor = TarnSimRuntime::GetInstance()->GetDescriptor(index);
  if (descriptor == nullptr) return;
  descriptor->description = description != nullptr ? description : "";
  descriptor->unit = unit != nullptr ? unit : "";
  descriptor->group = group != nullptr ? group : "";
  descriptor->boundFlags = boundFlags;
  descriptor->minimum = (boundFlags & TARN_BOUND_MINIMUM) != 0 ? minimum : -HUGE_VAL;
  descriptor->maximum = (boundFlags & TARN_BOUND_MAXIMUM) != 0 ? maximum : HUGE_VAL;
  descriptor->initialValueIndex = initialValueIndex;
  descriptor->listedOutput = listedOutput;
}

void TarnSimSetValidityRange(double start, double end) {
  if (!(start <= end)) return;
  tarn::SystemInformation& info = TarnSimRuntime::GetInstance()->GetSystemInfo();
  info.hasValidityRange = true;
  info.validityStart = start;
  info.validityEnd = end;
}

void TarnSimSetVariablePointer(uint32_t instance, uint32_t index, void* address) {
  TarnSimRuntime* runtime = TarnSimRuntime::GetInstance();
  tarn::SystemInstance* record = runtime->GetSystemInstance(instance);
  if (record == nullptr || !runtime->GetSystemInfo().IsValidIndex(index)) return;
  if (index >= record->symbolAddresses.size()) return;  // registered after this instance was made
  record->symbolAddresses[index] = address;
}

void* TarnSimGetUserDataBlock(uint32_t instance) {
  tarn::SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  if (record == nullptr || record->userDataBlock.empty()) return nullptr;
  return record->userDataBlock.data();
}

void* TarnSimGetInstanceBlock(uint32_t instance) {
  tarn::SystemInstance* record = TarnSimRuntime::GetInstance()->GetSystemInstance(instance);
  return record != nullptr ? record->ownBlock.get() : nullptr;
}

void TarnSimIntegrate(uint32_t instance) {
  TarnSimRuntime::GetInstance()->TarnSimCommunicationInterval(instance);
}

bool TarnSimScheduleEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                          TarnScheduleType type, double value, TarnLogical* flag) {
  return TarnSimRuntime::GetInstance()->TarnSimAddEvent(instance, eventNumber, section, type, value,
                                                        flag);
}

void TarnSimSetIntervalEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                             const double* interval) {
  TarnSimRuntime::GetInstance()->TarnSimAddIntervalEvent(instance, eventNumber, section, interval);
}

void TarnSimDiscreteEventOccurred(uint32_t instance, uint32_t section) {
  TarnSimRuntime::GetInstance()->TarnSimInvokeDiscreteEventOccurred(instance, section);
}

}  // extern "C"
