/* Tarn model-side interface: what generated model code calls to describe itself to the runtime,
 * bind its storage, advance the simulation and schedule events; and the entry points a model
 * supplies. The model-language operators are declared in tarnsim_library.h, included below.
 *
 * Layout rule of the symbol table (S = ODE + algebraic + delay state symbols, E = other
 * variables): index 1 the independent variable; 2..S+1 the states (ODE, then algebraic, then
 * delay); S+2..2S+1 their derivatives; 2S+2..3S+1 their initial conditions; 3S+2..3S+1+E the
 * other variables; then the 47 control symbols in their fixed order. The elements of each state
 * group, of its derivatives and of its initial conditions must be stored consecutively as
 * doubles. */
#ifndef TARN_TARNSIM_H
#define TARN_TARNSIM_H

#include <stdint.h>

#include "tarn/tarn_export.h"
#include "tarn/tarn_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Model entry points, registered through TarnSimSetSystemInfo. */
typedef uint32_t (*TarnSimInitializeFunction)(uint32_t instance); /* binds every symbol */
typedef void (*TarnSimSimulationFunction)(uint32_t instance);     /* performs one run */
typedef void (*TarnSimDerivativeFunction)(uint32_t instance, uint32_t section); /* one section */

/* Derivative section codes the runtime passes to the derivative entry. */
enum {
  TARN_SECTION_DESTROY = 1,      /* once, when the instance is destroyed */
  TARN_SECTION_COMM_POINT = 2,   /* at each communication point, before the step */
  TARN_SECTION_DERIVATIVE = 500, /* the continuous derivative section (500..999) */
  TARN_SECTION_DISCRETE = 1000   /* first discrete section code */
};

/* The model's registration entry, supplied by the model and called by TarnInitialize: one
 * TarnSimSetSystemInfo, then for each index 1..N TarnSimSetVariableDescriptor followed by
 * TarnSimSetVariableExtendedInfo. */
TARN_API void TarnSimMain(void);

/* Clears the system information record and stores the counts and entry points; starts a new,
 * empty descriptor table of symbolCount + 1 entries. Any thread, outside runs. */
TARN_API void TarnSimSetSystemInfo(uint32_t symbolCount, uint32_t odeStateCount,
                                   uint32_t algebraicStateCount, uint32_t delayStateCount,
                                   uint32_t otherVariableCount, uint32_t derivativeSectionCount,
                                   uint32_t discreteSectionCount,
                                   TarnSimInitializeFunction initialize,
                                   TarnSimSimulationFunction simulation,
                                   TarnSimDerivativeFunction derivative, uint32_t userDataSize);

/* Properties a model declares with TarnSimSetSystemProperties, or-ed together. */
enum {
  /* The derivative sections compute what they assign from the states, the independent variable
   * and variables that change only at run initialisation, in event sections or through the
   * host's TarnSet* functions: they keep nothing from one evaluation to the next (no delays,
   * random numbers or noise operators), have no effect beyond the variables they assign (they
   * never stop the run), and the model's dynamic loop and communication-point section change
   * nothing the derivatives depend on. The runtime may then leave out the evaluations and the
   * library calls whose results nothing observes; every value at every communication point stays
   * the same to the bit. A host that writes to such a model while it runs writes through the
   * TarnSet* functions, not through an address it read. */
  TARN_SYSTEM_MEMORYLESS_DERIVATIVES = 1
};

/* Declares the model's properties (TARN_SYSTEM_* flags or-ed together; other bits are ignored),
 * replacing those declared before; TarnSimSetSystemInfo clears them, so a model that declares
 * nothing has none. Read at every run initialisation. Called by TarnSimMain after
 * TarnSimSetSystemInfo; any thread, outside runs. */
TARN_API void TarnSimSetSystemProperties(uint32_t properties);

/* Describes symbol `index`: a copy of its name, its codes, its six extents (0 ends the list) and
 * its tolerances (0 or less stores 0.0001). Ignored when index is 0 or above the symbol count. */
TARN_API void TarnSimSetVariableDescriptor(uint32_t index, const char* name, uint32_t dataType,
                                           uint32_t symbolType, uint32_t extent1, uint32_t extent2,
                                           uint32_t extent3, uint32_t extent4, uint32_t extent5,
                                           uint32_t extent6, double relativeError,
                                           double absoluteError);

/* Stores the eleven attribute flags (low byte of each), the section key of a delay state and the
 * string length of a string array; derives the derivative index (index + S) and initial condition
 * index (index + 2S). Ignored when index is 0 or above the symbol count. */
TARN_API void TarnSimSetVariableExtendedInfo(uint32_t index, uint32_t flag1, uint32_t flag2,
                                             uint32_t flag3, uint32_t flag4, uint32_t flag5,
                                             uint32_t flag6, uint32_t flag7, uint32_t flag8,
                                             uint32_t flag9, uint32_t flag10, uint32_t flag11,
                                             uint32_t sectionKey, uint32_t stringLength);

/* Records what symbol `index` means, for hosts to show: a one-line description, its unit ("1"
 * for a pure number), the part of the model it belongs to (its group), the bounds of a value a
 * host may set (TarnBoundFlags bits with the minimum and maximum they refer to; 0 for none), the
 * index of the parameter a state's initial value is copied from (0: none, or the state starts at
 * zero), and whether hosts list it among the outputs worth plotting. The texts are copied; null
 * stores an empty text. Optional: a model that records nothing gives hosts empty texts and no
 * bounds. Call from TarnSimMain after the symbol's descriptor; ignored when index is 0 or above
 * the symbol count. Any thread, outside runs. */
TARN_API void TarnSimSetVariableMeaning(uint32_t index, const char* description, const char* unit,
                                        const char* group, uint32_t boundFlags, double minimum,
                                        double maximum, uint32_t initialValueIndex,
                                        bool listedOutput);

/* Records the range of the independent variable over which the model is valid (beyond it the
 * model extrapolates); hosts warn when a run leaves it. Optional; ignored unless start <= end.
 * Call from TarnSimMain after TarnSimSetSystemInfo, which forgets an earlier range. */
TARN_API void TarnSimSetValidityRange(double start, double end);

/* Data blocks of independent instances (optional; see TarnCreateIndependent in tarn.h). A model
 * that keeps every symbol in one block of fixed layout, and whose sections read and write only
 * the block they are given, registers from TarnSimMain (after TarnSimSetSystemInfo, which forgets
 * an earlier registration) how to make and release a block of its own for one instance: `create`
 * returns a new block holding every symbol's default value, or null when it cannot; `destroy`
 * releases a block `create` made. A model without them supports shared instances only. */
typedef void* (*TarnSimCreateBlockFunction)(void);
typedef void (*TarnSimDestroyBlockFunction)(void* block);
TARN_API void TarnSimSetBlockFunctions(TarnSimCreateBlockFunction create,
                                       TarnSimDestroyBlockFunction destroy);

/* The data block of an independent instance, made by the registered create function before the
 * model's initialisation entry runs; null for an instance bound to the model's own block and for
 * a missing instance. The model's entry points find the storage of `instance` through it (its
 * initialisation entry binds the symbols into it). Any thread; the block lives until the
 * instance is destroyed. */
TARN_API void* TarnSimGetInstanceBlock(uint32_t instance);

/* Binds symbol `index` of `instance` to its storage. Ignored for a missing instance or a bad
 * index. Called by the model's initialisation entry. */
TARN_API void TarnSimSetVariablePointer(uint32_t instance, uint32_t index, void* address);

/* The instance's zero-filled user data block; null when none was registered or the instance
 * does not exist. */
TARN_API void* TarnSimGetUserDataBlock(uint32_t instance);

/* Advances the instance by one communication interval. Called once per pass of the model's
 * dynamic loop, on the thread that runs the simulation. */
TARN_API void TarnSimIntegrate(uint32_t instance);

/* Schedules an event with the instance's solver: at a time (type 0, value is the time) or a
 * zero crossing of a model function (types 1-3, value is its present value). `section` is the
 * derivative section run when the event is serviced; `flag` (may be null) is raised while it is
 * serviced. Nothing is scheduled for a missing instance or solver or an unknown type. Returns
 * false in every case: the solver's registration reports no outcome. */
TARN_API bool TarnSimScheduleEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                                   TarnScheduleType type, double value, TarnLogical* flag);

/* Schedules an event that recurs every *interval (read at each servicing), starting at the
 * present value of the independent variable. Ignored without instance or solver. */
TARN_API void TarnSimSetIntervalEvent(uint32_t instance, uint32_t eventNumber, uint32_t section,
                                      const double* interval);

/* Tells the instance's discrete event callbacks registered for `section` that it has run. */
TARN_API void TarnSimDiscreteEventOccurred(uint32_t instance, uint32_t section);

#ifdef __cplusplus
}
#endif

#include "tarn/tarnsim_library.h"

#endif /* TARN_TARNSIM_H */
