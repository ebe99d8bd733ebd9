// Entry points of the model that the runtime calls through the addresses registered by
// TarnSimMain.
#ifndef TARN_MODEL_ENTRY_POINTS_H
#define TARN_MODEL_ENTRY_POINTS_H

#include <cstdint>

#include "tarn/tarnsim.h"

extern "C" {

// Binds every symbol of the new instance to its storage in zzsim, in index order, stores the
// instance number in zzinstidx and returns it. Called once per created instance.
TARN_API uint32_t zzinitialize(uint32_t instance);

}  // extern "C"

#endif  // TARN_MODEL_ENTRY_POINTS_H
