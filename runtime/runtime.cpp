#include "runtime/runtime.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "runtime/execution_manager.h"
#include "runtime/runtime_messages.h"
#include "solver/ode_solver.h"

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

void BindSettings(IntegratorSettings& settings, const ControlBlock& control) {
  auto bind = [&](auto*& setting, Control symbol) {
    using Target = std::remove_reference_t<decltype(*setting)>;
    if (void* address = control.Address(symbol)) setting = static_cast<Target*>(address);
  };
#define TARN_INTEGRATOR_SETTING(Name, member, Storage, Value, control, defaultValue, defaults, \
                                access)                                                        \
  bind(settings.member, Control::control);
#include "solver/integrator_settings.def"
#undef TARN_INTEGRATOR_SETTING
}

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

TarnSimRuntime::TarnSimRuntime()
    : executionManager_(std::make_unique<TarnSimExecutionManager>(*this)) {}
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

void TarnSimRuntime::SetBlockFunctions(TarnSimCreateBlockFunction create,
                                       TarnSimDestroyBlockFunction destroy) {
  systemInfo_.createBlock = create;
  systemInfo_.destroyBlock = destroy;
}

TarnSimExecutionManager& TarnSimRuntime::ExecutionManagerOf(uint32_t instance) {
  const SystemInstance* record = GetSystemInstance(instance);
  return record != nullptr && record->ownExecutionManager ? *record->ownExecutionManager
                                                          : *executionManager_;
}

void TarnSimRuntime::EndEveryRun() {
  executionManager_->EndPreviousRun();
  for (const auto& record : instances_) {
    if (record && record->ownExecutionManager) record->ownExecutionManager->EndPreviousRun();
  }
}

void TarnSimRuntime::TarnSimInitialize() {
  for (auto& slot : instances_) {
    if (slot) forgottenInstances_.push_back(std::move(slot));
  }
}

uint32_t TarnSimRuntime::TarnSimCreateSystemInstance() {
  const uint32_t number = CreateInstance({nullptr, nullptr});
  // The shared manager runs the shared instance created last.
  if (number != 0) executionManager_->BindInstance(number);
  return number;
}

uint32_t TarnSimRuntime::TarnSimCreateIndependentInstance() {
  const SystemInformation& info = systemInfo_;
  if (info.createBlock == nullptr || info.destroyBlock == nullptr) {
    for (uint32_t instance = 1; instance < kInstanceSlots; ++instance) {
      TarnSimWriteMessage(instance, kNoIndependentInstancesMessage);
    }
    return 0;
  }
  std::unique_ptr<void, TarnSimDestroyBlockFunction> block(info.createBlock(), info.destroyBlock);
  if (block == nullptr) return 0;
  const uint32_t number = CreateInstance(std::move(block));
  if (number == 0) return 0;
  SystemInstance& created = *instances_[number];
  created.ownTolerances.resize(info.descriptors.size());
  for (size_t index = 0; index < info.descriptors.size(); ++index) {
    created.ownTolerances[index] = {info.descriptors[index].registeredRelativeError,
                                    info.descriptors[index].registeredAbsoluteError};
  }
  created.ownExecutionManager = std::make_unique<TarnSimExecutionManager>(*this);
  created.ownExecutionManager->BindInstance(number);
  return number;
}

uint32_t TarnSimRuntime::CreateInstance(
    std::unique_ptr<void, TarnSimDestroyBlockFunction> ownBlock) {
  uint32_t number = 1;
  while (number < kInstanceSlots && instances_[number]) ++number;
  if (number == kInstanceSlots) return 0;

  const SystemInformation& info = systemInfo_;
  const uint32_t symbolCount = info.symbolCount;
  auto record = std::make_unique<SystemInstance>();
  record->ownBlock = std::move(ownBlock);
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
  SystemInstance& created = *instances_[number];
  created.solver = std::make_unique<OdeSolver>();
  // Bound now as well as at each run initialisation: a continue before any run steps a solver
  // without an integrator, and the stop it raises must reach zzstopflag to end the model's loop.
  BindSettings(created.solver->settings, created.control);
  return number;
}

void TarnSimRuntime::TarnSimDestroySystemInstance(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr) return;
  // The worker of a run of an independent instance must not outlive its record.
  if (record->ownExecutionManager) record->ownExecutionManager->EndPreviousRun();
  if (systemInfo_.derivative != nullptr) systemInfo_.derivative(instance, TARN_SECTION_DESTROY);
  if (record->solver) record->solver->Finalize();
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
  if (record->solver) record->solver->ClearEventQueues();
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

  OdeSolver* solver = record->solver.get();
  int32_t* algorithmCode = control.Long(Control::kIalg);
  if (solver == nullptr || algorithmCode == nullptr) return;
  if (!OdeSolver::IsSupportedAlgorithm(static_cast<IntegrationAlgorithm>(*algorithmCode))) {
    TarnSimWriteMessage(instance, kInvalidAlgorithmMessage);
    TarnSimWriteMessage(instance, kDefaultAlgorithmMessage);
    *algorithmCode = static_cast<int32_t>(IntegrationAlgorithm::AlgRungeKutta4);
  }
  solver->Initialize(static_cast<IntegrationAlgorithm>(*algorithmCode),
                     {.indVar = t,
                      .numStates = record->ode.elementCount,
                      .states = record->ode.Values(),
                      .derivatives = record->ode.Rates(),
                      .initConds = record->ode.InitialValues(),
                      .numAlgStates = record->algebraic.elementCount,
                      .algStates = record->algebraic.Values(),
                      .residuals = record->algebraic.Rates(),
                      .algInitConds = record->algebraic.InitialValues(),
                      .numDelayStates = record->delay.elementCount,
                      .delayStates = record->delay.Values(),
                      .delayNextValues = record->delay.Rates(),
                      .delayInitConds = record->delay.InitialValues(),
                      .derivativeFunction = systemInfo_.derivative});
  solver->memorylessDerivatives =
      (systemInfo_.properties & TARN_SYSTEM_MEMORYLESS_DERIVATIVES) != 0;
  CopyIntervalControls(*record);
  const int32_t steps = *control.Long(Control::kNstp);
  solver->stepSize = *control.Double(Control::kCint) / steps;

  if (record->delay.elementCount != 0 && !solver->delayStateKeys.empty()) {
    const uint32_t firstDelay = 2 + systemInfo_.odeStateCount + systemInfo_.algebraicStateCount;
    size_t key = 0;
    for (uint32_t index = firstDelay; index < firstDelay + systemInfo_.delayStateCount; ++index) {
      const TarnSimVariableDescriptor& descriptor = systemInfo_.descriptors[index];
      for (uint32_t e = 0; e < FlattenedSize(descriptor.dimensions); ++e) {
        if (key < solver->delayStateKeys.size())
          solver->delayStateKeys[key++] = descriptor.sectionKey;
      }
    }
  }

  BindSettings(solver->settings, control);
  if (Integrator* integrator = solver->GetIntegrator()) {
    integrator->settings.Copy(&solver->settings);
    ApplyStateTolerances(*record, 0);
  }
}

void TarnSimRuntime::ApplyStateTolerances(const SystemInstance& record, uint32_t onlyIndex) {
  Integrator* integrator = record.solver ? record.solver->GetIntegrator() : nullptr;
  if (integrator == nullptr) return;
  const uint32_t lastState = 1 + systemInfo_.odeStateCount + systemInfo_.algebraicStateCount;
  uint32_t element = 0;
  for (uint32_t index = 2; index <= lastState && index <= systemInfo_.symbolCount; ++index) {
    const uint32_t size = FlattenedSize(systemInfo_.descriptors[index].dimensions);
    if (onlyIndex == 0 || onlyIndex == index) {
      const ErrorTolerances tolerances = TolerancesOf(record, index);
      for (uint32_t e = 0; e < size; ++e) {
        integrator->SetMaxAbsoluteError(element + e, tolerances.absolute);
        integrator->SetMaxRelativeError(element + e, tolerances.relative);
      }
    }
    element += size;
  }
}

void TarnSimRuntime::TarnSimCommunicationInterval(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver || !record->control.IsBound()) return;
  OdeSolver& solver = *record->solver;
  const ControlBlock& control = record->control;
  TarnSimExecutionManager& manager = ExecutionManagerOf(instance);
  if (manager.RunningInstance() == instance && manager.StopRequested()) {
    control.SetFlag(Control::kZzstopflag, 1);
  }
  CopyIntervalControls(*record);
  if (solver.firstInterval) solver.HandleIndependentVarEvents();
  if (systemInfo_.derivative != nullptr) systemInfo_.derivative(instance, TARN_SECTION_COMM_POINT);

  if (control.Flag(Control::kZzstopflag) == 0) {
    // An interval count of 0 or less would make every interval an output point anyway.
    const int32_t perOutput = *control.Long(Control::kNciout);
    const bool everyInterval = perOutput <= 1;
    if (solver.settings.communicationPointReached || everyInterval ||
        record->intervalCount % static_cast<uint32_t>(perOutput) == 0) {
      TarnSimInvokeTick(instance, TARN_TICK_OUTPUT);
      TarnSimInvokeSymbolWatch(instance);
      ++record->intervalCount;
    }
  }

  solver.SetDerivFuncArg1(instance);
  solver.SetDerivFuncArg2(TARN_SECTION_DERIVATIVE);
  solver.debugRun = manager.GetDebugState() != TarnDebugState::kNotDebugging;
  if (*control.Long(Control::kZzicon) == 1) {
    control.SetFlag(Control::kZzicon, 0);
    solver.rescaleInterval = true;
  }
  solver.Step();
  CheckMessageBuffer(instance);
  manager.DebugTick();
  if (record->stepPending) {
    control.SetFlag(Control::kZzstepstop, 1);
    record->stepPending = false;
  }
}

void TarnSimRuntime::CopyIntervalControls(SystemInstance& record) {
  OdeSolver& solver = *record.solver;
  const ControlBlock& control = record.control;
  solver.commInterval = *control.Double(Control::kCint);
  solver.stepsPerCommInterval = *control.Long(Control::kNstp);
  solver.maxStepSize = *control.Double(Control::kMaxt);
  solver.minStepSize = *control.Double(Control::kMint);
}

void TarnSimRuntime::CheckMessageBuffer(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver) return;
  // The text is taken out of the buffer for the callbacks, which may write new messages into it,
  // and its storage handed back afterwards when they did not, so that a buffer in use allocates
  // nothing from one interval to the next.
  auto deliver = [&](std::string& buffer, uint64_t& leftOut) {
    if (leftOut != 0) {
      char line[96];
      std::snprintf(line, sizeof line, kMessagesLeftOut, static_cast<unsigned long long>(leftOut));
      buffer += line;
      leftOut = 0;
    }
    if (buffer.empty()) return;
    std::string text;
    text.swap(buffer);
    TarnSimWriteMessage(instance, text.c_str());
    if (buffer.empty()) {
      text.clear();
      buffer.swap(text);
    }
  };
  deliver(record->solver->messages, record->solver->messagesLeftOut);
  if (Integrator* integrator = record->solver->GetIntegrator()) {
    deliver(integrator->messages, integrator->messagesLeftOut);
  }
}

void TarnSimRuntime::WriteStatistics(uint32_t instance) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver || record->solver->GetIntegrator() == nullptr) return;
  if (record->control.Flag(Control::kWesitg) != 1) return;
  record->solver->GetIntegrator()->WriteStatistics();
  CheckMessageBuffer(instance);
}

bool TarnSimRuntime::TarnSimAddEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                                     TarnScheduleType type, double value, TarnLogical* flag) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver) return false;
  OdeEventType eventType;
  switch (type) {
    case TARN_SCHEDULE_AT_TIME:
      eventType = OdeEventType::EventIndependentVar;
      break;
    case TARN_SCHEDULE_CROSSING:
      eventType = OdeEventType::EventStateAny;
      break;
    case TARN_SCHEDULE_CROSSING_RISING:
      eventType = OdeEventType::EventStateRising;
      break;
    case TARN_SCHEDULE_CROSSING_FALLING:
      eventType = OdeEventType::EventStateFalling;
      break;
    default:
      return false;
  }
  // The solver's registration reports no outcome: the result is false here too.
  record->solver->AddEvent(eventNumber, eventType, value, instance, section, flag);
  return false;
}

void TarnSimRuntime::TarnSimAddIntervalEvent(uint32_t instance, uint32_t eventNumber,
                                             uint32_t section, const double* interval) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver) return;
  record->solver->AddIntervalEvent(eventNumber, instance, section, interval);
}

void TarnSimRuntime::TarnSimSetRelativeErrorTol(uint32_t instance, uint32_t index, double value) {
  SetTolerance(instance, index, value, /*relative=*/true);
}

void TarnSimRuntime::TarnSimSetAbsoluteErrorTol(uint32_t instance, uint32_t index, double value) {
  SetTolerance(instance, index, value, /*relative=*/false);
}

void TarnSimRuntime::SetTolerance(uint32_t instance, uint32_t index, double value, bool relative) {
  SystemInstance* record = GetSystemInstance(instance);
  if (record == nullptr || !record->solver) return;
  TarnSimVariableDescriptor* descriptor = GetDescriptor(index);
  if (descriptor == nullptr) return;
  if (record->IsIndependent()) {
    ErrorTolerances& own = record->ownTolerances[index];
    (relative ? own.relative : own.absolute) = value;
  } else {
    (relative ? descriptor->relativeError : descriptor->absoluteError) = value;
  }
  ApplyStateTolerances(*record, index);
  record->solver->NoteHostWrite();
}

ErrorTolerances TarnSimRuntime::TolerancesOf(const SystemInstance& record, uint32_t index) const {
  if (record.IsIndependent()) return record.ownTolerances[index];
  const TarnSimVariableDescriptor& descriptor = systemInfo_.descriptors[index];
  return {descriptor.relativeError, descriptor.absoluteError};
}

std::optional<ErrorTolerances> TarnSimRuntime::TolerancesOf(uint32_t instance,
                                                            uint32_t index) const {
  if (!systemInfo_.IsValidIndex(index)) return std::nullopt;
  if (const SystemInstance* record = GetSystemInstance(instance)) {
    return TolerancesOf(*record, index);
  }
  const TarnSimVariableDescriptor& descriptor = systemInfo_.descriptors[index];
  return ErrorTolerances{descriptor.relativeError, descriptor.absoluteError};
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
  const TarnExecutionState previous = record->executionState.exchange(state);
  ForEachRegistration(record->executionStateCallbacks, [&](const ExecutionStateRegistration& r) {
    r.callback(instance, r.userValue, previous, state);
  });
}

}  // namespace tarn
