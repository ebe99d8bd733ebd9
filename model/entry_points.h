// Entry points of the model that the runtime calls through the addresses registered by
// TarnSimMain.
#ifndef TARN_MODEL_ENTRY_POINTS_H
#define TARN_MODEL_ENTRY_POINTS_H

#include <cstdint>

#include "tarn/tarnsim.h"

extern "C" {

// Binds every symbol of the new instance to its storage in its block (its own, or zzsim for a
// shared instance), in index order, stores the instance number in zzinstidx and returns it.
// Called once per created instance.
TARN_API uint32_t zzinitialize(uint32_t instance);

// Performs one run of `instance`: unless the run continues an earlier one (zzicon set), run
// initialisation, the initial section and the reset; then one communication interval per pass
// of the run loop until zzstopflag or zzstepstop is set.
TARN_API void zzsimulation(uint32_t instance);

// Evaluates one section: 500 the derivative section, 1000 and 1001 the dosing switches. Any
// other section does nothing.
TARN_API void zzderivative(uint32_t instance, uint32_t section);

}  // extern "C"

#endif  // TARN_MODEL_ENTRY_POINTS_H
