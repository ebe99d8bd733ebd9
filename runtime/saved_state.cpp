// Saving an instance's state and putting it back into an instance.
#include "runtime/saved_state.h"

#include <algorithm>
#include <cstring>

#include "runtime/execution_manager.h"
#include "runtime/runtime.h"

namespace tarn {
namespace {

// Byte length of symbol `index`'s storage.
size_t SymbolBytes(const SystemInformation& info, uint32_t index) {
  const TarnSimVariableDescriptor& descriptor = info.descriptors[index];
  return static_cast<size_t>(ElementSize(descriptor)) * FlattenedSize(descriptor.dimensions);
}

// Writes every saved value into the instance's storage.
void WriteValues(const SystemInstance& record, const TarnState& state) {
  for (uint32_t index = 1; index < state.values.size(); ++index) {
    const std::vector<std::byte>& bytes = state.values[index];
    if (void* address = record.Address(index); address != nullptr && !bytes.empty()) {
      std::memcpy(address, bytes.data(), bytes.size());
    }
  }
}

// The address in `record`'s storage that corresponds to `saved`, an address in the saved
// instance's storage; `saved` itself when it lies in no symbol (null among them).
template <typename Pointer>
Pointer* Relocate(Pointer* saved, const SystemInstance& record, const TarnState& state) {
  if (saved == nullptr) return nullptr;
  const auto* target = reinterpret_cast<const std::byte*>(saved);
  for (uint32_t index = 1; index < state.addresses.size(); ++index) {
    const auto* start = static_cast<const std::byte*>(state.addresses[index]);
    if (start == nullptr || target < start || target >= start + state.values[index].size()) {
      continue;
    }
    auto* now = static_cast<std::byte*>(record.Address(index));
    return now != nullptr ? reinterpret_cast<Pointer*>(now + (target - start)) : nullptr;
  }
  return saved;
}

}  // namespace

std::unique_ptr<TarnState> TarnSimRuntime::SaveState(uint32_t instance) const {
  const SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return nullptr;
  auto state = std::make_unique<TarnState>();
  const uint32_t symbolCount = systemInfo_.symbolCount;
  state->symbolCount = symbolCount;
  state->values.resize(static_cast<size_t>(symbolCount) + 1);
  state->addresses.resize(static_cast<size_t>(symbolCount) + 1, nullptr);
  for (uint32_t index = 1; index <= symbolCount; ++index) {
    const auto* address = static_cast<const std::byte*>(record->Address(index));
    if (address == nullptr) continue;
    state->addresses[index] = address;
    state->values[index].assign(address, address + SymbolBytes(systemInfo_, index));
  }
  if (record->solver && record->solver->GetIntegrator() != nullptr) {
    state->run = record->solver->SaveRun();
  }
  state->intervalCount = record->intervalCount;
  return state;
}

bool TarnSimRuntime::RestoreState(uint32_t instance, const TarnState& state) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver || state.symbolCount != systemInfo_.symbolCount) {
    return false;
  }
  TarnSimExecutionManager& manager = ExecutionManagerOf(instance);
  if (manager.RunningInstance() == instance) manager.EndPreviousRun();

  WriteValues(*record, state);
  if (state.run) {
    // A fresh solver and integrator from the saved control symbols, as at the start of a run;
    // that sets the time, the states and the run flags from the initial conditions, so the saved
    // values go in once more afterwards.
    TarnSimInitializeSystemInstance(instance);
    WriteValues(*record, state);
    record->solver->RestoreRun(*state.run, [&](OdeEvent& event) {
      event.sectionArg1 = instance;
      event.activeFlag = Relocate(event.activeFlag, *record, state);
      event.interval = Relocate(event.interval, *record, state);
    });
  } else {
    record->solver->ClearEventQueues();
  }
  record->intervalCount = state.intervalCount;
  return true;
}

}  // namespace tarn
