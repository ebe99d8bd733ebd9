// Saving an instance's state and putting it back into an instance.
#include "runtime/saved_state.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

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

// The byte form of a state: the tag, then every field in a fixed order, each number in the
// machine's own representation (states travel between processes of one build, not machines).
constexpr uint32_t kByteFormTag = 0x54534e31;  // "TSN1"

class ByteWriter {
 public:
  template <typename Number>
  void Put(Number value) {
    static_assert(std::is_arithmetic_v<Number>);
    const auto* bytes = reinterpret_cast<const std::byte*>(&value);
    bytes_.insert(bytes_.end(), bytes, bytes + sizeof value);
  }
  void PutAddress(const void* address) { Put(reinterpret_cast<uintptr_t>(address)); }
  void PutBytes(const std::vector<std::byte>& bytes) {
    Put(static_cast<uint64_t>(bytes.size()));
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  const std::vector<std::byte>& Bytes() const { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

// Reads what ByteWriter wrote; once a read runs past the end, every later read fails too.
class ByteReader {
 public:
  ByteReader(const std::byte* bytes, size_t size) : bytes_(bytes), size_(size) {}
  template <typename Number>
  bool Get(Number& value) {
    if (!Take(sizeof value)) return false;
    std::memcpy(&value, bytes_ + position_ - sizeof value, sizeof value);
    return true;
  }
  bool Get(bool& value) {
    uint8_t byte = 0;
    if (!Get(byte)) return false;
    value = byte != 0;
    return true;
  }
  template <typename Pointer>
  bool GetAddress(Pointer*& address) {
    uintptr_t value = 0;
    if (!Get(value)) return false;
    address = reinterpret_cast<Pointer*>(value);
    return true;
  }
  bool GetBytes(std::vector<std::byte>& bytes) {
    uint64_t length = 0;
    if (!Get(length) || length > size_ - position_ || !Take(length)) return false;
    bytes.assign(bytes_ + position_ - length, bytes_ + position_);
    return true;
  }
  bool AtEnd() const { return ok_ && position_ == size_; }

 private:
  bool Take(size_t length) {
    ok_ = ok_ && length <= size_ - position_;
    if (ok_) position_ += length;
    return ok_;
  }
  const std::byte* bytes_;
  size_t size_;
  size_t position_ = 0;
  bool ok_ = true;
};

void PutEvents(ByteWriter& out, const std::vector<OdeEvent>& events) {
  out.Put(static_cast<uint64_t>(events.size()));
  for (const OdeEvent& event : events) {
    out.Put(event.GetTimeStamp());
    out.Put(event.GetEventId());
    out.Put(static_cast<int32_t>(event.type));
    out.Put(event.sectionArg1);
    out.Put(event.sectionArg2);
    out.Put(event.value);
    out.PutAddress(event.activeFlag);
    out.PutAddress(event.interval);
    out.Put(static_cast<uint8_t>(event.pending));
    out.Put(event.periodStart);
    out.Put(event.period);
    out.Put(event.periodCount);
  }
}

bool GetEvents(ByteReader& in, std::vector<OdeEvent>& events) {
  uint64_t count = 0;
  if (!in.Get(count)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    double timeStamp = 0;
    uint32_t id = 0;
    int32_t type = 0;
    uint32_t sectionArg1 = 0;
    uint32_t sectionArg2 = 0;
    double value = 0;
    TarnLogical* activeFlag = nullptr;
    const double* interval = nullptr;
    uint8_t pending = 0;
    if (!in.Get(timeStamp) || !in.Get(id) || !in.Get(type) || !in.Get(sectionArg1) ||
        !in.Get(sectionArg2) || !in.Get(value) || !in.GetAddress(activeFlag) ||
        !in.GetAddress(interval) || !in.Get(pending)) {
      return false;
    }
    OdeEvent& event = events.emplace_back(timeStamp, id, static_cast<OdeEventType>(type), value,
                                          sectionArg1, sectionArg2, activeFlag);
    event.interval = interval;
    event.pending = pending != 0;
    if (!in.Get(event.periodStart) || !in.Get(event.period) || !in.Get(event.periodCount)) {
      return false;
    }
  }
  return true;
}

// The scalars of a solver's run record, in one order for writing and reading.
template <typename Visit>
bool VisitRunScalars(OdeSolver::RunRecord& run, Visit visit) {
  return visit(run.nextTimeEventId) && visit(run.stateEventsDeclared) && visit(run.firstInterval) &&
         visit(run.stepSize) && visit(run.lastCommInterval) && visit(run.timeScale) &&
         visit(run.scaledCommInterval) && visit(run.intervalEnd) && visit(run.scaledTime) &&
         visit(run.scaledNextCommTime) && visit(run.nextCommTime) && visit(run.requestedStepSize) &&
         visit(run.fixedStepAnchor) && visit(run.fixedStepSize) && visit(run.fixedStepCount) &&
         visit(run.fixedStepEnd);
}

}  // namespace

std::vector<std::byte> StateToBytes(const TarnState& state) {
  ByteWriter out;
  out.Put(kByteFormTag);
  out.Put(state.symbolCount);
  for (size_t index = 1; index < state.values.size(); ++index) {
    out.PutAddress(state.addresses[index]);
    out.PutBytes(state.values[index]);
  }
  out.Put(state.intervalCount);
  out.Put(static_cast<uint8_t>(state.run.has_value()));
  if (state.run) {
    OdeSolver::RunRecord run = *state.run;
    for (const auto* events :
         {&run.timeEvents, &run.intervalEvents, &run.crossingsAtStart, &run.crossingsAtEnd}) {
      PutEvents(out, *events);
    }
    VisitRunScalars(run, [&](auto& value) {
      out.Put(value);
      return true;
    });
    out.Put(static_cast<uint64_t>(run.integratorHistory.size()));
    for (double value : run.integratorHistory) out.Put(value);
  }
  return out.Bytes();
}

std::unique_ptr<TarnState> StateFromBytes(const std::byte* bytes, size_t size) {
  ByteReader in(bytes, size);
  auto state = std::make_unique<TarnState>();
  uint32_t tag = 0;
  if (!in.Get(tag) || tag != kByteFormTag || !in.Get(state->symbolCount)) return nullptr;
  // Each symbol takes at least its address and its length.
  if (state->symbolCount > size / (2 * sizeof(uint64_t))) return nullptr;
  state->values.resize(static_cast<size_t>(state->symbolCount) + 1);
  state->addresses.resize(static_cast<size_t>(state->symbolCount) + 1, nullptr);
  for (size_t index = 1; index <= state->symbolCount; ++index) {
    if (!in.GetAddress(state->addresses[index]) || !in.GetBytes(state->values[index])) {
      return nullptr;
    }
  }
  uint8_t hasRun = 0;
  if (!in.Get(state->intervalCount) || !in.Get(hasRun)) return nullptr;
  if (hasRun != 0) {
    OdeSolver::RunRecord& run = state->run.emplace();
    for (auto* events :
         {&run.timeEvents, &run.intervalEvents, &run.crossingsAtStart, &run.crossingsAtEnd}) {
      if (!GetEvents(in, *events)) return nullptr;
    }
    uint64_t historyLength = 0;
    if (!VisitRunScalars(run, [&](auto& value) { return in.Get(value); }) ||
        !in.Get(historyLength) || historyLength > size / sizeof(double)) {
      return nullptr;
    }
    run.integratorHistory.resize(historyLength);
    for (double& value : run.integratorHistory) {
      if (!in.Get(value)) return nullptr;
    }
  }
  return in.AtEnd() ? std::move(state) : nullptr;
}

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
  // Every value was written from outside: the next step evaluates the model at its start.
  record->solver->NoteHostWrite();
  return true;
}

}  // namespace tarn
