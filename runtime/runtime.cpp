#include "runtime/runtime.h"

#include <cstring>

namespace tarn {
namespace {

// Built when the library is loaded, destroyed when it is unloaded.
TarnSimRuntime theRuntimeInstance;

// Sum of the flattened sizes of the symbols first .. first + count - 1.
uint32_t ElementCount(const SystemInformation& info, uint32_t first, uint32_t count) {
  uint32_t total = 0;
  for (uint32_t index = first; index < first + count; ++index) {
    total += FlattenedSize(info.descriptors[index].dimensions);
  }
  return total;
}

// Calls `notify` for every registration of `list`, in order. Walks by position so that a callback
// that adds registrations to the same list cannot invalidate the walk.
template <typename Registration, typename Notify>
void ForEachRegistration(const std::vector<Registration>& list, Notify notify) {
  for (size_t i = 0; i < list.size(); ++i) notify(list[i]);
}

}  // namespace

uint32_t FlattenedSize(const std::array<uint32_t, kMaxDimensions>& dimensions) {
  uint32_t size = 1;
  for (uint32_t extent : dimensions) {
    if (extent == 0) break;
    size *= extent;
  }
  return size;
}

uint32_t ElementSize(const TarnSimVariableDescriptor& descriptor) {
  switch (descriptor.dataType) {
    case TARN_DATA_SHORT:
      return 2;
    case TARN_DATA_LONG:
    case TARN_DATA_FLOAT:
      return 4;
    case TARN_DATA_DOUBLE2:
    case TARN_DATA_DOUBLE:
      return 8;
    case TARN_DATA_LOGICAL:
      return 1;
    case TARN_DATA_STRING:
      return descriptor.stringLength;
    default:
      return 0;
  }
}

SystemInstance::SystemInstance() = default;
SystemInstance::~SystemInstance() = default;

TarnSimRuntime::TarnSimRuntime() = default;
TarnSimRuntime::~TarnSimRuntime() = default;

TarnSimRuntime* TarnSimRuntime::GetInstance() { return &theRuntimeInstance; }

TarnSimVariableDescriptor* TarnSimRuntime::GetDescriptor(uint32_t index) {
  return systemInfo_.IsValidIndex(index) ? &systemInfo_.descriptors[index] : nullptr;
}

SystemInstance* TarnSimRuntime::GetSystemInstance(uint32_t instance) const {
  return instance < kInstanceSlots ? instances_[instance].get() : nullptr;
}

void TarnSimRuntime::SetSystemInfo(uint32_t symbolCount, uint32_t odeStateCount,
                                   uint32_t algebraicStateCount, uint32_t delayStateCount,
                                   uint32_t otherVariableCount, uint32_t derivativeSectionCount,
                                   uint32_t discreteSectionCount,
                                   TarnSimInitializeFunction initialize,
                                   TarnSimSimulationFunction simulation,
                                   TarnSimDerivativeFunction derivative, uint32_t userDataSize) {
  systemInfo_ = SystemInformation{};
  systemInfo_.symbolCount = symbolCount;
  systemInfo_.odeStateCount = odeStateCount;
  systemInfo_.algebraicStateCount = algebraicStateCount;
  systemInfo_.delayStateCount = delayStateCount;
  systemInfo_.otherVariableCount = otherVariableCount;
  systemInfo_.derivativeSectionCount = derivativeSectionCount;
  systemInfo_.discreteSectionCount = discreteSectionCount;
  systemInfo_.initialize = initialize;
  systemInfo_.simulation = simulation;
  systemInfo_.derivative = derivative;
  systemInfo_.userDataSize = userDataSize;
  systemInfo_.descriptors.resize(static_cast<size_t>(symbolCount) + 1);
}

void TarnSimRuntime::TarnSimInitialize() {
  for (auto& slot : instances_) {
    if (slot) forgottenInstances_.push_back(std::move(slot));
  }
}

uint32_t TarnSimRuntime::TarnSimCreateSystemInstance() {
  uint32_t number = 1;
  while (number < kInstanceSlots && instances_[number]) ++number;
  if (number == kInstanceSlots) return 0;

  const SystemInformation& info = systemInfo_;
  const uint32_t symbolCount = info.symbolCount;
  auto record = std::make_unique<SystemInstance>();
  record->symbolAddresses.assign(static_cast<size_t>(symbolCount) + 1, nullptr);
  void** table = record->symbolAddresses.data();

  // The layout is only usable when the registered counts fit in the table; a model whose counts
  // exceed its symbol count gets no groups and no control block instead of addresses past the end.
  const uint32_t stateCount = info.StateSymbolCount();
  const uint64_t lastLaidOut = 3ull * stateCount + 1 + info.otherVariableCount;
  const bool layoutFits = lastLaidOut <= symbolCount;
  if (symbolCount >= 1) record->independentVariable = &table[1];
  if (layoutFits && stateCount >= 1) {
    auto group = [&](uint32_t offset, uint32_t count) {
      StateGroup g;
      if (count == 0) return g;
      g.values = &table[2 + offset];
      g.rates = &table[stateCount + 2 + offset];
      g.initialValues = &table[2 * stateCount + 2 + offset];
      g.elementCount = ElementCount(info, 2 + offset, count);
      return g;
    };
    record->ode = group(0, info.odeStateCount);
    record->algebraic = group(info.odeStateCount, info.algebraicStateCount);
    record->delay = group(info.odeStateCount + info.algebraicStateCount, info.delayStateCount);
  }
  if (layoutFits && info.otherVariableCount != 0) {
    record->otherVariables = &table[3 * stateCount + 2];
  }
  if (layoutFits && lastLaidOut + kControlSymbolCount <= symbolCount) {
    record->control = ControlBlock(&table[info.ControlBlockIndex()]);
  }
  record->userDataBlock.assign(info.userDataSize, 0);

  instances_[number] = std::move(record);
  if (info.initialize != nullptr) info.initialize(number);
  return number;
}

void TarnSimRuntime::TarnSimDestroySystemInstance(uint32_t instance) {
  if (GetSystemInstance(instance) == nullptr) return;
  if (systemInfo_.derivative != nullptr) systemInfo_.derivative(instance, TARN_SECTION_DESTROY);
  instances_[instance].reset();
}

void TarnSimRuntime::TarnSimDeinitialize() {
  for (uint32_t instance = 0; instance < kInstanceSlots; ++instance) {
    TarnSimDestroySystemInstance(instance);
  }
}

void TarnSimRuntime::TarnSimReset(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  record->control.SetFlag(Control::kZzstopflag, 0);
  record->control.SetFlag(Control::kZzicon, 0);
  record->control.SetFlag(Control::kZzstepstop, 1);
}

void TarnSimRuntime::TarnSimInitializeSystemInstance(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  const ControlBlock& control = record->control;
  if (int32_t* instanceIndex = control.Long(Control::kZzinstidx)) {
    *instanceIndex = static_cast<int32_t>(instance);
  }
  double* t = record->IndependentVariable();
  const double* initialTime = control.Double(Control::kZzticg);
  if (t != nullptr && initialTime != nullptr) *t = *initialTime;
  control.SetFlag(Control::kZzstopflag, 0);
  control.SetFlag(Control::kZzicon, 0);
  control.SetFlag(Control::kZzstepstop, 0);
  record->intervalCount = 0;
}

void TarnSimRuntime::TarnSimSetRelativeErrorTol(uint32_t instance, uint32_t index, double value) {
  SetTolerance(instance, index, value, /*relative=*/true);
}

void TarnSimRuntime::TarnSimSetAbsoluteErrorTol(uint32_t instance, uint32_t index, double value) {
  SetTolerance(instance, index, value, /*relative=*/false);
}

void TarnSimRuntime::SetTolerance(uint32_t instance, uint32_t index, double value,
                                  bool relative) {
  if (GetSystemInstance(instance) == nullptr) return;
  TarnSimVariableDescriptor* descriptor = GetDescriptor(index);
  if (descriptor == nullptr) return;
  (relative ? descriptor->relativeError : descriptor->absoluteError) = value;
}

void TarnSimRuntime::TarnSimWriteMessage(uint32_t instance, const char* text) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  ForEachRegistration(record->statusCallbacks, [&](const StatusRegistration& r) {
    r.callback(instance, r.userValue, text);
  });
}

void TarnSimRuntime::TarnSimReportError(uint32_t instance, uint32_t code, const char* text) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  ForEachRegistration(record->errorCallbacks, [&](const ErrorRegistration& r) {
    r.callback(instance, r.userValue, code, text);
  });
}

void TarnSimRuntime::TarnSimInvokeTick(uint32_t instance, TarnTickType tickType) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  ForEachRegistration(record->tickCallbacks, [&](const TickRegistration& r) {
    r.callback(instance, r.userValue, tickType);
  });
}

void TarnSimRuntime::TarnSimInvokeSymbolWatch(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  ForEachRegistration(record->symbolWatchCallbacks, [&](const SymbolWatchRegistration& r) {
    TarnDataType dataType;
    TarnSymbolValue value;
    std::memset(&value, 0, sizeof value);
    uint32_t extents[kMaxDimensions];
    if (!TarnGetSymbolValue(instance, r.symbolIndex, &dataType, &value, extents)) return;
    if (std::memcmp(&value, &r.captured, sizeof value) != 0) {
      r.callback(instance, r.userValue, r.symbolIndex);
    }
  });
}

void TarnSimRuntime::TarnSimInvokeDiscreteEventOccurred(uint32_t instance, uint32_t section) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  ForEachRegistration(record->discreteEventCallbacks, [&](const DiscreteEventRegistration& r) {
    if (r.section == section) r.callback(instance, r.userValue, section);
  });
}

void TarnSimRuntime::TarnSimSetExecutionState(uint32_t instance, TarnExecutionState state) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  const TarnExecutionState previous = record->executionState;
  record->executionState = state;
  ForEachRegistration(record->executionStateCallbacks, [&](const ExecutionStateRegistration& r) {
    r.callback(instance, r.userValue, previous, state);
  });
}

}  // namespace tarn
