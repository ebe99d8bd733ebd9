/* Tarn host interface: the exported C functions through which a host initialises the library,
 * creates model instances, reads and writes symbols, runs the simulation, receives callbacks and
 * debugs a run.
 *
 * No function returns an error code or throws. A bad symbol index or a missing instance makes a
 * call do nothing or return a sentinel: 0, null, false, data type 7 (TARN_DATA_INVALID), symbol
 * type 14 (TARN_SYMBOL_INVALID) or tolerance -1.0. Instance numbers run from 1 to 99; symbol
 * indexes from 1 to the symbol count N.
 *
 * Threads: unless a comment says otherwise, call these from one host thread. During a run started
 * with TarnStart or TarnDebugStart the model runs on a worker thread, and callbacks arrive there;
 * TarnStop may be called from any thread. Symbol reads and writes during such a run are not
 * synchronised with the worker.
 *
 * Independent instances (TarnCreateIndependent) are the exception: each may be driven from a
 * host thread of its own, so that runs of several independent instances execute at the same
 * time. The symbol, tolerance, run-control, saved-state, callback and debugger functions of one
 * independent instance may be called from one thread at a time, while other threads call them for
 * other independent instances. TarnCreateIndependent, and TarnDestroy of an independent instance,
 * may be called while other independent instances run, one such call at a time; TarnInitialize,
 * TarnFinalize, TarnCreate and every function of shared instances must not overlap with any of
 * them. Runs of
 * independent instances share nothing but the DLSODES package (algorithm 14), which keeps its
 * integration in process-wide storage: its calls are serialised (one step of one instance at a
 * time, each instance's integration handed over exactly), while the runtime's own methods and
 * CVODE run in parallel. Floating-point status is per thread. The model-language random number
 * generator is one process-wide sequence without a lock; this library's model does not use it. */
#ifndef TARN_TARN_H
#define TARN_TARN_H

#include <stdint.h>

#include "tarn/tarn_export.h"
#include "tarn/tarn_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Description of one symbol, filled by TarnGetSymbolInfo. `name` and `extents` point into the
 * library's own descriptor and stay valid until the next TarnInitialize; do not free or change
 * them. */
/* A saved state of an instance (TarnSaveState); opaque. */
typedef struct TarnState TarnState;

typedef struct TarnSymbolInfo {
  uint32_t symbolType; /* TarnSymbolType code */
  uint32_t dataType;   /* TarnDataType code */
  const char* name;
  uint32_t numberDimensions; /* count of leading extents that are not 0 (0 to 6) */
  const uint32_t* extents;   /* the six extents */
  uint8_t attributes[11];    /* the eleven attribute flags, in order */
  uint32_t derivativeIndex;
  uint32_t initialConditionIndex;
  uint32_t stringLength;
} TarnSymbolInfo;

/* Callback types. `userValue` is the value given at registration, passed back unchanged. The
 * text given to status and error callbacks is valid only during the call. */
typedef void (*TarnStatusCallback)(uint32_t instance, uint32_t userValue, const char* text);
typedef void (*TarnErrorCallback)(uint32_t instance, uint32_t userValue, uint32_t code,
                                  const char* text);
typedef void (*TarnTickCallback)(uint32_t instance, uint32_t userValue, TarnTickType tickType);
typedef void (*TarnDiscreteEventCallback)(uint32_t instance, uint32_t userValue, uint32_t section);
typedef void (*TarnSymbolWatchCallback)(uint32_t instance, uint32_t userValue,
                                        uint32_t symbolIndex);
typedef void (*TarnExecutionStateChangeCallback)(uint32_t instance, uint32_t userValue,
                                                 TarnExecutionState previous,
                                                 TarnExecutionState next);

/* ---- Lifecycle ---------------------------------------------------------------------------- */

/* 65536 (version 1.0 as hex 00010000). */
TARN_API uint32_t TarnGetVersion(void);

/* Ends a run in progress, forgets every instance (without releasing them) and registers the
 * model's symbol table. Call once before anything else. */
TARN_API void TarnInitialize(void);

/* Destroys every instance; ends a run in progress first. */
TARN_API void TarnFinalize(void);

/* Creates an instance bound to the model's data and returns its number (lowest free, 1..99);
 * 0 when all 99 are in use. Such shared instances share every value, tolerance and the one
 * execution manager, which runs the shared instance created last (whichever shared instance a
 * run function names). */
TARN_API uint32_t TarnCreate(void);

/* Creates an independent instance and returns its number (lowest free, 1..99): a data block of
 * its own holding the model's defaults (not the present values of the shared data), its own
 * tolerances (the model's defaults), solver, settings, events, synchronisation points, callbacks,
 * run state and execution manager, which runs this instance only. Every host function works on it
 * as on a shared instance; shared instances and other independent ones do not see its values.
 * 0 when all 99 numbers are in use or the block cannot be made; 0, and "Independent instances are
 * not supported by this model: it registered no data block functions." to the status callbacks
 * of every existing instance, when the model registered no data block functions (tarnsim.h). */
TARN_API uint32_t TarnCreateIndependent(void);

/* Destroys the instance, ending a run of it in progress first. Nothing for a missing instance. */
TARN_API void TarnDestroy(uint32_t instance);

/* ---- Tolerances --------------------------------------------------------------------------- */

/* Set the relative (absolute) error tolerance of a symbol, for every shared instance or for one
 * independent instance; for a state it applies to the integrator at once. Nothing for a missing
 * instance or solver or a bad index. */
TARN_API void TarnSetRelativeError(uint32_t instance, uint32_t index, double value);
TARN_API void TarnSetAbsoluteError(uint32_t instance, uint32_t index, double value);

/* The symbol's relative (absolute) tolerance: an independent instance's own; for a shared or
 * missing instance the tolerance all shared instances use. -1.0 for a bad index. */
TARN_API double TarnGetRelativeError(uint32_t instance, uint32_t index);
TARN_API double TarnGetAbsoluteError(uint32_t instance, uint32_t index);

/* ---- Symbols: description ----------------------------------------------------------------- */

/* The symbol count N. */
TARN_API uint32_t TarnGetNumberSymbols(void);

/* The lowest index whose name equals `name` without regard to case; 0 when none or null. */
TARN_API uint32_t TarnGetSymbolIndex(const char* name);

/* Fills *info; false (nothing written) for a null pointer or a bad index. */
TARN_API bool TarnGetSymbolInfo(uint32_t index, TarnSymbolInfo* info);

/* The name; null for a bad index. */
TARN_API const char* TarnGetSymbolName(uint32_t index);

/* TarnDataType code; 7 for a bad index. */
TARN_API TarnDataType TarnGetSymbolDatatype(uint32_t index);

/* TarnSymbolType code; 14 for a bad index. */
TARN_API TarnSymbolType TarnGetSymbolType(uint32_t index);

/* Copies the six extents into extents[0..5]; nothing for a bad index or a null pointer.
 * `unused` is ignored. */
TARN_API void TarnGetSymbolDimensions(uint32_t index, uint32_t unused, uint32_t* extents);

/* Always 1; the arguments are ignored. */
TARN_API uint32_t TarnGetSymbolInitialValue(uint32_t instance, uint32_t index);

/* Section counts as the model registered them. */
TARN_API uint32_t TarnGetNumberDerivativeSections(void);
TARN_API uint32_t TarnGetNumberDiscreteSections(void);

/* Section names and indexes are not recorded: always 0 (null). */
TARN_API const char* TarnGetDerivativeSectionName(uint32_t section);
TARN_API uint32_t TarnGetDerivativeSectionIndex(const char* name);
TARN_API const char* TarnGetDiscreteSectionName(uint32_t section);
TARN_API uint32_t TarnGetDiscreteSectionIndex(const char* name);

/* ---- Symbols: meaning ---------------------------------------------------------------------- */
/* What the model records about its symbols for users (TarnSimSetVariableMeaning). A model that
 * records nothing gives empty texts, no bounds, no initial-value parameter and no outputs. Any
 * thread; texts point into the library and stay valid until the next TarnInitialize. */

/* One-line description, unit ("1" for a pure number) and group (the part of the model) of the
 * symbol; "" when the model recorded none; null for a bad index. */
TARN_API const char* TarnGetSymbolDescription(uint32_t index);
TARN_API const char* TarnGetSymbolUnit(uint32_t index);
TARN_API const char* TarnGetSymbolGroup(uint32_t index);

/* The bounds of a value the host may set, as TarnBoundFlags bits (0: none). Writes the minimum
 * and maximum to the addresses that are not null: -HUGE_VAL / HUGE_VAL where that side has no
 * bound. A bad index returns 0 and writes the same. */
TARN_API uint32_t TarnGetSymbolBounds(uint32_t index, double* minimum, double* maximum);

/* True when `value` lies within the symbol's bounds (always, for a symbol without bounds); false
 * for NaN and for a bad index. */
TARN_API bool TarnIsWithinSymbolBounds(uint32_t index, double value);

/* For a state: the index of the parameter whose value becomes the state's initial value when a
 * fresh run starts. 0 when the state starts at zero, when the symbol is not a state, when the
 * model recorded nothing, and for a bad index. */
TARN_API uint32_t TarnGetStateInitialParameter(uint32_t index);

/* True when the model lists the symbol among the outputs worth plotting; false for a bad index. */
TARN_API bool TarnIsSymbolOutput(uint32_t index);

/* The range of the independent variable over which the model is valid: true and *start, *end
 * written (each where not null); false and nothing written when the model recorded none. A run
 * may go past it; beyond it the model extrapolates. */
TARN_API bool TarnGetValidityRange(double* start, double* end);

/* ---- Symbols: array helpers (index sets are six 1-based indices, 0 past the last dimension) - */

/* True when indexSet is valid for extents: index i in 1..extent i where the extent is not 0,
 * and 0 where it is. False for a null pointer. */
TARN_API bool IsValidIndexSet(const uint32_t* indexSet, const uint32_t* extents);

/* Count of leading extents that are not 0, at most 6. */
TARN_API uint32_t GetNumberDimensions(const uint32_t* extents);

/* Element offset of indexSet in column order (first index fastest). */
TARN_API uint32_t GetFlatArrayOffset(const uint32_t* indexSet, const uint32_t* extents);

/* ---- Symbols: generic values -------------------------------------------------------------- */

/* Writes the symbol's data type, extents and value (a scalar's value; the storage address of a
 * string or array) and returns true; false and nothing written for a bad index, a missing
 * instance or a null pointer. */
TARN_API bool TarnGetSymbolValue(uint32_t instance, uint32_t index, TarnDataType* dataType,
                                 TarnSymbolValue* value, uint32_t* extents);

/* Stores a value described by dataType and extents, which must be the symbol's own: a scalar
 * from the union, a string from the text at value.address (cut to fit its storage), an array by
 * copying its elements from value.address. A call whose data type or extents differ from the
 * symbol's writes nothing. Nothing for a bad index or a missing instance. */
TARN_API void TarnSetSymbolValue(uint32_t instance, uint32_t index, TarnDataType dataType,
                                 TarnSymbolValue value, const uint32_t* extents);

/* Reads one element into *value in the symbol's own data type (a string element: its address)
 * and writes the data type. An invalid index set sends "Error: Invalid array index." to the
 * instance's status callbacks and reads nothing. */
TARN_API void TarnGetSymbolValueIndexed(uint32_t instance, uint32_t index, TarnDataType* dataType,
                                        TarnSymbolValue* value, const uint32_t* indexSet);

/* Writes one element from *value (a string element: the text at value->address, cut to fit).
 * Same index set check and message; a data type other than the symbol's writes nothing. */
TARN_API void TarnSetSymbolValueIndexed(uint32_t instance, uint32_t index, TarnDataType dataType,
                                        const TarnSymbolValue* value, const uint32_t* indexSet);

/* ---- Symbols: typed values ---------------------------------------------------------------- */
/* For each type (Short 0, Long 1, Float 3, Double 4, Bool 5, String 6):
 *   TarnGetX(instance, index): the first element when the symbol's data type is exactly the
 *     type's code, else 0 (0.0, false, null). String: the storage address.
 *   TarnSetX(instance, index, value): stores into the first element under the same condition;
 *     String copies the text, cut to fit.
 *   TarnGetXIndexed / TarnGetX1..6: the element at the index set (trailing indices 0); 0 when
 *     the index set is invalid (which also sends the invalid index message) or the symbol's data
 *     type differs from the type's code.
 *   TarnSetXIndexed / TarnSetX1..6: writes the element with the type's own code as data type. */
#define TARN_DECLARE_TYPED_ACCESS(Name, Type)                                                  \
  TARN_API Type TarnGet##Name(uint32_t instance, uint32_t index);                              \
  TARN_API Type TarnGet##Name##Indexed(uint32_t instance, uint32_t index,                      \
                                       const uint32_t* indexSet);                              \
  TARN_API Type TarnGet##Name##1(uint32_t instance, uint32_t index, uint32_t i1);              \
  TARN_API Type TarnGet##Name##2(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2); \
  TARN_API Type TarnGet##Name##3(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2,  \
                                 uint32_t i3);                                                 \
  TARN_API Type TarnGet##Name##4(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2,  \
                                 uint32_t i3, uint32_t i4);                                    \
  TARN_API Type TarnGet##Name##5(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2,  \
                                 uint32_t i3, uint32_t i4, uint32_t i5);                       \
  TARN_API Type TarnGet##Name##6(uint32_t instance, uint32_t index, uint32_t i1, uint32_t i2,  \
                                 uint32_t i3, uint32_t i4, uint32_t i5, uint32_t i6);          \
  TARN_API void TarnSet##Name(uint32_t instance, uint32_t index, Type value);                  \
  TARN_API void TarnSet##Name##Indexed(uint32_t instance, uint32_t index, Type value,          \
                                       const uint32_t* indexSet);                              \
  TARN_API void TarnSet##Name##1(uint32_t instance, uint32_t index, Type value, uint32_t i1);  \
  TARN_API void TarnSet##Name##2(uint32_t instance, uint32_t index, Type value, uint32_t i1,   \
                                 uint32_t i2);                                                 \
  TARN_API void TarnSet##Name##3(uint32_t instance, uint32_t index, Type value, uint32_t i1,   \
                                 uint32_t i2, uint32_t i3);                                    \
  TARN_API void TarnSet##Name##4(uint32_t instance, uint32_t index, Type value, uint32_t i1,   \
                                 uint32_t i2, uint32_t i3, uint32_t i4);                       \
  TARN_API void TarnSet##Name##5(uint32_t instance, uint32_t index, Type value, uint32_t i1,   \
                                 uint32_t i2, uint32_t i3, uint32_t i4, uint32_t i5);          \
  TARN_API void TarnSet##Name##6(uint32_t instance, uint32_t index, Type value, uint32_t i1,   \
                                 uint32_t i2, uint32_t i3, uint32_t i4, uint32_t i5, uint32_t i6);

TARN_DECLARE_TYPED_ACCESS(Short, int16_t)
TARN_DECLARE_TYPED_ACCESS(Long, int32_t)
TARN_DECLARE_TYPED_ACCESS(Float, float)
TARN_DECLARE_TYPED_ACCESS(Double, double)
TARN_DECLARE_TYPED_ACCESS(Bool, TarnLogical)
TARN_DECLARE_TYPED_ACCESS(String, const char*)

#undef TARN_DECLARE_TYPED_ACCESS

/* ---- Symbols: many doubles at once ---------------------------------------------------------- */

/* Reads `count` doubles: values[k] := TarnGetDouble(instance, indexes[k]) for k in 0..count-1,
 * that is the symbol's value (an array's first element), or 0.0 when indexes[k] is not from 1 to
 * N or names a symbol whose data type is not double (4). Returns how many indexes named a double
 * symbol. For a missing instance, or a null `indexes` or `values` with a count above 0, it writes
 * nothing and returns 0. Call from the host's thread, or from a callback during a run (a tick
 * callback reads one consistent output row this way); during a non-blocking run the values are
 * read without synchronisation, as by TarnGetDouble. */
TARN_API uint32_t TarnGetDoubles(uint32_t instance, uint32_t count, const uint32_t* indexes,
                                 double* values);

/* Writes `count` doubles: TarnSetDouble(instance, indexes[k], values[k]) for k in 0..count-1, in
 * that order. An index that is not from 1 to N, or that names a symbol whose data type is not
 * double, is skipped. Returns how many values were written. For a missing instance, or a null
 * pointer with a count above 0, it writes nothing and returns 0. Same threads as
 * TarnGetDoubles. */
TARN_API uint32_t TarnSetDoubles(uint32_t instance, uint32_t count, const uint32_t* indexes,
                                 const double* values);

/* ---- Run control -------------------------------------------------------------------------- */

/* Evaluates one model section: 500..999 as given, any other value as 500. */
TARN_API void TarnCalcDeriv(uint32_t instance, uint32_t section);

/* Fresh run from the initial conditions on a new worker thread; returns at once. An earlier
 * worker of the same execution manager (the shared one, or the independent instance's own) is
 * ended first. */
TARN_API void TarnStart(uint32_t instance);

/* Fresh run on the calling thread; returns when it ends. Runs of different independent
 * instances may be started from different threads at the same time. */
TARN_API void TarnStartBlocking(uint32_t instance);

/* Continue from the present state (initial section skipped), on a worker thread / on the
 * calling thread. Nothing for a missing instance. */
TARN_API void TarnContinue(uint32_t instance);
TARN_API void TarnContinueBlocking(uint32_t instance);

/* Asks a run to stop: ends the interval in progress and the run. Any thread. */
TARN_API void TarnStop(uint32_t instance);

/* Makes the present state the initial condition of the next run (and the present time its
 * start time): the present states are copied into the initial-condition symbols, and the next
 * run's reset starts from them even when the model assigns its initial conditions again in its
 * derivative section. Nothing for a missing instance. */
TARN_API void TarnReinitialize(uint32_t instance);

/* Runs the initial section and stops before the first communication interval. */
TARN_API void TarnPreStep(uint32_t instance);

/* Runs exactly one communication interval from the present state, on the calling thread. */
TARN_API void TarnStep(uint32_t instance);

/* Runs communication intervals until the independent variable reaches `target`, shortening the
 * last one to end on it; the communication interval is restored afterwards. Shortening restarts
 * the method with a step no larger than the one it had; a target the next communication point
 * reaches within a relative 2e-15 is reached by that interval unshortened, as TarnStep would. */
TARN_API void TarnRunToTime(uint32_t instance, double target);

/* TarnRunToTime(instance, now + increment) when the increment is positive. */
TARN_API void TarnStepIncr(uint32_t instance, double increment);

/* flag 0: clears the synchronisation points; otherwise adds the `count` times at *times as
 * points where steps must end. `unused1`/`unused2` are ignored. */
TARN_API void TarnSetDataBlock(uint32_t instance, uint32_t flag, uint32_t unused1, uint32_t unused2,
                               uint32_t count, double** times);

/* ---- Saved states ------------------------------------------------------------------------- */
/* A saved state holds everything a run continues from: the value of every symbol (states,
 * derivatives, parameters, control symbols and run flags, the time among them), the solver's
 * scheduled, interval and state events (the dosing schedule among them), its communication clock
 * and step size, the output count, and the history of the Adams-Bashforth method. Call these
 * between runs, not while a worker of the instance runs. */

/* Saves the instance's present state; null for a missing instance. Free it with TarnFreeState. */
TARN_API TarnState* TarnSaveState(uint32_t instance);

/* Puts a saved state back into `instance`, which may be the instance it was saved from or any
 * other instance of the model, shared or independent; a run of the instance in progress is ended
 * first. The instance is prepared as at the start of a run (a fresh integrator of the saved
 * algorithm) and then takes every saved value, event and clock reading, so that continuing it
 * (TarnStep, TarnRunToTime, TarnContinue) equals a run restarted at the saved time from the saved
 * values. With the fixed-step methods (Euler, RK2, RK4, Adams-Bashforth 2) the continuation is
 * equal to the bit to the run that went on from the save without interruption; the variable-step
 * methods, Rosenbrock, Gear, Adams-Moulton, DLSODES and CVODE restart their integration at the
 * restored point (first step, order and history afresh), so two continuations from one restored
 * state are equal to the bit, and close to, not equal to, the uninterrupted run. The instance's
 * tolerances, callbacks and synchronisation points are not part of a state. False,
 * changing nothing, for a missing instance, a null state and a state of a model with another
 * symbol count. */
TARN_API bool TarnRestoreState(uint32_t instance, const TarnState* state);

/* Releases a saved state. Nothing for null. Any thread. */
TARN_API void TarnFreeState(TarnState* state);

/* The byte form of a saved state, for keeping it or sending it to another process that loaded the
 * same library: returns the number of bytes it takes and, when `buffer` is not null and
 * `capacity` is at least that, writes them there. 0 for a null state. Any thread. */
TARN_API uint64_t TarnSerializeState(const TarnState* state, void* buffer, uint64_t capacity);

/* A saved state made from `size` bytes written by TarnSerializeState; null for null bytes or
 * bytes that are not one whole state. Free it with TarnFreeState. Any thread. */
TARN_API TarnState* TarnDeserializeState(const void* bytes, uint64_t size);

/* ---- Callbacks ---------------------------------------------------------------------------- */
/* Registrations are kept per instance in the order added and called in that order; removal takes
 * the earliest registration with the user value (and section or symbol) given. Nothing for a
 * missing instance. Do not add or remove registrations while a run may be walking them. */

TARN_API void TarnAddStatusCallback(uint32_t instance, uint32_t userValue,
                                    TarnStatusCallback callback);
TARN_API void TarnRemoveStatusCallback(uint32_t instance, uint32_t userValue,
                                       TarnStatusCallback callback);
TARN_API void TarnAddErrorCallback(uint32_t instance, uint32_t userValue,
                                   TarnErrorCallback callback);
TARN_API void TarnRemoveErrorCallback(uint32_t instance, uint32_t userValue,
                                      TarnErrorCallback callback);
TARN_API void TarnAddTickCallbackFunction(uint32_t instance, uint32_t userValue,
                                          TarnTickCallback callback);
TARN_API void TarnRemoveTickCallbackFunction(uint32_t instance, uint32_t userValue,
                                             TarnTickCallback callback);
TARN_API void TarnAddDiscreteEventCallbackFunction(uint32_t instance, uint32_t userValue,
                                                   uint32_t section,
                                                   TarnDiscreteEventCallback callback);
TARN_API void TarnRemoveDiscreteEventCallbackFunction(uint32_t instance, uint32_t userValue,
                                                      uint32_t section,
                                                      TarnDiscreteEventCallback callback);
/* Captures the symbol's present 8-byte value; the callback is called at every output point while
 * the value differs from it. Not registered for a bad index. */
TARN_API void TarnAddSymbolWatchCallback(uint32_t instance, uint32_t userValue,
                                         uint32_t symbolIndex, TarnSymbolWatchCallback callback);
TARN_API void TarnRemoveSymbolWatchCallback(uint32_t instance, uint32_t userValue,
                                            uint32_t symbolIndex, TarnSymbolWatchCallback callback);
TARN_API void TarnAddExecutionStateChangeCallbackFunction(
    uint32_t instance, uint32_t userValue, TarnExecutionStateChangeCallback callback);
TARN_API void TarnRemoveExecutionStateChangeCallbackFunction(
    uint32_t instance, uint32_t userValue, TarnExecutionStateChangeCallback callback);

/* ---- Debugger ----------------------------------------------------------------------------- */
/* A debug run executes on a worker thread and pauses at the end of a communication interval:
 * at a breakpoint, on request, after a single step, or after the run's first floating-point
 * fault. Debug states (TarnDebugState): 0 not debugging, 1 executing, 2 pause requested,
 * 3 paused, 4 stop requested. The instance argument selects the execution manager: an
 * independent instance's own, else (a shared or missing instance) the one of the shared
 * instances. Only TarnDebugStart uses it further; the others act on that manager's current or
 * last run. Every function may be called from any host thread, including from the run's own
 * callbacks. Breakpoints are kept per execution manager and matched on line and block name. */

/* Ends any earlier run, resets the instance and starts a debug run on a worker thread (states 6,
 * then 3). A model without the debugging symbols zzlinenum, zzfilename and zzblockname gets
 * "Debug error: model does not contain debugging information." and no run. Nothing for a missing
 * instance. */
TARN_API void TarnDebugStart(uint32_t instance);
/* Paused (3): runs on to the end of the next communication interval and pauses there again (9 is
 * not reported). Nothing in any other state. */
TARN_API void TarnDebugStep(uint32_t instance);
/* Executing (1) or pause requested (2): the run ends at its next tick and reports 7 itself.
 * Paused (3): reports 7 at once and the paused worker only unwinds. Stop requested (4): nothing
 * more. Not debugging (0): a normal run that is executing is stopped as TarnStop stops it and
 * reports 5 itself; when no run is executing, the end of the last run is reported again (7 after
 * a debug run, else 5), so that a host waiting for the end after a stop never waits in vain. */
TARN_API void TarnDebugStop(uint32_t instance);
/* Executing (1): the run pauses at its next tick (2, then 3 with state 8). Nothing otherwise. */
TARN_API void TarnDebugBreak(uint32_t instance);
/* Paused (3): reports 9 and runs on (1) to the next breakpoint or the end. Nothing otherwise. */
TARN_API void TarnDebugContinue(uint32_t instance);
/* Puts one more pause of the run's worker thread in force. Pausing is cooperative: the worker
 * pauses at its next tick (the end of a communication interval), not at once. The debug state is
 * not changed. Nothing when no worker thread exists or it has ended. */
TARN_API void TarnDebugSuspend(uint32_t instance);
/* Lifts one pause in force (from TarnDebugSuspend or a debugger pause; the debug state is not
 * changed); the worker runs on when none is left. A resume with no pause in force does nothing. */
TARN_API void TarnDebugResume(uint32_t instance);
/* Adds the breakpoint (line, block name) unless one with the same line and block name exists;
 * the file name is kept but takes no part in matching. A null name counts as the empty name. In
 * any debug state, with or without a run: a run in progress stops at the breakpoint from its next
 * tick on, and breakpoints stay in force for later runs until removed. */
TARN_API void TarnDebugAddBreakpoint(uint32_t instance, uint32_t line, const char* fileName,
                                     const char* blockName);
/* Removes the first breakpoint with this line and block name, whatever the file name (a null
 * name counts as the empty name); nothing when there is none. In any debug state, with or
 * without a run. */
TARN_API void TarnDebugRemoveBreakpoint(uint32_t instance, uint32_t line, const char* fileName,
                                        const char* blockName);
/* Removes every breakpoint, in any debug state, with or without a run. */
TARN_API void TarnDebugClearAllBreakpoints(uint32_t instance);

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARN_H */
