/* Tarn model-language operator library: C-linkage functions that generated model code calls.
 * Included by tarnsim.h. */
#ifndef TARN_TARNSIM_LIBRARY_H
#define TARN_TARNSIM_LIBRARY_H

#include <stdint.h>

#include "tarn/tarn_export.h"
#include "tarn/tarn_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARNSIM_LIBRARY_H */
