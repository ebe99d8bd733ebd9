// The runtime singleton: the model's system information and symbol descriptors, the table of
// model instances with their symbol address tables, solvers, run flags and callback lists, and the
// execution manager of the shared instances. Every host function and every model-side function
// reaches it through TarnSimRuntime::GetInstance.
//
// Shared instances (TarnCreate) are bound to the model's one data block and run by the runtime's
// one execution manager, which runs the shared instance created last. An independent instance
// (TarnCreateIndependent) has a data block of its own, made by the model, its own tolerances and
// its own execution manager, which runs that instance only; its solver, callbacks and run flags
// are per instance like every instance's. Runs of different independent instances may execute at
// the same time on different threads: nothing they touch is shared but the descriptors (read
// only during runs) and the DLSODES package, whose calls the ODEPACK adapter serialises.
#ifndef TARN_RUNTIME_RUNTIME_H
#define TARN_RUNTIME_RUNTIME_H

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/control_block.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

struct TarnState;

namespace tarn {

class OdeSolver;
class TarnSimExecutionManager;

inline constexpr uint32_t kMaxDimensions = 6;
inline constexpr uint32_t kAttributeCount = 11;
// Instance numbers run from 1 to kInstanceSlots - 1; slot 0 is never used.
inline constexpr uint32_t kInstanceSlots = 100;
// Tolerance stored when a model registers 0 or less.
inline constexpr double kDefaultErrorTolerance = 0.0001;

// Description of one symbol, shared by every instance.
struct TarnSimVariableDescriptor {
  std::string name;  // empty until registered
  uint32_t dataType = TARN_DATA_INVALID;
  uint32_t symbolType = TARN_SYMBOL_INVALID;
  std::array<uint32_t, kMaxDimensions> dimensions{};  // 0 ends the list
  double relativeError = 0;                           // of the shared instances
  double absoluteError = 0;
  double registeredRelativeError = 0;  // as the model registered it: an independent instance's
  double registeredAbsoluteError = 0;  // tolerance until the host sets one
  std::array<uint8_t, kAttributeCount> attributes{};
  uint32_t derivativeIndex = 0;
  uint32_t initialConditionIndex = 0;
  uint32_t sectionKey = 0;    // delay state: discrete section that copies its next value in
  uint32_t stringLength = 0;  // string: byte length of one element
  // What the symbol means to a user; empty, unbounded and unlisted unless the model records it.
  std::string description;
  std::string unit;
  std::string group;
  uint32_t boundFlags = 0;  // TarnBoundFlags
  double minimum = -HUGE_VAL;
  double maximum = HUGE_VAL;
  uint32_t initialValueIndex = 0;  // state: the parameter its initial value comes from
  bool listedOutput = false;
};

// Number of elements of a symbol: the product of its extents up to the first 0; 1 for a scalar.
uint32_t FlattenedSize(const std::array<uint32_t, kMaxDimensions>& dimensions);

// Bytes per element of a data type; 0 for an unknown code. Strings take their descriptor's
// stringLength.
uint32_t ElementSize(const TarnSimVariableDescriptor& descriptor);

// What the model registered about itself.
struct SystemInformation {
  uint32_t symbolCount = 0;          // N
  uint32_t odeStateCount = 0;        // A
  uint32_t algebraicStateCount = 0;  // B
  uint32_t delayStateCount = 0;      // C
  uint32_t otherVariableCount = 0;   // E
  uint32_t derivativeSectionCount = 0;
  uint32_t discreteSectionCount = 0;
  TarnSimInitializeFunction initialize = nullptr;
  TarnSimSimulationFunction simulation = nullptr;
  TarnSimDerivativeFunction derivative = nullptr;
  uint32_t userDataSize = 0;
  uint32_t properties = 0;                           // TARN_SYSTEM_* flags the model declared
  TarnSimCreateBlockFunction createBlock = nullptr;  // null: no independent instances
  TarnSimDestroyBlockFunction destroyBlock = nullptr;
  std::vector<TarnSimVariableDescriptor> descriptors;  // N + 1 entries; entry 0 unused
  // Range of the independent variable over which the model is valid; set only when recorded.
  bool hasValidityRange = false;
  double validityStart = 0;
  double validityEnd = 0;

  uint32_t StateSymbolCount() const {
    return odeStateCount + algebraicStateCount + delayStateCount;
  }
  // Index of the first control symbol (cint).
  uint32_t ControlBlockIndex() const { return 3 * StateSymbolCount() + 2 + otherVariableCount; }
  bool IsValidIndex(uint32_t index) const { return index >= 1 && index <= symbolCount; }
};

struct StatusRegistration {
  uint32_t userValue;
  TarnStatusCallback callback;
};
struct ErrorRegistration {
  uint32_t userValue;
  TarnErrorCallback callback;
};
struct TickRegistration {
  uint32_t userValue;
  TarnTickCallback callback;
};
struct DiscreteEventRegistration {
  uint32_t userValue;
  uint32_t section;
  TarnDiscreteEventCallback callback;
};
struct SymbolWatchRegistration {
  uint32_t userValue;
  uint32_t symbolIndex;
  TarnSymbolValue captured;  // the value when the watch was added
  TarnSymbolWatchCallback callback;
};
struct ExecutionStateRegistration {
  uint32_t userValue;
  TarnExecutionStateChangeCallback callback;
};

// Addresses of one state group inside the symbol address table: the first state, its first
// derivative (or next value) and its first initial condition. Null entries for an absent group.
struct StateGroup {
  void** values = nullptr;
  void** rates = nullptr;
  void** initialValues = nullptr;
  uint32_t elementCount = 0;

  double* Values() const { return values ? static_cast<double*>(*values) : nullptr; }
  double* Rates() const { return rates ? static_cast<double*>(*rates) : nullptr; }
  double* InitialValues() const {
    return initialValues ? static_cast<double*>(*initialValues) : nullptr;
  }
};

// The two tolerances of one symbol.
struct ErrorTolerances {
  double relative = 0;
  double absolute = 0;
};

// One model instance.
struct SystemInstance {
  SystemInstance();
  ~SystemInstance();
  SystemInstance(const SystemInstance&) = delete;
  SystemInstance& operator=(const SystemInstance&) = delete;

  // An independent instance's own data block, released through the model's destroy function;
  // null for a shared instance. Declared first: everything below may point into it.
  std::unique_ptr<void, TarnSimDestroyBlockFunction> ownBlock{nullptr, nullptr};

  std::vector<void*> symbolAddresses;  // N + 1 entries; entry i is the storage of symbol i
  void** independentVariable = nullptr;
  StateGroup ode;
  StateGroup algebraic;
  StateGroup delay;
  void** otherVariables = nullptr;
  ControlBlock control;
  std::unique_ptr<OdeSolver> solver;
  // Reported from the host's thread (states 1, 9, 11) and from a run's worker alike.
  std::atomic<TarnExecutionState> executionState{TARN_STATE_NONE};
  std::vector<StatusRegistration> statusCallbacks;
  std::vector<ErrorRegistration> errorCallbacks;
  std::vector<TickRegistration> tickCallbacks;
  std::vector<DiscreteEventRegistration> discreteEventCallbacks;
  std::vector<SymbolWatchRegistration> symbolWatchCallbacks;
  std::vector<ExecutionStateRegistration> executionStateCallbacks;
  uint32_t intervalCount = 0;  // output points produced since run initialisation
  bool preStepPending = false;
  bool stepPending = false;
  std::vector<uint8_t> userDataBlock;  // empty when the model registered no user data
  // An independent instance's tolerances, indexed like the descriptors; empty for a shared
  // instance, whose tolerances are the descriptors'.
  std::vector<ErrorTolerances> ownTolerances;
  // An independent instance's execution manager; null for a shared instance. Declared last, so
  // destroyed first.
  std::unique_ptr<TarnSimExecutionManager> ownExecutionManager;

  bool IsIndependent() const { return ownBlock != nullptr; }

  // Storage of symbol `index`; null when the symbol is not bound or the index is outside the
  // table.
  void* Address(uint32_t index) const {
    return index < symbolAddresses.size() ? symbolAddresses[index] : nullptr;
  }
  double* IndependentVariable() const {
    return independentVariable ? static_cast<double*>(*independentVariable) : nullptr;
  }
};

class TarnSimRuntime {
 public:
  TarnSimRuntime();
  virtual ~TarnSimRuntime();
  TarnSimRuntime(const TarnSimRuntime&) = delete;
  TarnSimRuntime& operator=(const TarnSimRuntime&) = delete;

  static TarnSimRuntime* GetInstance();

  SystemInformation& GetSystemInfo() { return systemInfo_; }
  const SystemInformation& GetSystemInfo() const { return systemInfo_; }
  // The descriptor of a valid index, else null.
  TarnSimVariableDescriptor* GetDescriptor(uint32_t index);
  // The record of an existing instance, else null.
  SystemInstance* GetSystemInstance(uint32_t instance) const;
  // The execution manager of the shared instances.
  TarnSimExecutionManager& GetExecutionManager() { return *executionManager_; }
  // The manager that runs `instance`: an independent instance's own, else (shared or missing
  // instance) the shared one.
  TarnSimExecutionManager& ExecutionManagerOf(uint32_t instance);
  // Ends the run in progress of every execution manager (on workers; blocking runs on other
  // threads are asked to stop and are not waited for).
  void EndEveryRun();

  // Registration (model side).
  void SetSystemInfo(uint32_t symbolCount, uint32_t odeStateCount, uint32_t algebraicStateCount,
                     uint32_t delayStateCount, uint32_t otherVariableCount,
                     uint32_t derivativeSectionCount, uint32_t discreteSectionCount,
                     TarnSimInitializeFunction initialize, TarnSimSimulationFunction simulation,
                     TarnSimDerivativeFunction derivative, uint32_t userDataSize);
  void SetBlockFunctions(TarnSimCreateBlockFunction create, TarnSimDestroyBlockFunction destroy);

  // Instances.
  void TarnSimInitialize();
  uint32_t TarnSimCreateSystemInstance();
  // An instance with a data block of its own, holding the model's defaults, and its own
  // tolerances and execution manager; 0, with a message to the status callbacks of every
  // existing instance, when the model registered no block functions, and 0 when no slot is free
  // or the model could not make a block.
  uint32_t TarnSimCreateIndependentInstance();
  void TarnSimDestroySystemInstance(uint32_t instance);
  void TarnSimDeinitialize();

  // Run preparation and stepping.
  void TarnSimReset(uint32_t instance);
  void TarnSimInitializeSystemInstance(uint32_t instance);
  void TarnSimCommunicationInterval(uint32_t instance);
  // Delivers the solver's, then the integrator's buffered messages to the status callbacks.
  void CheckMessageBuffer(uint32_t instance);
  // The integrator's statistics, when wesitg is set.
  void WriteStatistics(uint32_t instance);
  bool TarnSimAddEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                       TarnScheduleType type, double value, TarnLogical* flag);
  void TarnSimAddIntervalEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                               const double* interval);
  void TarnSimSetRelativeErrorTol(uint32_t instance, uint32_t index, double value);
  void TarnSimSetAbsoluteErrorTol(uint32_t instance, uint32_t index, double value);
  // The tolerances of symbol `index` for `instance`: an independent instance's own, else (shared
  // or missing instance) the descriptor's. Empty for a bad index.
  std::optional<ErrorTolerances> TolerancesOf(uint32_t instance, uint32_t index) const;

  // Saved states (runtime/saved_state.h). SaveState: null for a missing instance. RestoreState:
  // ends a run of the instance in progress, prepares the instance as run initialisation does when
  // the state comes from a run, and puts every saved value, event and clock reading back; false,
  // changing nothing, for a missing instance or a state of another symbol table.
  std::unique_ptr<TarnState> SaveState(uint32_t instance) const;
  bool RestoreState(uint32_t instance, const TarnState& state);

  // Notifications to the host's callbacks of an existing instance (nothing for a missing one).
  void TarnSimWriteMessage(uint32_t instance, const char* text);
  void TarnSimReportError(uint32_t instance, uint32_t code, const char* text);
  void TarnSimInvokeTick(uint32_t instance, TarnTickType tickType);
  void TarnSimInvokeSymbolWatch(uint32_t instance);
  void TarnSimInvokeDiscreteEventOccurred(uint32_t instance, uint32_t section);
  void TarnSimSetExecutionState(uint32_t instance, TarnExecutionState state);

 private:
  // Builds the record in the lowest free slot around `ownBlock` (null for a shared instance),
  // binds it through the model's initialisation entry and creates its solver; 0 when no slot is
  // free.
  uint32_t CreateInstance(std::unique_ptr<void, TarnSimDestroyBlockFunction> ownBlock);
  void SetTolerance(uint32_t instance, uint32_t index, double value, bool relative);
  // The tolerances of valid symbol `index` for the instance of `record`.
  ErrorTolerances TolerancesOf(const SystemInstance& record, uint32_t index) const;
  // Gives every element of the ODE and algebraic state symbols (indexes 2 .. A+B+1) its symbol's
  // tolerances in the instance's integrator; only symbol `onlyIndex` when it is not 0.
  void ApplyStateTolerances(const SystemInstance& record, uint32_t onlyIndex);
  // Copies cint, nstp, maxt and mint into the instance's solver.
  void CopyIntervalControls(SystemInstance& record);

  SystemInformation systemInfo_;
  std::array<std::unique_ptr<SystemInstance>, kInstanceSlots> instances_;
  // Records forgotten by TarnSimInitialize. A worker may still be using one, so they are kept
  // alive (and unreachable from the host) until the library is unloaded.
  std::vector<std::unique_ptr<SystemInstance>> forgottenInstances_;
  // Declared last so that it is destroyed first: ending its worker reads the instances.
  std::unique_ptr<TarnSimExecutionManager> executionManager_;
};

}  // namespace tarn

#endif  // TARN_RUNTIME_RUNTIME_H
